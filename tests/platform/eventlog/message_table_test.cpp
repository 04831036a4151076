// Message tables of PE files built here (ANSI and UTF-16 entries, several
// blocks, several languages, every truncation and damage), loading as a
// data file, and FormatMessageW's inserts, escapes and outcomes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "../files/pe_builder.h"
#include "zorel/platform/base/format_message.h"
#include "zorel/platform/fs/message_table.h"

namespace {

using namespace zorel::platform;
using zorel::testing::Bytes;
using zorel::testing::put16;
using zorel::testing::put32;

struct Entry {
  bool unicode;
  std::string text;  // bytes as stored (ANSI) or ASCII to widen (UTF-16)
};
struct Block {
  uint32_t low;
  std::vector<Entry> entries;  // ids low, low+1, ...
};

// MESSAGE_RESOURCE_DATA with the blocks given.
Bytes Table(const std::vector<Block>& blocks) {
  Bytes t;
  put32(t, 0, uint32_t(blocks.size()));
  const size_t headers = 4 + 12 * blocks.size();
  t.resize(headers);
  for (size_t b = 0; b < blocks.size(); ++b) {
    put32(t, 4 + 12 * b, blocks[b].low);
    put32(t, 8 + 12 * b, blocks[b].low + uint32_t(blocks[b].entries.size()) - 1);
    put32(t, 12 + 12 * b, uint32_t(t.size()));
    for (const Entry& e : blocks[b].entries) {
      Bytes body;
      for (char c : e.text) {
        body.push_back(uint8_t(c));
        if (e.unicode) body.push_back(0);
      }
      body.push_back(0);
      if (e.unicode) body.push_back(0);
      while ((body.size() + 4) % 4) body.push_back(0);
      const size_t at = t.size();
      put16(t, at, uint16_t(body.size() + 4));
      put16(t, at + 2, e.unicode ? 1 : 0);
      t.insert(t.end(), body.begin(), body.end());
    }
  }
  return t;
}

Bytes Image(const std::vector<std::pair<uint16_t, Bytes>>& tables) {
  std::vector<zorel::testing::PeResource> resources;
  for (const auto& [language, table] : tables) {
    zorel::testing::PeResource r;
    r.typeId = 11;
    r.nameId = 1;
    r.language = language;
    r.data = table;
    resources.push_back(r);
  }
  return zorel::testing::peWithResources(0x8664, resources);
}

class MessageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorel-msg-test-XXXXXX";
    dir_ = ::mkdtemp(pattern);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Put(const std::string& name, const Bytes& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
    return path;
  }
  std::string dir_;
};

TEST_F(MessageFiles, LookupByIdLanguageAndEntryKind) {
  const Bytes english = Table({{1, {{false, std::string("ansi \x80 end\0hidden", 17)}, {true, "wide %1"}}},
                               {0xC0001000u, {{true, "qualified"}}}});
  const Bytes german = Table({{1, {{true, "deutsch"}}}});
  const Bytes neutral = Table({{1, {{true, "neutral"}}}});
  struct Case {
    const char* what;
    Bytes image;
    uint32_t id;
    uint16_t language;
    WinError code;
    std::wstring text;
  };
  const Case cases[] = {
      {"ANSI entry in code page 1252, up to its NUL", Image({{1033, english}}), 1, 1033, 0,
       L"ansi \u20AC end"},
      {"UTF-16 entry", Image({{1033, english}}), 2, 1033, 0, L"wide %1"},
      {"second block, full 32-bit id", Image({{1033, english}}), 0xC0001000u, 1033, 0, L"qualified"},
      {"low 16 bits alone are another id", Image({{1033, english}}), 0x1000, 1033, 317, L""},
      {"id between blocks", Image({{1033, english}}), 3, 1033, 317, L""},
      {"1031 sorted before 1033", Image({{1031, german}, {1033, english}}), 2, 1033, 0, L"wide %1"},
      {"only 1031: no text", Image({{1031, german}}), 1, 1033, 1815, L""},
      {"1031 and neutral: neutral", Image({{1031, german}, {0, neutral}}), 1, 1033, 0, L"neutral"},
      {"no message table", zorel::testing::sampleVersionedImage(), 1, 1033, 1813, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MessageModule module;
    ASSERT_EQ(module.loadHost(Put("m.dll", c.image)), 0);
    std::wstring text;
    EXPECT_EQ(module.findMessage(c.id, c.language, &text), c.code);
    EXPECT_EQ(text, c.text);
  }
}

TEST_F(MessageFiles, LoadAsDataFileRefusesWhatIsNotARegularPeFile) {
  ASSERT_EQ(::mkfifo((dir_ + "/pipe.dll").c_str(), 0600), 0);  // never opened for reading: no wait
  std::filesystem::create_directory(dir_ + "/folder.dll");
  struct Case {
    std::string path;
    WinError code;
  };
  const Case cases[] = {
      {dir_ + "/missing.dll", ERROR_FILE_NOT_FOUND},
      {dir_ + "/no/such/folder.dll", ERROR_PATH_NOT_FOUND},
      {dir_ + "/folder.dll", ERROR_ACCESS_DENIED},
      {dir_ + "/pipe.dll", ERROR_ACCESS_DENIED},
      {Put("text.dll", zorel::testing::bytesOf("just text")), ERROR_BAD_EXE_FORMAT},
      {Put("empty.dll", {}), ERROR_BAD_EXE_FORMAT},
  };
  for (const Case& c : cases) {
    MessageModule module;
    EXPECT_EQ(module.loadHost(c.path), c.code) << c.path;
    std::wstring text;
    EXPECT_NE(module.findMessage(1, 1033, &text), 0);
  }
}

TEST(MessageTable, DamagedTablesGiveNoTextAndStayInside) {
  const Bytes good = Table({{1, {{true, "one"}, {false, "two"}, {true, "three"}}}});
  auto with = [&](size_t at, uint32_t v, bool wide = true) {
    Bytes b = good;
    if (wide) put32(b, at, v);
    else put16(b, at, uint16_t(v));
    return b;
  };
  struct Case {
    const char* what;
    Bytes table;
  };
  const Case cases[] = {
      {"2^31 blocks declared", with(0, 0x80000000u)},
      {"entries offset far outside", with(12, 0xFFFFFFF0u)},
      {"entries offset at the end", with(12, uint32_t(good.size()))},
      {"entry Length 0", with(16, 0, false)},
      {"entry Length 2", with(16, 2, false)},
      {"entry Length past the table", with(16, 0xFFFF, false)},
  };
  for (const Case& c : cases) {
    std::wstring text;
    EXPECT_EQ(findMessageInTable(c.table.data(), c.table.size(), 3, &text), ERROR_MR_MID_NOT_FOUND)
        << c.what;
    EXPECT_TRUE(text.empty()) << c.what;
  }
  // Every truncation: the entries before the cut are found, none after it.
  for (size_t size = 0; size < good.size(); ++size) {
    std::wstring text;
    const Bytes cut(good.begin(), good.begin() + ptrdiff_t(size));
    const WinError e = findMessageInTable(cut.data(), cut.size(), 3, &text);
    EXPECT_TRUE(e == ERROR_MR_MID_NOT_FOUND || text == L"three") << size;
  }
}

TEST_F(MessageFiles, TruncatedAndRandomlyDamagedImagesNeverCrash) {
  const Bytes image = Image({{1031, Table({{1, {{true, "x"}}}})},
                             {1033, Table({{1, {{true, "one"}, {false, "two"}}}, {9, {{true, "nine"}}}})}});
  for (size_t size = 0; size < image.size(); size += 7) {
    MessageModule module;
    if (module.loadHost(Put("cut.dll", Bytes(image.begin(), image.begin() + ptrdiff_t(size)))) != 0)
      continue;
    std::wstring text;
    const WinError e = module.findMessage(9, 1033, &text);
    EXPECT_TRUE(e != 0 || text == L"nine") << size;
  }
  std::mt19937 random(20240601);
  for (int round = 0; round < 300; ++round) {
    Bytes damaged = image;
    for (int i = 0; i < 8; ++i) damaged[random() % damaged.size()] = uint8_t(random());
    MessageModule module;
    if (module.loadHost(Put("bad.dll", damaged)) != 0) continue;
    std::wstring text;
    for (uint32_t id : {1u, 2u, 9u, 0x80000000u}) module.findMessage(id, 1033, &text);
  }
}

TEST(FormatMessage, InsertsEscapesLineBreaksAndOutcomes) {
  const std::vector<std::wstring> args = {L"one", L"%2 raw", L"three"};
  const uint32_t array = FORMAT_MESSAGE_ARGUMENT_ARRAY;
  struct Case {
    const wchar_t* source;
    uint32_t flags;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"a %1 b %3", array, L"a one b three"},
      {L"%2", array, L"%2 raw"},                           // inserted text is not scanned again
      {L"%4 and %99 and %1", array, L"%4 and %99 and one"},  // past the arguments: as written
      {L"%4!5s!", array, L"%4!5s!"},
      {L"[%1!5s!][%1!-5s!][%3!.2s!][%1!ls!]", array, L"[  one][one  ][th][one]"},
      {L"[%1!d!][%1!08x!]", array, L"[one][one]"},         // not a string conversion: as text
      {L"%1!s", array, L"one!s"},                          // unterminated format: plain insert
      {L"%10", array, L"%10"},                             // two digits: insert 10
      {L"%%|%.|%!|%n|%r|%t|%b|%q", array, L"%|.|!|\r\n|\r|\t| |q"},
      {L"stop%0here", array, L"stop"},
      {L"%1 %2", array | FORMAT_MESSAGE_IGNORE_INSERTS, L"%1 %2"},
      {L"a\r\nb\rc\nd%ne", array, L"a\r\nb\rc\nd\r\ne"},
      {L"a\r\nb\rc\nd%ne\r\n", array | FORMAT_MESSAGE_MAX_WIDTH_MASK, L"a b c d\r\ne "},
      {L"100%", array, L"100%"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(expandMessage(c.source, c.flags, &args), c.expected) << c.source;

  std::wstring text = L"untouched";
  const uint32_t both = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | array;
  EXPECT_EQ(formatMessage(both, nullptr, 1500, 1033, 100, &args, &text), 0);
  EXPECT_EQ(text, L"The event log file is corrupted.\r\n");  // the system fallback
  EXPECT_EQ(formatMessage(both | 0xFF, nullptr, 2, 1033, 100, &args, &text), 0);
  EXPECT_EQ(text, L"The system cannot find the file specified. ");
  text = L"untouched";
  EXPECT_EQ(formatMessage(both, nullptr, 987654, 1033, 100, &args, &text), ERROR_MR_MID_NOT_FOUND);
  EXPECT_EQ(formatMessage(FORMAT_MESSAGE_FROM_HMODULE, nullptr, 2, 1033, 100, &args, &text),
            ERROR_MR_MID_NOT_FOUND);
  // "The event log file is corrupted.\r\n" is 34 characters: 35 with its NUL.
  EXPECT_EQ(formatMessage(both, nullptr, 1500, 1033, 34, &args, &text), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(text, L"untouched");
  EXPECT_EQ(formatMessage(both, nullptr, 1500, 1033, 35, &args, &text), 0);
}

}  // namespace
