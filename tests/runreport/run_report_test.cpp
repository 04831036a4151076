// The run report's model and renderers: what a store holds reaches the
// JSON and the page as data whatever it is, every kind of source reads the
// same run (or says why not), and the codes read in words.

#include <json/reader.h>

#include <fstream>

#include "run_store_fixture.h"
#include "zorel/runreport/requirement_words.h"
#include "zorel/runreport/run_render.h"
#include "zorel/runreport/run_source.h"

namespace zorel::test {
namespace {

namespace fs = std::filesystem;
using namespace zorel::runreport;

Json::Value parse(const std::string& text) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << errors;
  return value;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(RunReport, StoreTextsReachTheJsonAndThePageAsDataWhateverTheyHold) {
  struct Case {
    const char* what;
    std::string stored;
    std::string read;  // what the JSON gives back
  };
  const std::string big(1u << 20, 'x');
  const Case cases[] = {
      // markup that would run if it were parsed as HTML
      {"script tag", "<script>document.body.dataset.pwned=1</script>",
       "<script>document.body.dataset.pwned=1</script>"},
      {"attribute break-out", "\"><img src=x onerror=\"document.body.dataset.pwned=1\">",
       "\"><img src=x onerror=\"document.body.dataset.pwned=1\">"},
      // ends the JSON block if '<' were left as it is
      {"block end", "</SCRIPT><!-- x", "</SCRIPT><!-- x"},
      {"NUL and controls", std::string("a\0b\x01\x7f", 5), std::string("a\0b\x01\x7f", 5)},
      // one U+FFFD per malformed byte; the rest is kept
      {"malformed UTF-8", "a\xff\xc0\x80z\xed\xa0\x80", "a\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbdz\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
      {"line separators", "a\xe2\x80\xa8" "b\xe2\x80\xa9", "a\xe2\x80\xa8" "b\xe2\x80\xa9"},
      {"quotes and backslashes", "'\"\\\\n", "'\"\\\\n"},
      {"1 MiB", big, big},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    {
      StoreFile store(folder.path() + "/ResultStore.db");
      store.Execution(c.stored, "2026-12-10.10:00:00", "2026-12-10.10:00:05", 5);
      store.Problem(7, c.stored, c.stored, c.stored);
      store.Status(7, 100, 3);
      store.Operation(7, 100, c.stored, c.stored, c.stored, false, 5, c.stored);
      store.Run("INSERT INTO ENVIRONMENT_COLLECTION_TABLE VALUES('Operating System Name',?)", {c.stored});
    }
    RunModel model;
    std::string error;
    ASSERT_TRUE(LoadRun(folder.path(), model, error)) << error;
    const std::string json = RenderJson(model);
    EXPECT_EQ(json.find('<'), std::string::npos);
    EXPECT_EQ(json.find('\0'), std::string::npos);
    const Json::Value v = parse(json);
    EXPECT_EQ(v["run"]["script"].asString(), c.read);
    EXPECT_EQ(v["problems"][0]["name"].asString(), c.read);
    EXPECT_EQ(v["problems"][0]["url"].asString(), c.read);
    EXPECT_EQ(v["operations"]["rows"][0][6].asString(), c.read);
    EXPECT_EQ(v["operations"]["rows"][0][9].asString(), c.read);
    EXPECT_EQ(v["environment"][0][1].asString(), c.read);

    const std::string page = RenderHtml(model, "n0nce");
    // Only the page's two own blocks end; the model's JSON is the page's text verbatim.
    EXPECT_EQ(count(page, "</script>"), 2u);
    EXPECT_EQ(count(page, "nonce=\"n0nce\""), 1u);
    EXPECT_NE(page.find(json), std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
  }
}

TEST(RunReport, EverySourceKindReadsTheSameRunOrSaysWhy) {
  TempFolder base;
  // Cabinets are unpacked below the temporary folder; this test's own.
  const std::string temp = base.path() + "/temp";
  fs::create_directories(temp);
  ::setenv("TMPDIR", temp.c_str(), 1);
  const std::string run = base.path() + "/run";
  fs::create_directories(run);
  {
    StoreFile store(run + "/ResultStore.db");
    store.Execution("basic.js", "2026-12-10.10:00:00", "2026-12-10.10:00:05", 5);
    store.Problem(1, "one");
    store.Problem(2, "two");
    store.Operation(1, 100, "OS", "OS::getOSName", "{}", true);
  }
  PackDbCab(run, run + "/db.cab");
  // collection.cab beside the store: a cabinet holding one known file.
  {
    std::ofstream(base.path() + "/collected.txt") << "twelve bytes";
    CabinetUtility utility;
    utility.SetTarget(fromUtf8(run + "/collection.cab"));
    ASSERT_TRUE(utility.AddFile(fromUtf8(base.path() + "/collected.txt"), L"files\\collected.txt"));
    ASSERT_TRUE(utility.Compress());
  }
  const std::string cabOnly = base.path() + "/cabonly";
  fs::create_directories(cabOnly);
  fs::copy_file(run + "/db.cab", cabOnly + "/db.cab");
  fs::copy_file(run + "/db.cab", base.path() + "/upload.bin");
  std::ofstream(base.path() + "/notes.txt") << "not a store";
  fs::create_directories(base.path() + "/empty");
  {
    CabinetUtility utility;  // a cabinet without ResultStore.db
    utility.SetTarget(fromUtf8(base.path() + "/other.cab"));
    ASSERT_TRUE(utility.AddFile(fromUtf8(base.path() + "/notes.txt"), L"notes.txt"));
    ASSERT_TRUE(utility.Compress());
  }

  struct Case {
    const char* what;
    std::string source;
    std::string error;        // empty: reads the run
    bool listsCollection = false;
  };
  const Case cases[] = {
      {"the database", run + "/ResultStore.db", "", true},
      {"the store folder", run, "", true},
      {"db.cab", run + "/db.cab", "", true},
      {"a folder with only db.cab", cabOnly, ""},
      // found as a cabinet by its contents, whatever its name
      {"db.cab under another name", base.path() + "/upload.bin", ""},
      {"nothing there", base.path() + "/missing", "no such file or folder"},
      {"a text file", base.path() + "/notes.txt", "neither a result store"},
      {"a folder without a store", base.path() + "/empty", "holds neither ResultStore.db nor db.cab"},
      {"a cabinet of something else", base.path() + "/other.cab", "holds no ResultStore.db"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunModel model;
    std::string error;
    const bool read = LoadRun(c.source, model, error);
    if (!c.error.empty()) {
      EXPECT_FALSE(read);
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(model.integrity, "ok");
    EXPECT_EQ(model.header.script, "basic.js");
    EXPECT_EQ(model.problems.size(), 2u);
    EXPECT_EQ(model.operations.size(), 1u);
    EXPECT_EQ(model.hasCollectionCab, c.listsCollection);
    if (c.listsCollection) {
      ASSERT_EQ(model.collectionCab.size(), 1u);
      EXPECT_EQ(model.collectionCab[0].name, "files\\collected.txt");
      EXPECT_EQ(model.collectionCab[0].size, 12u);
    }
  }
  // The unpacking folders are gone once each read is over.
  for (const auto& entry : fs::directory_iterator(temp)) {
    EXPECT_NE(entry.path().filename().string().rfind("zorel-report-", 0), 0u) << entry.path();
  }
  ::unsetenv("TMPDIR");
}

TEST(RunReport, RunsAndStatusesReadInWords) {
  struct Case {
    const char* what;
    std::string end;
    int64_t runStatus;
    int64_t stageStatus;
    std::string runState;
    std::string stageState;
  };
  const Case cases[] = {
      {"finished, passed", "2026-12-10.10:00:05", 5, 1, "finished", "passed"},
      // cancelled midway: no end time, the stage function never returned
      {"cancelled midway", "", 0, 2, "did not finish (cancelled or stopped midway)",
       "started but not finished"},
      {"failed with the script's code", "2026-12-10.10:00:05", 5, 7, "finished", "failed with code 7"},
      {"never run", "2026-12-10.10:00:05", 5, 0, "finished", "not run"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    {
      StoreFile store(folder.path() + "/ResultStore.db");
      store.Execution("s.js", "2026-12-10.10:00:00", c.end, c.runStatus);
      store.Problem(1, "disk");
      store.Status(1, 100, c.stageStatus);
      store.Operation(1, 100, "System", "System::checkForDiskSpace",
                      "{\"actual\":\"300 MB\",\"expected\":\"$GEN1004$ 500 MB\"}", false, 20034);
    }
    RunModel model;
    std::string error;
    ASSERT_TRUE(LoadRun(folder.path() + "/ResultStore.db", model, error)) << error;
    const Json::Value v = parse(RenderJson(model));
    EXPECT_EQ(v["run"]["state"].asString(), c.runState);
    EXPECT_EQ(v["problems"][0]["stages"][0]["state"].asString(), c.stageState);
    EXPECT_EQ(v["problems"][0]["stages"][0]["details"].asString(),
              "expected free disk space of 500 MB, found 300 MB");
    EXPECT_EQ(v["summary"]["notpassed"].asInt(), c.stageStatus >= 2 ? 1 : 0);
  }
  // A file with part of the tables: what is there is read, the rest named.
  TempFolder partial;
  {
    StoreFile store(partial.path() + "/ResultStore.db",
                    "CREATE TABLE PROBLEM_TABLE(ID INTEGER PRIMARY KEY,NAME VARCHAR(512),"
                    "DESCRIPTION VARCHAR(512),URL VARCHAR(512));");
    store.Problem(3, "only problems");
  }
  RunModel model;
  std::string error;
  ASSERT_TRUE(LoadRun(partial.path(), model, error)) << error;
  EXPECT_EQ(parse(RenderJson(model))["run"]["state"].asString(), "no run recorded");
  ASSERT_EQ(model.problems.size(), 1u);
  EXPECT_EQ(model.missingTables.size(), 6u);
  // An outcome nested deeper than the JSON reader allows is shown as it came.
  const std::string deep(5000, '[');
  EXPECT_EQ(OutcomeInWords(deep), deep);
}

}  // namespace
}  // namespace zorel::test
