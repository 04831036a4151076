// Downloads from a server on 127.0.0.1 and from file URLs: whole bodies
// arrive, every failure leaves neither the file nor a temporary behind.

#include "zorel/platform/fs/download.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../machine/temp_machine.h"
#include "tiny_http_server.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::platform {
namespace {

using testing::TinyHttpServer;

class Download : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zorel_dl_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string target() const { return (dir_ / "out.bin").string(); }
  // Nothing but the files the test expects.
  size_t entries() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir_), {}));
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path dir_;
};

TEST_F(Download, WholeBodyArrivesByteForByte) {
  std::string body;
  for (int i = 0; i < 300000; ++i) body += static_cast<char>(i * 7);
  TinyHttpServer server([&](const std::string&, const TinyHttpServer::Send& send) {
    send(TinyHttpServer::ok(body));
  });
  DownloadResult r = downloadToFile(server.url("/setup.exe"), target());
  ASSERT_EQ(r.hresult, 0) << std::string(r.message.begin(), r.message.end());
  EXPECT_EQ(r.httpStatus, 200);
  EXPECT_EQ(r.bytes, body.size());
  EXPECT_EQ(read(target()), body);
  EXPECT_EQ(entries(), 1u);
}

TEST_F(Download, ServerClosingEarlyLeavesNoFile) {
  TinyHttpServer server([](const std::string&, const TinyHttpServer::Send& send) {
    send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'a'));
  });
  DownloadResult r = downloadToFile(server.url("/cut"), target());
  EXPECT_NE(r.hresult, 0);
  EXPECT_EQ(r.curlCode, 18);  // CURLE_PARTIAL_FILE
  EXPECT_EQ(entries(), 0u);
}

TEST_F(Download, FailureKeepsAnEarlierFileUntouched) {
  std::ofstream(target()) << "earlier";
  TinyHttpServer server([](const std::string&, const TinyHttpServer::Send& send) {
    send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
  });
  DownloadResult r = downloadToFile(server.url("/missing"), target());
  EXPECT_EQ(r.hresult, kHresultResourceNotFound);
  EXPECT_EQ(r.httpStatus, 404);
  EXPECT_EQ(read(target()), "earlier");
  EXPECT_EQ(entries(), 1u);
}

TEST_F(Download, TimeLimitEndsAStalledTransfer) {
  TinyHttpServer server([](const std::string&, const TinyHttpServer::Send& send) {
    send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab");
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  });
  DownloadOptions options;
  options.timeoutSeconds = 1;
  auto start = std::chrono::steady_clock::now();
  DownloadResult r = downloadToFile(server.url("/slow"), target(), options);
  EXPECT_EQ(r.hresult, kHresultTimeout);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2400));
  EXPECT_EQ(entries(), 0u);
}

TEST_F(Download, RefusedSchemesAndBadTargets) {
  EXPECT_EQ(downloadToFile("ftp://127.0.0.1/x", target()).hresult, kHresultUnknownProtocol);
  EXPECT_EQ(downloadToFile("gopher://127.0.0.1/x", target()).hresult, kHresultUnknownProtocol);
  EXPECT_EQ(downloadToFile("no scheme", target()).hresult, kHresultInvalidUrl);
  EXPECT_EQ(downloadToFile("", target()).hresult, kHresultInvalidUrl);
  EXPECT_NE(downloadToFile("http://127.0.0.1:1/x", target()).hresult, 0);  // nobody listens
  EXPECT_NE(downloadToFile("file:///etc/hostname", (dir_ / "no" / "x").string()).hresult, 0);
  EXPECT_EQ(entries(), 0u);
}

TEST_F(Download, RedirectToAFileUrlIsRefused) {
  TinyHttpServer server([](const std::string&, const TinyHttpServer::Send& send) {
    send("HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0\r\n\r\n");
  });
  EXPECT_NE(downloadToFile(server.url("/r"), target()).hresult, 0);
  EXPECT_EQ(entries(), 0u);
}

TEST_F(Download, FileUrlsOfHostAndMachinePaths) {
  std::ofstream((dir_ / "src file.txt").string()) << "host bytes";
  std::string url = "file://" + (dir_ / "src%20file.txt").string();
  ASSERT_EQ(downloadToFile(url, target()).hresult, 0);
  EXPECT_EQ(read(target()), "host bytes");

  testing::TempMachine machine;
  std::string hosts;
  ASSERT_EQ(machine->paths().toHostPath(L"C:\\Windows\\System32\\drivers\\etc\\hosts", hosts), 0);
  std::ofstream(hosts) << "127.0.0.1 localhost\n";
  DownloadOptions options;
  options.paths = &machine->paths();
  std::string copy = (dir_ / "hosts").string();
  ASSERT_EQ(downloadToFile("file:///C:/WINDOWS/system32/drivers/etc/hosts", copy, options).hresult, 0);
  EXPECT_EQ(read(copy), "127.0.0.1 localhost\n");
  EXPECT_EQ(downloadToFile("file://localhost/C:/Windows/none.txt", copy + "2", options).hresult,
            kHresultResourceNotFound);
  // Without a machine a drive path names nothing.
  EXPECT_NE(downloadToFile("file:///C:/Windows/x", copy + "3").hresult, 0);
}

}  // namespace
}  // namespace zorel::platform
