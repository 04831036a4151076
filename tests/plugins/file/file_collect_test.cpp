// collect: the operation row, the COLLECTION_TABLE row that refers to it
// and the FILE_COLLECTION_TABLE flags of pattern and recursive requests.

#include <gtest/gtest.h>

#include "file_fixture.h"

namespace zorel::test {
namespace {

struct CollectionRow {
  int32_t id = -1, operation = -1, type = -1, size = -1;
  std::wstring source, destination;
  bool isDb = true, important = false;
};

class FileCollectTest : public FilePluginTest {
 protected:
  std::vector<CollectionRow> Collections() {
    DataTable t;
    EXPECT_TRUE(store_.ExecuteQuery(L"select * from COLLECTION_TABLE order by ID", t));
    std::vector<CollectionRow> rows;
    for (size_t i = 0; i < t.RowCount(); ++i) {
      CollectionRow c;
      const DataRow& r = t.Row(i);
      r.GetInt(L"ID", c.id);
      r.GetInt(L"OPERATION_ID", c.operation);
      r.GetInt(L"COLLECTION_TYPE", c.type);
      r.GetInt(L"SIZE", c.size);
      r.GetString(L"SOURCE", c.source);
      r.GetString(L"DESTINATION", c.destination);
      int32_t isDb = -1, important = -1;
      r.GetInt(L"ISDB", isDb);
      r.GetInt(L"ISIMPORTANT", important);
      bool b = true;
      r.GetBool(L"ISDB", b);
      c.isDb = isDb == -1 ? b : isDb != 0;
      b = false;
      r.GetBool(L"ISIMPORTANT", b);
      c.important = important == -1 ? b : important != 0;
      rows.push_back(c);
    }
    return rows;
  }
  // (ID, isRecursive, merFilter) rows, or none when the table does not exist.
  std::vector<std::tuple<int32_t, int32_t, int32_t>> Flags() {
    DataTable t;
    std::vector<std::tuple<int32_t, int32_t, int32_t>> rows;
    if (!store_.ExecuteQuery(
            L"select ID, isRecursive+0 as R, merFilter+0 as M from FILE_COLLECTION_TABLE", t))
      return rows;
    for (size_t i = 0; i < t.RowCount(); ++i) {
      int32_t id = -1, r = -1, m = -1;
      t.Row(i).GetInt(L"ID", id);
      t.Row(i).GetInt(L"R", r);
      t.Row(i).GetInt(L"M", m);
      rows.emplace_back(id, r, m);
    }
    return rows;
  }
};

TEST_F(FileCollectTest, FolderFormRecordsTypeTwoAndItsDestination) {
  Write(L"C:\\ProgramData\\Vendor\\x.log", "x");
  Use(L"C:\\ProgramData\\Vendor");
  Json::Value r = Call("collect", {L"logs", L"false"});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  OperationRow op = LastRow();
  EXPECT_EQ(op.api, L"File::collect");
  EXPECT_EQ(op.type, 2);
  EXPECT_EQ(op.input, L"{\"foldername\":\"C:\\ProgramData\\Vendor\",\"RelativePath\":"
                      L"\"collection\\folder\\logs\\Vendor\",\"isRecursive\":\"false\",\"merFilter\":\"false\"}");
  auto rows = Collections();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].operation, op.id);
  EXPECT_EQ(rows[0].type, 2);
  EXPECT_EQ(rows[0].source, L"C:\\ProgramData\\Vendor");
  EXPECT_EQ(rows[0].destination, L"collection\\folder\\logs\\Vendor");
  EXPECT_EQ(rows[0].size, 0);
  EXPECT_FALSE(rows[0].isDb);
  EXPECT_TRUE(rows[0].important);
  EXPECT_TRUE(Flags().empty());
  // The method's code is in the answer only.
  file_->errorcode = 77;
  Use(L"C:\\No\\Such");
  EXPECT_EQ(Call("collect", {L"", L"false"})["errorcode"].asInt(), 3);
  EXPECT_EQ(file_->errorcode, 77);
  EXPECT_TRUE(Logged("Path not exist for file collection: C:\\No\\Such"));
  EXPECT_EQ(Collections().size(), 1u);
}

TEST_F(FileCollectTest, FolderFormWithoutNameAndEmptyFolder) {
  Write(L"C:\\Data\\Vendor\\a.txt", "a");
  Use(L"C:\\Data\\Vendor\\");
  EXPECT_EQ(Call("collect", {L"", L"true"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Collections().back().destination, L"collection\\folder\\Vendor");
  ASSERT_EQ(Flags().size(), 1u);  // recursive
  EXPECT_EQ(std::get<1>(Flags()[0]), 1);
  MakeFolder(L"C:\\Data\\Empty");
  Use(L"C:\\Data\\Empty");
  EXPECT_EQ(Call("collect", {L"", L"false"})["errorcode"].asInt(), 20003);
  EXPECT_EQ(LastRow().errorString, L"The folder is empty");
}

TEST_F(FileCollectTest, PatternFormAddsFlagsWithoutTestingThePath) {
  Use(L"C:\\Nowhere", L"*.txt");
  Json::Value r = Call("collect", {L"texts", L"false", L"true"});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  auto rows = Collections();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].type, 1);
  EXPECT_EQ(rows[0].source, L"C:\\Nowhere\\*.txt");
  EXPECT_EQ(rows[0].destination, L"collection\\file\\texts");
  auto flags = Flags();
  ASSERT_EQ(flags.size(), 1u);
  EXPECT_EQ(std::get<0>(flags[0]), rows[0].id);
  EXPECT_EQ(std::get<1>(flags[0]), 0);
  EXPECT_EQ(std::get<2>(flags[0]), 1);
  EXPECT_EQ(LastRow().input, L"{\"filename\":\"C:\\Nowhere\\*.txt\",\"RelativePath\":"
                             L"\"collection\\file\\texts\",\"isRecursive\":\"false\",\"merFilter\":\"true\"}");
  // The table is registered once however often it is written.
  Use(L"C:\\Nowhere", L"*.log");
  EXPECT_EQ(Call("collect", {L"", L"true"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Flags().size(), 2u);
  DataTable names;
  store_.ExecuteQuery(L"select * from COLLECTION_TABLE_NAMES where TABLE_NAME = 'FILE_COLLECTION_TABLE'", names);
  EXPECT_EQ(names.RowCount(), 1u);
  EXPECT_EQ(Collections().back().destination, L"collection\\file");
}

TEST_F(FileCollectTest, FileFormOfAnExistingFile) {
  Use(L"C:\\Windows\\System32\\drivers\\etc", L"hosts");
  EXPECT_EQ(Call("collect", {L"", L"false"})["errorcode"].asInt(), 0);
  auto rows = Collections();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].source, L"C:\\Windows\\System32\\drivers\\etc\\hosts");
  EXPECT_EQ(rows[0].destination, L"collection\\file");
  EXPECT_TRUE(Flags().empty());
  // Only with exactly three arguments is the third the filter flag.
  EXPECT_EQ(Call("collect", {L"", L"false", L"true", L"x"})["errorcode"].asInt(), 0);
  EXPECT_NE(LastRow().input.find(L"\"merFilter\":\"false\""), std::wstring::npos);
}

TEST_F(FileCollectTest, BadInputRecordsAFailureAndNoCollection) {
  Use(L"", L"");
  EXPECT_EQ(Call("collect", {L"x", L"false"})["errorcode"].asInt(), 87);
  Use(L"C:\\Windows");
  EXPECT_EQ(Call("collect", {L"x"})["errorcode"].asInt(), 87);
  EXPECT_TRUE(Logged("Invalid parameter passed to file collection"));
  // A destination that climbs out of the collection folder.
  EXPECT_EQ(Call("collect", {L"..\\..\\evil", L"false"})["errorcode"].asInt(), 87);
  EXPECT_TRUE(Collections().empty());
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].status, 0);
  EXPECT_EQ(rows[2].code, 87);
}

}  // namespace
}  // namespace zorel::test
