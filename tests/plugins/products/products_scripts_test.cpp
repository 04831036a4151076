// The Products object through `zorel check --script` on seeded machines:
// answers, OPERATION_TABLE rows, log lines, the collection tables and
// FinalList.json.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../../detect/reg_text.h"
#include "products_script_fixture.h"

namespace {

using namespace zorel::testing::reg;
using zorel::testing::Column;
using zorel::testing::ProductsScripts;
using zorel::testing::Rows;
using zorel::testing::SeededMachine;
using Strings = std::vector<std::string>;

const std::string kHarborMembers = Program(kUninstall64, "L", "Olvane Lantern Antivirus") +
                                   Program(kUninstall32, "K", "Olvane Keel Firewall") +
                                   Program(kUninstall64, "T", "Olvane Tidewatch Agent");

TEST_F(ProductsScripts, NoSourcesAtAll) {
  Run(R"js(function cases() {
    var p = new Products();
    ask("olvane", p, "getOlvaneProducts");
    ask("others", p, "getNonOlvaneProducts");
    ask("any", p, "isAnyOlvaneProductInstalled");
    ask("collect", p, "collect");
    ask("core", p, "IsCoreComponentInstallSuccess");
    ask("version", p, "isOlvaneProductVersionGreaterOrEquals");
  })js");
  EXPECT_EQ(Code("olvane"), 0);
  EXPECT_FALSE(Answer("olvane")["status"].asBool());
  EXPECT_EQ(Names("olvane"), Strings{});
  EXPECT_TRUE(Answer("others")["status"].asBool());
  EXPECT_EQ(Code("others"), 0);
  EXPECT_EQ(Code("any"), 4312);
  EXPECT_EQ(Code("collect"), 0);
  EXPECT_EQ(Code("core"), 0);
  EXPECT_EQ(Code("version"), 0);
  EXPECT_EQ(Operations(), (Strings{"Products::getOlvaneProducts||0",
                                   "Products::getNonOlvaneProducts||0",
                                   "Products::isAnyOlvaneProductInstalled||4312",
                                   "Products::collect||0",
                                   "Products::IsCoreComponentInstallSuccess|{}|0",
                                   // collect and the log check left the property alone
                                   "Products::isOlvaneProductVersionGreaterOrEquals||4312"}));
  EXPECT_EQ(Column(Query("select OPERATION_TYPE from OPERATION_TABLE where COMPONENT_NAME = "
                         "'Products' order by ID")),
            (Strings{"0", "0", "0", "2", "0", "0"}));
  const std::string log = Log();
  for (const char* line : {"No consumer suites were detected", "No products detected",
                           "Got a total of 0 programs from Add/Remove list",
                           "No Olvane products are installed in the machine",
                           "IsCoreComponentInstallSuccess: No install error found in log"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  EXPECT_EQ(log.find("Saved file - "), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(machine_.Host(SeededMachine::kFinalList)));
  EXPECT_EQ(Query("select count(*) from PRODUCT_COLLECTION_TABLE"), (Rows{{"0"}}));
  EXPECT_EQ(Query("select C.COLLECTION_TYPE, C.SOURCE, C.DESTINATION, C.SIZE, C.ISDB, "
                  "C.ISIMPORTANT, O.API_NAME from COLLECTION_TABLE C join OPERATION_TABLE O "
                  "on O.ID = C.OPERATION_ID"),
            (Rows{{"8", "Products", "PRODUCT_COLLECTION_TABLE", "0", "1", "1",
                   "Products::collect"}}));
}

TEST_F(ProductsScripts, UninstallListByNameWithBadValues) {
  const std::string big(1 << 20, 'X');
  machine_.Seed(Program(kUninstall64, "A", "Acme Editor") + Program(kUninstall64, "B", "acme editor") +
                Program(kUninstall64, "C", "Pryne Security Agent") +
                Program(kUninstall64, "D", "Zeta Tool") + Program(kUninstall64, "E", "") +
                Key(kUninstall64 + "\\F", "\"DisplayName\"=dword:00000001\r\n") +
                Key(kUninstall64 + "\\G", "\"DisplayName\"=hex:41,00,00,00\r\n") +
                Key(kUninstall64 + "\\H", "\"DisplayName\"=hex(1):41,00,42,00\r\n") +
                Key(kUninstall64 + "\\I", "\"DisplayName\"=hex(1):43,00,00,00,44,00,00,00\r\n") +
                Key(kUninstall64 + "\\J", "\"NoName\"=\"x\"\r\n") +
                Program(kUninstall64, "L", big) + Program(kUninstall64, "M", std::string(300, 'Y')) +
                Program(kUninstall32, "A", "Acme Editor") + Program(kUninstall32, "F", "Beta App"));
  Run(R"js(function cases() {
    var p = new Products();
    ask("others", p, "getNonOlvaneProducts");
    ask("acme", p, "isNonOlvaneProductInstalled", "ACME EDITOR");
    ask("brand", p, "isNonOlvaneProductInstalled", "Pryne Security Agent");
    ask("empty", p, "isNonOlvaneProductInstalled", "");
    ask("none", p, "isNonOlvaneProductInstalled");
    ask("big", new Products(), "isNonOlvaneProductInstalled", new Array((1 << 20) + 1).join("X"));
    ask("collect", p, "collect");
  })js");
  EXPECT_EQ(Names("others"), (Strings{"AB", "Acme Editor", "Beta App", "C", "<1048576 x X>",
                                      "<300 x Y>", "Zeta Tool", "acme editor"}));
  EXPECT_TRUE(Answer("others")["status"].asBool());
  EXPECT_EQ(Code("acme"), 0);
  EXPECT_EQ(Code("brand"), 4312);
  EXPECT_EQ(Code("empty"), 4312);
  EXPECT_EQ(Code("none"), 4312);
  EXPECT_EQ(Code("big"), 0);
  EXPECT_EQ(Code("collect"), 0);
  const std::string log = Log();
  EXPECT_NE(log.find("Got a total of 9 programs from Add/Remove list"), std::string::npos);
  EXPECT_EQ(Count(log, "Got a total of"), 1u);  // the second object shares the list
  const Strings ops = Operations();
  ASSERT_EQ(ops.size(), 7u);
  EXPECT_EQ(ops[3], "Products::isNonOlvaneProductInstalled|{\"productname\":\"\"}|4312");
  EXPECT_EQ(ops[4], ops[3]);
  // Every name collected whole, the brand's too.
  EXPECT_EQ(Query("select TYPE, length(NAME), substr(NAME, 1, 12) from PRODUCT_COLLECTION_TABLE "
                  "order by NAME"),
            (Rows{{"1", "2", "AB"}, {"1", "11", "Acme Editor"}, {"1", "8", "Beta App"},
                  {"1", "1", "C"}, {"1", "20", "Pryne Securi"}, {"1", "1048576", "XXXXXXXXXXXX"},
                  {"1", "300", "YYYYYYYYYYYY"}, {"1", "9", "Zeta Tool"},
                  {"1", "11", "acme editor"}}));
}

TEST_F(ProductsScripts, ListsOnDemandAreFilledOnceAndShared) {
  machine_.Seed(kHarborMembers);
  Run(R"js(function cases() {
    var p = new Products();
    ask("any1", p, "isAnyOlvaneProductInstalled");
    ask("any2", p, "isAnyOlvaneProductInstalled");
    ask("empty", p, "isOlvaneProductInstalled", "");
    var q = new Products();
    ask("suite", q, "isOlvaneProductInstalled", "Olvane HARBOR Suite");
    ask("member", q, "isOlvaneProductInstalled", "olvane lantern antivirus");
    ask("other", q, "isNonOlvaneProductInstalled", "Olvane Keel Firewall");
    ask("version", q, "isOlvaneProductVersionGreaterOrEquals");
  })js");
  EXPECT_EQ(Code("any1"), 0);
  EXPECT_EQ(Code("any2"), 0);
  EXPECT_EQ(Code("empty"), 4312);
  EXPECT_EQ(Code("suite"), 0);
  EXPECT_EQ(Code("member"), 4312);  // reported as its suite
  EXPECT_EQ(Code("other"), 4312);   // brand names are not among the others
  EXPECT_EQ(Code("version"), 0);
  EXPECT_EQ(Operations(),
            (Strings{"Products::isAnyOlvaneProductInstalled||0",
                     "Products::isAnyOlvaneProductInstalled||0",
                     "Products::isOlvaneProductInstalled|{\"productname\":\"\"}|4312",
                     "Products::isOlvaneProductInstalled|{\"productname\":\"Olvane HARBOR Suite\"}|0",
                     "Products::isOlvaneProductInstalled|{\"productname\":\"olvane lantern "
                     "antivirus\"}|4312",
                     "Products::isNonOlvaneProductInstalled|{\"productname\":\"Olvane Keel "
                     "Firewall\"}|4312",
                     "Products::isOlvaneProductVersionGreaterOrEquals||4312"}));
  const std::string log = Log();
  EXPECT_EQ(Count(log, "Started detection of Olvane products."), 1u);
  EXPECT_EQ(Count(log, "Got a total of 3 programs"), 1u);
  EXPECT_EQ(Count(log, "One or more Olvane products are installed in the machine"), 2u);
  EXPECT_EQ(Count(log, "The given Olvane product is found"), 1u);
  EXPECT_NE(machine_.Get(SeededMachine::kFinalList).find("\"productname\" : \"Olvane Harbor Suite\""),
            std::string::npos);
}

TEST_F(ProductsScripts, CollectWholeTwiceAndWithKeysMissing) {
  const char* kCollectTwice = R"js(function cases() {
    var p = new Products();
    ask("first", p, "collect");
    ask("second", p, "collect");
  })js";
  machine_.Seed(kHarborMembers + Program(kUninstall32, "A", "Acme Editor"));
  Run(kCollectTwice);
  EXPECT_EQ(Code("first"), 0);
  EXPECT_EQ(Code("second"), 0);
  EXPECT_EQ(Query("select TYPE, NAME from PRODUCT_COLLECTION_TABLE order by NAME"),
            (Rows{{"1", "Acme Editor"}, {"1", "Olvane Keel Firewall"},
                  {"1", "Olvane Lantern Antivirus"}, {"1", "Olvane Tidewatch Agent"},
                  {"0", "olvane harbor suite"}}));
  EXPECT_EQ(Query("select count(*) from COLLECTION_TABLE C join OPERATION_TABLE O on O.ID = "
                  "C.OPERATION_ID where C.COLLECTION_TYPE = 8 and O.API_NAME = 'Products::collect'"),
            (Rows{{"2"}}));

  struct Missing {
    const char* what;
    std::string seed;
    Rows rows;  // PRODUCT_COLLECTION_TABLE afterwards
  };
  const Missing cases[] = {
      {"64-bit key missing", "[-" + kUninstall64 + "]\r\n", {{"0", "olvane harbor suite"}}},
      {"32-bit key missing",
       "[-" + kUninstall32 + "]\r\n" + Program(kUninstall64, "T", "Olvane Tidewatch Agent"),
       {{"0", "olvane harbor suite"}}},
      {"both keys missing", "[-" + kUninstall64 + "]\r\n[-" + kUninstall32 + "]\r\n", {}},
  };
  for (const Missing& c : cases) {
    SCOPED_TRACE(c.what);
    machine_.Seed(c.seed);
    Run(kCollectTwice);
    EXPECT_EQ(Code("first"), 20016);
    EXPECT_EQ(Code("second"), 20016);
    EXPECT_EQ(Query("select TYPE, NAME from PRODUCT_COLLECTION_TABLE order by NAME"), c.rows);
    // What detection found is still stored and named.
    EXPECT_EQ(Query("select count(*) from COLLECTION_TABLE where COLLECTION_TYPE = 8"), (Rows{{"2"}}));
    EXPECT_NE(Log().find("Failed to collect non Olvane products, Error: 20016"), std::string::npos);
  }
}

TEST_F(ProductsScripts, NoUninstallKeyIsNoAnswer) {
  machine_.Seed("[-" + kUninstall64 + "]\r\n[-" + kUninstall32 + "]\r\n");
  Run(R"js(function cases() {
    var p = new Products();
    ask("listed", p, "isNonOlvaneProductInstalled", "Acme Editor");
    ask("empty", p, "isNonOlvaneProductInstalled", "");
    ask("others", p, "getNonOlvaneProducts");
    ask("any", p, "isAnyOlvaneProductInstalled");
  })js");
  EXPECT_EQ(Code("listed"), 20016);  // nothing could be read: not a "no"
  EXPECT_EQ(Code("empty"), 4312);
  EXPECT_EQ(Code("others"), 20016);
  EXPECT_TRUE(Answer("others")["status"].asBool());
  EXPECT_EQ(Code("any"), 4312);  // detection itself did not fail
  EXPECT_NE(Log().find("Failed to open the uninstall key for reading."), std::string::npos);
}

TEST_F(ProductsScripts, ExampleCallsEveryMethod) {
  const auto run = Check("--script '" ZOREL_SOURCE_DIR "/examples/checks/products.js' --store '" +
                         store_ + "'");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  Strings expected;
  for (const char* method :
       {"IsCoreComponentInstallSuccess", "collect", "getNonOlvaneProducts", "getOlvaneProducts",
        "isAnyOlvaneProductInstalled", "isNonOlvaneProductInstalled", "isOlvaneProductInstalled",
        "isOlvaneProductVersionGreaterOrEquals"})
    expected.push_back(std::string("Products::") + method);
  EXPECT_EQ(Column(Query("select distinct API_NAME from OPERATION_TABLE where COMPONENT_NAME = "
                         "'Products' order by 1")),
            expected);
}

}  // namespace
