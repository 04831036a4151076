// downloadFile against a server on 127.0.0.1 and file URLs of the machine.

#include <gtest/gtest.h>

#include "../../platform/files/tiny_http_server.h"
#include "file_fixture.h"

namespace zorel::test {
namespace {

using testing::TinyHttpServer;

const std::wstring kDownloads = L"C:\\Users\\User\\Downloads";

size_t Entries(const std::string& host) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(host), {}));
}

TEST_F(FilePluginTest, DownloadFileFromLoopbackServer) {
  std::string body(70000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i % 251);
  TinyHttpServer server([&](const std::string&, const TinyHttpServer::Send& send) {
    send(TinyHttpServer::ok(body));
  });
  const std::wstring url = fromUtf8(server.url("/files/setup.exe"));
  Json::Value r = Call("downloadFile", {url, kDownloads});
  EXPECT_TRUE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_EQ(Read(kDownloads + L"\\setup.exe"), body);
  OperationRow row = LastRow();
  EXPECT_EQ(row.type, 1);
  EXPECT_EQ(row.input, L"{\"URL\":\"" + url + L"\",\"DownloadLocation\":\"" + kDownloads +
                           L"\\setup.exe\"}");
}

TEST_F(FilePluginTest, DownloadCutShortLeavesNoFile) {
  TinyHttpServer server([](const std::string&, const TinyHttpServer::Send& send) {
    send("HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n" + std::string(4000, 'z'));
  });
  size_t before = Entries(Host(kDownloads));
  Json::Value r = Call("downloadFile", {fromUtf8(server.url("/big.msi")), kDownloads});
  EXPECT_FALSE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 20001);
  EXPECT_EQ(LastRow().errorString, L"Unable to download the file");
  EXPECT_EQ(Entries(Host(kDownloads)), before);
}

TEST_F(FilePluginTest, DownloadTimeLimit) {
  TinyHttpServer server([](const std::string&, const TinyHttpServer::Send& send) {
    send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab");
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  });
  file_->downloadTimeoutSeconds = 1;
  EXPECT_EQ(Call("downloadFile", {fromUtf8(server.url("/slow.bin")), kDownloads})["errorcode"].asInt(),
            20001);
  EXPECT_FALSE(Exists(kDownloads + L"\\slow.bin"));
}

TEST_F(FilePluginTest, DownloadUrlEndingInASlashAndBadArguments) {
  TinyHttpServer server([](const std::string&, const TinyHttpServer::Send& send) {
    send(TinyHttpServer::ok("index"));
  });
  Json::Value r = Call("downloadFile", {fromUtf8(server.url("/dir/")), kDownloads});
  EXPECT_EQ(r["errorcode"].asInt(), 20001);
  EXPECT_EQ(LastRow().input.find(L"\"DownloadLocation\":\"" + kDownloads + L"\\\"}") !=
                std::wstring::npos,
            true);
  EXPECT_EQ(Call("downloadFile", {L"http://127.0.0.1/x"})["errorcode"].asInt(), 20023);
  EXPECT_EQ(Call("downloadFile", {L"", kDownloads})["errorcode"].asInt(), 87);
  r = Call("downloadFile", {L"http://127.0.0.1/x", L"C:\\No\\Folder"});
  EXPECT_EQ(r["errorcode"].asInt(), 20004);
  EXPECT_TRUE(Logged("Downloadlocation : C:\\No\\Folder Error : Error while accessing the file or folder"));
  EXPECT_EQ(LastRow().input, L"{\"URL\":\"http://127.0.0.1/x\",\"DownloadLocation\":\"C:\\No\\Folder\"}");
  // A name that climbs stays a name inside the folder or fails; it never
  // writes elsewhere.
  EXPECT_EQ(Call("downloadFile", {fromUtf8(server.url("/a/..")), kDownloads})["errorcode"].asInt(),
            20001);
  EXPECT_EQ(Call("downloadFile", {L"ftp://127.0.0.1/x.exe", kDownloads})["errorcode"].asInt(), 20001);
}

TEST_F(FilePluginTest, DownloadFromAFileUrlOfTheMachine) {
  Write(L"C:\\Share\\tool v2.exe", "MZ tool");
  Json::Value r = Call("downloadFile", {L"file:///C:/Share/tool%20v2.exe", kDownloads});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_EQ(Read(kDownloads + L"\\tool%20v2.exe"), "MZ tool");
}

}  // namespace
}  // namespace zorel::test
