// `zorel report` through the binary, its pages opened in headless Chromium: the DOM after the
// page's script ran holds the run's problems and failing operations as
// text, no text of the store ran as script (the hostile stores try to set
// data-pwned on the page's root element), and a screenshot of each page is
// kept in the build folder (tests/runreport/report_pages/) for a person to
// look at.

#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "run_store_fixture.h"
#include "zorel/runreport/run_source.h"

namespace zorel::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
};

Outcome shell(const std::string& command) {
  Outcome o;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return o;
  std::array<char, 65536> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) o.out.append(buffer.data(), n);
  const int status = ::pclose(p);
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
}

// How a text node's contents appear in Chromium's serialised DOM.
std::string domText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

const char* const kPwn = "document.documentElement.setAttribute('data-pwned','yes')";

struct Case {
  const char* name;
  // Fills `folder` (the machine root is folder/machine) and RETURNS the SOURCE to report on.
  std::function<std::string(const std::string& folder)> make;
  std::vector<std::string> texts;  // further texts the page must show
};

void hostileStore(const std::string& store) {
  StoreFile s(store + "/ResultStore.db");
  s.Execution(std::string("<script>") + kPwn + "</script>.js", "2026-12-10.10:00:00",
              "2026-12-10.10:00:05", 5);
  s.Stage(100, "\"><img src=x onerror=\"" + std::string(kPwn) + "\">");
  s.Problem(1, std::string("<script>") + kPwn + "</script>", "</script><script>" + std::string(kPwn) + "</script>",
            std::string("javascript:") + kPwn);
  s.Problem(2, "\"><img src=x onerror=\"" + std::string(kPwn) + "\">", "<svg onload=\"" + std::string(kPwn) + "\">");
  s.Status(1, 100, 3);
  s.Status(2, 100, 1);
  s.Operation(1, 100, "<b>File</b>", "<img src=x onerror=\"" + std::string(kPwn) + "\">",
              "{\"path\":\"</script><script>" + std::string(kPwn) + "</script>\"}", false, 2,
              "<iframe src=\"javascript:" + std::string(kPwn) + "\"></iframe>");
  s.Run("INSERT INTO ENVIRONMENT_COLLECTION_TABLE VALUES(?,?)",
        {std::string("<style>*{display:none}</style>"), std::string("<script>") + kPwn + "</script>"});
}

TEST(ReportPage, OpensInChromiumShowingEveryProblemAndNoStoreTextRuns) {
  const std::string outDir = std::string(ZOREL_BINARY_DIR) + "/tests/runreport/report_pages";
  fs::create_directories(outDir);
  const std::string zorel = std::string(ZOREL_BINARY_DIR) + "/src/cli/zorel";
  const Case cases[] = {
      // a real run of the sample script on a fresh machine
      {"example_basic",
       [&](const std::string& folder) {
         const Outcome run = shell("ZOREL_MACHINE='" + folder + "/machine' '" + zorel +
                                   "' check --offline --script '" ZOREL_SOURCE_DIR
                                   "/examples/checks/basic.js' --store '" + folder +
                                   "/store' >/dev/null 2>&1");
         EXPECT_NE(run.status, 2);
         return folder + "/store";
       },
       {"basic.js", "Operating System Name"}},
      {"hostile_names",
       [](const std::string& folder) {
         hostileStore(folder);
         return folder;
       },
       {}},
      {"records_100000",
       [](const std::string& folder) {
         StoreFile s(folder + "/ResultStore.db");
         s.Execution("many.js", "2026-12-10.10:00:00", "2026-12-10.10:09:00", 5);
         s.Problem(1, "many files");
         s.Status(1, 100, 3);
         s.ManyOperations(100000);
         return folder + "/ResultStore.db";
       },
       {"showing 2000 of 100000 operations"}},
      {"empty_run",
       [](const std::string& folder) {
         StoreFile s(folder + "/ResultStore.db");
         return folder;
       },
       {"The script declared no problems.", "no run recorded", "showing 0 of 0 operations"}},
      {"cancelled_midway",
       [](const std::string& folder) {
         StoreFile s(folder + "/ResultStore.db");
         s.Execution("cancel.js", "2026-12-10.10:00:00", "", 0);
         s.Stage(100, "healthCheck");
         s.Stage(101, "detect");
         s.Problem(4, "half done");
         s.Status(4, 100, 1);
         s.Status(4, 101, 2);
         s.Operation(4, 101, "Registry", "Registry::isKeyPresent", "{\"key\":\"HKLM\\\\x\"}", false, 2);
         return folder;
       },
       {"did not finish (cancelled or stopped midway)", "started but not finished", "passed"}},
      {"db_cab",
       [](const std::string& folder) {
         {
           StoreFile s(folder + "/ResultStore.db");
           s.Execution("packed.js", "2026-12-10.10:00:00", "2026-12-10.10:00:05", 5);
           s.Problem(9, "from the cabinet");
           s.Status(9, 100, 1);
           s.Operation(9, 100, "OS", "OS::getOSName", "{}", false, 87, "The parameter is incorrect.");
         }
         PackDbCab(folder, folder + "/db.cab");
         fs::remove(folder + "/ResultStore.db");
         return folder + "/db.cab";
       },
       {"packed.js", "87 The parameter is incorrect."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::string source = c.make(folder.path());
    const std::string page = outDir + "/" + c.name + ".html";
    const auto started = std::chrono::steady_clock::now();
    const Outcome report = shell("ZOREL_MACHINE='" + folder.path() + "/machine' '" + zorel + "' report '" +
                                 source + "' --out '" + page + "' 2>&1");
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(report.status, 0) << report.out;
    std::printf("[ report ] %s: zorel report took %lld ms\n", c.name, static_cast<long long>(ms));

    const std::string browser = std::string("timeout 120 '" CHROMIUM_BINARY
                                            "' --headless --no-sandbox --disable-gpu --user-data-dir='") +
                                folder.path() + "/chromium' ";
    const Outcome dom = shell(browser + "--dump-dom 'file://" + page + "' 2>/dev/null");
    ASSERT_EQ(dom.status, 0);
    const std::string root = dom.out.substr(0, dom.out.find('>', dom.out.find("<html")));
    EXPECT_NE(root.find("data-rendered=\"yes\""), std::string::npos) << "the page's script did not finish";
    EXPECT_EQ(root.find("data-pwned"), std::string::npos) << "a store text ran as script";

    // What the page must show: every problem, the failing operations among
    // the rows drawn (the first 2000), and the case's own texts.
    // The drawn page; the model's JSON block follows it.
    const std::string shown = dom.out.substr(0, dom.out.find("<script type=\"application/json\""));
    runreport::RunModel model;
    std::string error;
    ASSERT_TRUE(runreport::LoadRun(source, model, error)) << error;
    for (const runreport::Problem& p : model.problems) {
      EXPECT_NE(shown.find(domText(std::to_string(p.id) + " " + p.name)), std::string::npos) << p.name;
    }
    for (size_t i = 0; i < model.operations.size() && i < 2000; ++i) {
      const runreport::Operation& o = model.operations[i];
      if (o.executionStatus != 1) {
        EXPECT_NE(shown.find("<td>" + domText(o.api) + "</td>"), std::string::npos) << o.api;
      }
    }
    for (const std::string& text : c.texts) EXPECT_NE(shown.find(domText(text)), std::string::npos) << text;

    const std::string shot = outDir + "/" + c.name + ".png";
    fs::remove(shot);
    const Outcome picture = shell(browser + "--screenshot='" + shot + "' --window-size=1280,900 'file://" +
                                  page + "' >/dev/null 2>&1");
    EXPECT_EQ(picture.status, 0);
    EXPECT_GT(fs::exists(shot) ? fs::file_size(shot) : 0u, 10000u);
    std::printf("[ report ] %s: page %s, screenshot %s\n", c.name, page.c_str(), shot.c_str());
  }
}

// What the command answers besides a page: JSON identical to the page's
// model, and a reason with exit 1 for what it cannot read or write.
TEST(ReportCommand, WritesTheModelAsJsonOrSaysWhyItCannot) {
  TempFolder folder;
  {
    StoreFile s(folder.path() + "/ResultStore.db");
    s.Execution("j.js", "2026-12-10.10:00:00", "2026-12-10.10:00:05", 5);
    s.Problem(1, "one");
  }
  std::ofstream(folder.path() + "/notes.txt") << "text";
  const std::string zorel = "'" ZOREL_BINARY_DIR "/src/cli/zorel' report ";
  const Outcome json = shell(zorel + "'" + folder.path() + "' --json");
  ASSERT_EQ(json.status, 0);
  ASSERT_EQ(shell(zorel + "'" + folder.path() + "' --out '" + folder.path() + "/p.html' 2>&1").status, 0);
  std::ifstream in(folder.path() + "/p.html");
  const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(page.find(">" + json.out + "</script>"), std::string::npos) << "the page holds another model";

  struct Failure {
    const char* what;
    std::string args;
    std::string says;
  };
  const Failure cases[] = {
      {"no such source", "'" + folder.path() + "/none'", "zorel report: no such file or folder"},
      {"not a store", "'" + folder.path() + "/notes.txt'", "is neither a result store"},
      {"unwritable output", "'" + folder.path() + "' --out '" + folder.path() + "/no/p.html'",
       "zorel report: cannot write"},
      {"unknown option", "--pdf", "unexpected argument '--pdf'"},
  };
  for (const Failure& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome o = shell(zorel + c.args + " 2>&1 >/dev/null");
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find(c.says), std::string::npos) << o.out;
  }
  EXPECT_FALSE(fs::exists(folder.path() + "/no"));
}

}  // namespace
}  // namespace zorel::test
