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

// Windows' language-neutral lookup, on a built image whose languages follow
// a real multi-language DLL (tests/data/pe/kernel32-version-languages.txt):
// Arabic first, then German and English as neutral-sublanguage and full
// language ids.
TEST(PeVersion, NeutralLookupFollowsWindowsLanguageOrder) {
  std::vector<testing::PeResource> resources;
  for (uint16_t language : {0x0001, 0x0007, 0x0404, 0x0409, 0x0804}) {
    char16_t key[9];
    const char16_t hex[] = u"0123456789ABCDEF";
    for (int i = 0; i < 4; ++i) key[i] = hex[(language >> (12 - 4 * i)) & 0xF];
    std::u16string table = std::u16string(key, 4) + u"04B0";
    testing::PeResource r;
    r.typeId = 16;
    r.nameId = 1;
    r.language = language;
    r.data = testing::versionInfo({{table, {{u"ProductName", table}}}}, {{language, 0x04B0}});
    resources.push_back(r);
  }
  const Bytes image = testing::peWithResources(0x8664, resources);
  struct Case {
    uint16_t system;
    const wchar_t* table;  // the table the lookup lands in
  } cases[] = {
      {0x0409, L"040904B0"},  // exact
      {0x0407, L"000704B0"},  // German: its primary language with the neutral sublanguage
      {0x0C04, L"040404B0"},  // Chinese (Hong Kong): Chinese with the default sublanguage
      {0x0411, L"040904B0"},  // Japanese: not in the file, English before the first
  };
  for (const Case& c : cases) {
    VersionResource v;
    ASSERT_EQ(parseVersionResource(image.data(), image.size(), v,
                                   neutralLookupLanguages(c.system, c.system)),
              0);
    ASSERT_EQ(v.stringTables.size(), 1u);
    EXPECT_EQ(v.stringTables[0].key, c.table) << std::hex << c.system;
  }
  // Without English the first language the file lists answers.
  resources.erase(resources.begin() + 3);
  const Bytes noEnglish = testing::peWithResources(0x8664, resources);
  VersionResource v;
  ASSERT_EQ(parseVersionResource(noEnglish.data(), noEnglish.size(), v,
                                 neutralLookupLanguages(0x0411, 0x0411)),
            0);
  EXPECT_EQ(v.stringTables[0].key, L"000104B0");
  // A neutral-language resource wins over every other.
  resources.push_back(resources.back());
  resources.back().language = 0;
  resources.back().data = testing::versionInfo({{u"000004B0", {}}}, {});
  const Bytes neutral = testing::peWithResources(0x8664, resources);
  ASSERT_EQ(parseVersionResource(neutral.data(), neutral.size(), v), 0);
  EXPECT_EQ(v.stringTables[0].key, L"000004B0");
}

// The shared resource reader: named types, names and machines, and cut
// images that never crash it.
TEST(PeResource, NamedResourcesMachinesAndTruncation) {
  std::vector<testing::PeResource> resources = {
      {u"REGISTRY", 0, u"", 101, 0x0409, testing::bytesOf("first")},
      {u"REGISTRY", 0, u"MODULE", 0, 0x0409, testing::bytesOf("second")},
      {u"", 16, u"", 1, 0x0409, testing::bytesOf("v")},
  };
  for (uint16_t machine : {0x014C, 0x8664}) {
    const Bytes image = testing::peWithResources(machine, resources);
    PeResources r;
    ASSERT_EQ(r.open(image.data(), image.size()), 0);
    EXPECT_EQ(r.machine(), machine);
    std::vector<ResourceId> names;
    ASSERT_EQ(r.names(ResourceId::byName(L"registry"), &names), 0);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0].number, 101);
    EXPECT_EQ(names[1].name, L"MODULE");
    ResourceData d;
    ASSERT_EQ(r.find(ResourceId::byName(L"Registry"), &names[1], {}, &d), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(d.data), d.size), "second");
    std::vector<ResourceId> none;
    EXPECT_EQ(r.names(ResourceId::byName(L"TYPELIB"), &none), ERROR_RESOURCE_TYPE_NOT_FOUND);
    const ResourceId missing = ResourceId::byNumber(7);
    EXPECT_EQ(r.find(ResourceId::byNumber(16), &missing, {}, &d), ERROR_RESOURCE_NAME_NOT_FOUND);
    // Every cut of the image either fails or answers within it.
    for (size_t cut = 0; cut < image.size(); cut += 3) {
      PeResources part;
      if (part.open(image.data(), cut) != 0) continue;
      ResourceData p;
      if (part.find(ResourceId::byName(L"REGISTRY"), &names[1], {}, &p) == 0) {
        EXPECT_LE(p.data + p.size, image.data() + cut);
      }
    }
  }
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
