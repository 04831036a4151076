// PreInstallCheck in this process, with the framework and the report server
// replaced by doubles that block where a test needs to look: the progress
// the controller itself writes, the report calls it makes, and the
// decryption rules of preinstall.enc.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <stdexcept>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/result_json.h"
#include "zorel/report/report_client.h"
#include "zorel/report/sealed_container.h"
#include "zorel/session/online_flag.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/base/win_error.h"
#include "zorel/session/pre_install_check.h"

namespace zorel {
namespace {

namespace fs = std::filesystem;

// A gate the double waits at until the test opens it.
class Gate {
 public:
  void Open() {
    std::lock_guard<std::mutex> l(m_);
    open_ = true;
    cv_.notify_all();
  }
  void Pass() {
    std::unique_lock<std::mutex> l(m_);
    reached_ = true;
    cv_.notify_all();
    cv_.wait(l, [this] { return open_; });
  }
  void AwaitReached() {
    std::unique_lock<std::mutex> l(m_);
    cv_.wait(l, [this] { return reached_; });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool open_ = false;
  bool reached_ = false;
};

// A failure deep in a call: the platform's last error says access denied
// (5) while errno holds the host's EACCES (13).
[[noreturn]] void FailAsAHostCallWould() {
  platform::setLastError(platform::ERROR_ACCESS_DENIED);
  errno = EACCES;
  throw std::runtime_error("denied");
}

class FakeFramework : public IFrameworkLib {
 public:
  bool Initialize(const std::wstring& script, const std::wstring& folder,
                  platform::IManualResetEvent*) override {
    script_ = script;
    folder_ = folder;
    return true;
  }
  bool Execute(RunRequest request, ResultJson& summary, const ProgressCallback& progress) override {
    if (throwInExecute) FailAsAHostCallWould();
    plan_ = request;
    ProgressJson p;
    p.stageId = 101;
    p.percentage = 47;
    p.message = "problem";
    progress(&p);
    summary.stages.Add().stageId = 101;
    return true;
  }
  bool Package(bool finalize) override {
    if (finalize) packageGate.Pass();
    return true;
  }
  void Terminate() override {}

  Gate packageGate;
  bool throwInExecute = false;
  std::wstring script_, folder_;
  RunRequest plan_;
};

class FakeReport : public IReportService {
 public:
  bool CreateSessionId(int32_t& id) override {
    id = 42;
    return true;
  }
  bool UploadResult(int32_t id) override {
    uploaded = id;
    uploadGate.Pass();
    return true;
  }
  bool CancelOperation(int32_t) override {
    ++cancels;
    if (throwInCancel) FailAsAHostCallWould();
    return true;
  }
  Gate uploadGate;
  bool throwInCancel = false;
  std::atomic<int32_t> uploaded{0};
  std::atomic<int> cancels{0};
};

class PreInstallCheckTest : public ::testing::Test {
 protected:
  static std::string Root() { return fs::temp_directory_path() / ("zorel-pic-" + std::to_string(::getpid())); }
  // The framework log lives in this machine's TEMP folder.
  static void SetUpTestSuite() { ::setenv("ZOREL_MACHINE", Root().c_str(), 1); }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(Root(), ec);
  }
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zorel-pic-test-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    framework_ = std::make_shared<FakeFramework>();
    report_ = std::make_shared<FakeReport>();
  }
  void TearDown() override {
    SetOnlineFlag(false);
    fs::remove_all(dir_);
  }

  // A sealed file with `payload` as its plain text.
  std::string SealFile(const std::string& payload) {
    std::vector<uint8_t> out(payload.size() + kSealHeaderSize);
    EXPECT_EQ(Seal(nullptr, 0, reinterpret_cast<const uint8_t*>(payload.data()), payload.size(), 1,
                   out.data(), out.size()),
              kSealOk);
    const std::string path = dir_ + "/preinstall.enc";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()),
                                                static_cast<std::streamsize>(out.size()));
    return path;
  }
  PreInstallCheckSettings Settings(const std::string& sealed) {
    PreInstallCheckSettings s;
    s.dataFolder = dir_ + "/data/";
    s.sealedScript = sealed;
    s.framework = framework_;
    s.reportService = report_;
    return s;
  }
  static RequestJsonStructure Request(const std::string& text) {
    RequestJsonStructure r;
    r.FromString(text);
    return r;
  }
  static ProgressJson Progress(PreInstallCheck& c) {
    ProgressJson p;
    c.CopyProgress(p);
    return p;
  }
  static void WaitIdle(PreInstallCheck& c) {
    for (int i = 0; i < 1000 && c.Running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }

  std::string dir_;
  std::shared_ptr<FakeFramework> framework_;
  std::shared_ptr<FakeReport> report_;
};

const char kAll[] = R"({"operationinfo":[{"stageid":102,"problemid":[5]},{"stageid":100,"problemid":[]},)"
                    R"({"stageid":101,"problemid":[3,1]}]})";

TEST_F(PreInstallCheckTest, OnlineRunGoes95Then99ThenUploadsAndEndsAt100) {
  SetOnlineFlag(true);
  PreInstallCheck controller(Settings(SealFile("var x = 1;")));
  ASSERT_TRUE(controller.Start(Request(kAll)));

  framework_->packageGate.AwaitReached();  // packaging under way
  ProgressJson p = Progress(controller);
  EXPECT_EQ(p.percentage, 95);
  EXPECT_EQ(p.message, "$GEN1001$");
  EXPECT_EQ(p.stageId, 101);  // the framework's stage stays
  framework_->packageGate.Open();

  report_->uploadGate.AwaitReached();  // the upload is running
  EXPECT_EQ(Progress(controller).percentage, 99);
  ResultJson result;
  SessionJson session;
  controller.CopyResult(result, session);
  EXPECT_EQ(session.sessionId, 42);
  report_->uploadGate.Open();
  WaitIdle(controller);
  EXPECT_EQ(Progress(controller).percentage, 100);
  EXPECT_EQ(report_->uploaded.load(), 42);

  // The plan was in stage order, with each stage's problems as sent; the
  // script reached the framework with the data folder.
  EXPECT_EQ(framework_->plan_, (IFrameworkLib::RunRequest{{100, {}}, {101, {3, 1}}, {102, {5}}}));
  EXPECT_EQ(framework_->script_, L"var x = 1;");
  EXPECT_EQ(framework_->folder_, fromUtf8(dir_ + "/data/"));

  // Cancel after the run ended tells the server nothing.
  EXPECT_TRUE(controller.Cancel());
  EXPECT_EQ(report_->cancels.load(), 0);
}

TEST_F(PreInstallCheckTest, CancelOfARunningOnlineRunTellsTheServer) {
  SetOnlineFlag(true);
  PreInstallCheck controller(Settings(SealFile("var x = 1;")));
  ASSERT_TRUE(controller.Start(Request(kAll)));
  framework_->packageGate.AwaitReached();
  std::thread opener([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    framework_->packageGate.Open();
    report_->uploadGate.Open();
  });
  EXPECT_TRUE(controller.Cancel());
  opener.join();
  EXPECT_EQ(report_->cancels.load(), 1);
  EXPECT_FALSE(controller.Running());
}

TEST_F(PreInstallCheckTest, ScriptTextEndsAtTheFirstZeroAndAFullBufferIsRefused) {
  {
    PreInstallCheck c(Settings(SealFile(std::string("abc\0def", 7))));
    framework_->packageGate.Open();
    ASSERT_TRUE(c.Start(Request(R"({"operationinfo":[{"stageid":100,"problemid":[]}]})")));
    WaitIdle(c);
    EXPECT_EQ(framework_->script_, L"abc");
  }
  {
    // 255 999 bytes fit with their terminator.
    PreInstallCheck c(Settings(SealFile(std::string(kScriptBufferSize - 1, 'a'))));
    EXPECT_TRUE(c.HasScript());
  }
  for (size_t size : {kScriptBufferSize, kScriptBufferSize + 1}) {
    PreInstallCheck c(Settings(SealFile(std::string(size, 'a'))));
    EXPECT_FALSE(c.HasScript()) << size;
    EXPECT_FALSE(c.Start(Request(kAll))) << size;
  }
  // UTF-8 in the script reaches the framework as the characters it spells.
  PreInstallCheck c(Settings(SealFile("// caf\xc3\xa9")));
  framework_->packageGate.Open();
  ASSERT_TRUE(c.Start(Request(R"({"operationinfo":[{"stageid":100,"problemid":[]}]})")));
  WaitIdle(c);
  EXPECT_EQ(framework_->script_, L"// caf\u00e9");
}

TEST_F(PreInstallCheckTest, OfflineRunAsksNoSessionAndLeavesSessionMinusOne) {
  PreInstallCheck controller(Settings(SealFile("x")));
  framework_->packageGate.Open();
  ASSERT_TRUE(controller.Start(Request(kAll)));
  WaitIdle(controller);
  EXPECT_EQ(Progress(controller).percentage, 100);
  ResultJson result;
  SessionJson session;
  controller.CopyResult(result, session);
  EXPECT_EQ(session.sessionId, -1);
  EXPECT_EQ(result.stages.Size(), 1u);
  EXPECT_EQ(report_->uploaded.load(), 0);
}

TEST_F(PreInstallCheckTest, ExceptionLinesCarryThePlatformsLastErrorNotErrno) {
  struct Case {
    const char* what;
    bool inExecute;  // else in the cancel notice to the server
    const char* line;
  };
  const Case cases[] = {
      {"run", true, "Exception occured while executing the problems, ErrorCode: 5\n"},
      {"cancel", false, "Exception occured while cancelling the operation, ErrorCode: 5\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string log = FrameworkLog::Instance().path();
    const auto before = fs::exists(log) ? fs::file_size(log) : 0;
    framework_ = std::make_shared<FakeFramework>();
    framework_->throwInExecute = c.inExecute;
    report_->throwInCancel = !c.inExecute;
    SetOnlineFlag(!c.inExecute);  // a cancel notice needs a session
    {
      PreInstallCheck controller(Settings(SealFile("x")));
      ASSERT_TRUE(controller.Start(Request(kAll)));
      if (!c.inExecute) {
        framework_->packageGate.AwaitReached();
        EXPECT_TRUE(controller.Cancel());
        report_->throwInCancel = false;
        framework_->packageGate.Open();
        report_->uploadGate.Open();
      }
      WaitIdle(controller);
      if (c.inExecute) {
        EXPECT_EQ(Progress(controller).errorCode, 1000);
      }
    }
    std::ifstream in(log, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(before));
    const std::string added((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_THAT(added, ::testing::HasSubstr(c.line));
  }
}

}  // namespace
}  // namespace zorel
