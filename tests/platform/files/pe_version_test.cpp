// The PE version-resource reader on built images, damaged images and real
// PE files found on the host.

#include "zorel/platform/fs/pe_version.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include <filesystem>
#include <fstream>
#include <random>

#include "pe_builder.h"

namespace zorel::platform {
namespace {

using testing::Bytes;

TEST(PeVersion, ReadsFixedInfoStringsAndTranslations) {
  Bytes image = testing::sampleVersionedImage();
  VersionResource v;
  ASSERT_EQ(parseVersionResource(image.data(), image.size(), v), 0);
  ASSERT_TRUE(v.hasFixedInfo);
  EXPECT_EQ(v.fixed.fileVersionMS, 0x00010002u);
  EXPECT_EQ(v.fixed.fileVersionLS, 0x00030004u);
  EXPECT_EQ(v.fixed.productVersionMS, 0x00050006u);
  ASSERT_EQ(v.translations.size(), 1u);
  EXPECT_EQ(v.translations[0], (std::pair<uint16_t, uint16_t>{0x0409, 0x04B0}));
  std::wstring value;
  ASSERT_TRUE(v.queryString(0x0409, 0x04B0, L"FileVersion", value));
  EXPECT_EQ(value, L"1.2.3.4");
  // VerQueryValueW ignores case in names.
  ASSERT_TRUE(v.queryString(0x0409, 0x04B0, L"productname", value));
  EXPECT_EQ(value, L"Sample");
  EXPECT_FALSE(v.queryString(0x0409, 0x04B0, L"Comments", value));
  EXPECT_FALSE(v.queryString(0x0407, 0x04B0, L"FileVersion", value));
}

TEST(PeVersion, TextBeyondAsciiAndSeveralTables) {
  Bytes version = testing::versionInfo(
      {{u"040704B0", {{u"ProductName", u"Pr\u00fcfer \U0001F600"}}},
       {u"040904E4", {{u"FileVersion", u"2.0"}}}},
      {{0x0407, 0x04B0}, {0x0409, 0x04E4}});
  Bytes image = testing::peImage(&version);
  VersionResource v;
  ASSERT_EQ(parseVersionResource(image.data(), image.size(), v), 0);
  ASSERT_EQ(v.stringTables.size(), 2u);
  std::wstring value;
  ASSERT_TRUE(v.queryString(0x0407, 0x04B0, L"ProductName", value));
  EXPECT_EQ(value, L"Pr\u00fcfer \U0001F600");
  EXPECT_TRUE(v.queryString(0x0409, 0x04E4, L"FileVersion", value));
  EXPECT_EQ(v.translations.size(), 2u);
}

TEST(PeVersion, FilesWithoutVersionResource) {
  Bytes bare = testing::peImage(nullptr);
  VersionResource v;
  EXPECT_EQ(parseVersionResource(bare.data(), bare.size(), v), ERROR_RESOURCE_TYPE_NOT_FOUND);
  const std::string text = "just some text, not an image at all........................";
  EXPECT_EQ(parseVersionResource(reinterpret_cast<const uint8_t*>(text.data()), text.size(), v),
            ERROR_BAD_FORMAT);
  EXPECT_EQ(parseVersionResource(nullptr, 0, v), ERROR_BAD_FORMAT);
  EXPECT_FALSE(v.hasFixedInfo);
  EXPECT_TRUE(v.stringTables.empty());
}

TEST(PeVersion, EveryTruncationFailsCleanly) {
  Bytes image = testing::sampleVersionedImage();
  for (size_t n = 0; n < image.size(); ++n) {
    Bytes cut(image.begin(), image.begin() + static_cast<long>(n));
    VersionResource v;
    WinError code = parseVersionResource(cut.data(), cut.size(), v);
    // A cut inside the strings may still decode the part before it.
    if (code == 0) {
      EXPECT_GE(n, 0x258u) << n;
    }
  }
}

TEST(PeVersion, RandomDamageNeverCrashes) {
  Bytes image = testing::sampleVersionedImage();
  std::mt19937 random(1234);
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = image;
    for (int k = 0; k < 4; ++k)
      damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
    VersionResource v;
    parseVersionResource(damaged.data(), damaged.size(), v);
    for (const auto& table : v.stringTables) EXPECT_LE(table.strings.size(), damaged.size());
  }
}

TEST(PeVersion, ReadsFilesAndReportsOpenErrors) {
  auto dir = std::filesystem::temp_directory_path() / "zorel_pe_version_test";
  std::filesystem::create_directories(dir);
  Bytes image = testing::sampleVersionedImage();
  std::ofstream((dir / "tool.exe").string(), std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  VersionResource v;
  EXPECT_EQ(readFileVersionResource((dir / "tool.exe").string(), v), 0);
  std::wstring value;
  EXPECT_TRUE(v.queryString(0x0409, 0x04B0, L"FileDescription", value));
  EXPECT_EQ(value, L"Sample tool");
  EXPECT_EQ(readFileVersionResource((dir / "missing.exe").string(), v), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readFileVersionResource(dir.string(), v), ERROR_ACCESS_DENIED);
  std::ofstream((dir / "empty.dll").string());
  EXPECT_EQ(readFileVersionResource((dir / "empty.dll").string(), v), ERROR_BAD_FORMAT);
  // A named pipe nobody writes to and a device: refused at once, never read.
  ASSERT_EQ(::mkfifo((dir / "pipe.dll").c_str(), 0644), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(readFileVersionResource((dir / "pipe.dll").string(), v), ERROR_ACCESS_DENIED);
  EXPECT_EQ(readFileVersionResource("/dev/zero", v), ERROR_ACCESS_DENIED);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  std::filesystem::remove_all(dir);
}

// Real Windows images shipped by Debian packages, when one is installed:
// they must parse as PE files; the perf test image carries no version.
TEST(PeVersion, RealWindowsImagesOnTheHost) {
  const char* candidates[] = {"/usr/lib/perf-core/tests/pe-file.exe",
                              "/usr/share/ipxe/ipxe.efi", "/usr/lib/shim/shimx64.efi"};
  int seen = 0;
  for (const char* path : candidates) {
    if (!std::filesystem::exists(path)) continue;
    ++seen;
    VersionResource v;
    WinError code = readFileVersionResource(path, v);
    EXPECT_NE(code, ERROR_BAD_FORMAT) << path;
    if (std::string(path).find("pe-file.exe") != std::string::npos) {
      EXPECT_EQ(code, ERROR_RESOURCE_TYPE_NOT_FOUND);
    }
  }
  if (seen == 0) GTEST_SKIP() << "no Windows image installed on this host";
}

}  // namespace
}  // namespace zorel::platform
