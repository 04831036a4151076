// zorel seal / unseal through the real binary, cross-checked against the
// independent Python implementation in sealed_reference.py.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "container_test_util.h"
#include "zorel/report/sealed_container.h"

namespace zorel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::randomBytes;

const std::string kZorel = std::string(ZOREL_BINARY_DIR) + "/src/cli/zorel";
const std::string kReference = std::string(ZOREL_SOURCE_DIR) + "/tests/report/sealed_reference.py";

struct CommandRun {
  int exitCode;
  std::string out;
  std::string err;
};

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

Bytes readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes textBytes(size_t n) {
  static const std::string kWords = "the quick brown fox jumps over the lazy dog\n";
  Bytes b(n);
  for (size_t k = 0; k < n; ++k) b[k] = static_cast<uint8_t>(kWords[k % kWords.size()]);
  return b;
}

template <typename T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class SealCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("zorel_seal_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ASSERT_TRUE(fs::exists(kZorel)) << kZorel;
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  fs::path path(const std::string& name) const { return dir_ / name; }

  CommandRun run(const std::string& program, const std::vector<std::string>& args) const {
    std::string cmd = program;
    for (const auto& a : args) cmd += " " + quote(a);
    const fs::path out = dir_ / ".stdout", err = dir_ / ".stderr";
    cmd += " >" + quote(out.string()) + " 2>" + quote(err.string());
    const int status = std::system(cmd.c_str());
    CommandRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, {}};
    const Bytes o = readFile(out), e = readFile(err);
    r.out.assign(o.begin(), o.end());
    r.err.assign(e.begin(), e.end());
    fs::remove(out);
    fs::remove(err);
    return r;
  }
  CommandRun zorel(const std::vector<std::string>& args) const { return run(quote(kZorel), args); }
  CommandRun reference(const std::vector<std::string>& args) const {
    return run("python3 " + quote(kReference), args);
  }

  // Files in the test folder other than `keep`: proves nothing partial was left.
  std::vector<std::string> strayFiles(const std::vector<std::string>& keep) const {
    std::vector<std::string> stray;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string name = e.path().filename().string();
      if (std::find(keep.begin(), keep.end(), name) == keep.end()) stray.push_back(name);
    }
    return stray;
  }

  // Expects a failed run: exit 1, one line on stderr naming `code` (when
  // non-zero), and no output file or temporary file beside the inputs.
  void expectFailure(const CommandRun& r, int code, const std::vector<std::string>& keep) const {
    EXPECT_EQ(r.exitCode, 1) << r.err;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
    if (code != 0) {
      EXPECT_NE(r.err.find("result " + std::to_string(code)), std::string::npos) << r.err;
    }
    EXPECT_EQ(strayFiles(keep), std::vector<std::string>{});
  }

  // Seals `plain` with zorel and with the reference; both must agree byte
  // for byte, and unsealing either with the other gives `plain` back.
  void crossCheck(const Bytes& plain, const std::vector<std::string>& valueArgs,
                  const std::string& referenceValue) {
    writeFile(path("in"), plain);
    std::vector<std::string> args{path("in").string(), path("zorel.enc").string()};
    args.insert(args.end(), valueArgs.begin(), valueArgs.end());
    const CommandRun z = zorel(std::vector<std::string>{"seal"} + args);
    ASSERT_EQ(z.exitCode, 0) << z.err;
    const CommandRun p = reference({"seal", path("in").string(), path("ref.enc").string(), "--value", referenceValue});
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const Bytes sealed = readFile(path("zorel.enc"));
    ASSERT_EQ(sealed.size(), plain.size() + 32);
    EXPECT_TRUE(sealed == readFile(path("ref.enc"))) << "zorel and the reference disagree";

    const CommandRun back = zorel({"unseal", path("ref.enc").string(), path("zorel.out").string()});
    ASSERT_EQ(back.exitCode, 0) << back.err;
    EXPECT_TRUE(readFile(path("zorel.out")) == plain);
    const CommandRun refBack = reference({"unseal", path("zorel.enc").string(), path("ref.out").string()});
    ASSERT_EQ(refBack.exitCode, 0) << refBack.err;
    EXPECT_TRUE(readFile(path("ref.out")) == plain);
  }

  fs::path dir_;
};

// ---- agreement with the reference -----------------------------------------------

TEST_F(SealCommandTest, ReferenceImplementationPassesItsOwnRc4Vectors) {
  const CommandRun r = reference({"selftest"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(SealCommandTest, FiveByteTextMatchesTheReference) {
  crossCheck({'h', 'e', 'l', 'l', 'o'}, {"--value", "7"}, "7");
  const Bytes c = readFile(path("zorel.enc"));
  ASSERT_EQ(c.size(), 37u);
  EXPECT_EQ(test::le32(c, 12), 7u);
}

TEST_F(SealCommandTest, OneMebibyteOfRandomBytesMatchesTheReference) {
  crossCheck(randomBytes(1 << 20, 42), {"--value", "1"}, "1");
}

TEST_F(SealCommandTest, TextOf300KibMatchesTheReferenceWithTheDefaultValue1) {
  crossCheck(textBytes(300 * 1024), {}, "1");
}

// Inputs that pass many times through the command's slices (and its ring of
// them when sealing) give the library's bytes, and come back whole.
TEST_F(SealCommandTest, LongInputsGiveTheLibrarysContainerAndRoundTrip) {
  for (const size_t size : {size_t{(5u << 20) + 7}, size_t{(2u << 20) - 1}}) {
    SCOPED_TRACE(size);
    const Bytes plain = randomBytes(size, static_cast<uint32_t>(size));
    writeFile(path("in"), plain);
    ASSERT_EQ(zorel({"seal", path("in").string(), path("in.enc").string()}).exitCode, 0);
    Bytes expected(size + 32);
    ASSERT_EQ(Seal(nullptr, 0, plain.data(), size, 1, expected.data(), expected.size()), kSealOk);
    EXPECT_TRUE(readFile(path("in.enc")) == expected);
    ASSERT_EQ(zorel({"unseal", path("in.enc").string(), path("out").string()}).exitCode, 0);
    EXPECT_TRUE(readFile(path("out")) == plain);
  }
}

TEST_F(SealCommandTest, ValueAcceptsThe32BitRangeAndRejectsTheRest) {
  writeFile(path("in"), {'x'});
  ASSERT_EQ(zorel({"seal", path("in").string(), path("a.enc").string(), "--value=-1"}).exitCode, 0);
  EXPECT_EQ(test::le32(readFile(path("a.enc")), 12), 0xFFFFFFFFu);
  ASSERT_EQ(zorel({"seal", path("in").string(), path("b.enc").string(), "--value", "0x10"}).exitCode, 0);
  EXPECT_EQ(test::le32(readFile(path("b.enc")), 12), 16u);
  const CommandRun back = zorel({"unseal", path("a.enc").string(), path("a.out").string()});
  EXPECT_NE(back.out.find("value 4294967295"), std::string::npos) << back.out;
  for (const char* bad : {"4294967296", "-2147483649", "seven", "", "7x"}) {
    SCOPED_TRACE(bad);
    expectFailure(zorel({"seal", path("in").string(), path("c.enc").string(), "--value", bad}), 0,
                  {"in", "a.enc", "b.enc", "a.out"});
  }
}

// ---- single-byte changes ------------------------------------------------------------

TEST_F(SealCommandTest, EveryByteChangeOfASmallContainerFailsWith13) {
  writeFile(path("in"), {'h', 'e', 'l', 'l', 'o'});
  ASSERT_EQ(zorel({"seal", path("in").string(), path("good.enc").string(), "--value", "7"}).exitCode, 0);
  const Bytes good = readFile(path("good.enc"));
  ASSERT_EQ(good.size(), 37u);
  for (size_t at = 0; at < good.size(); ++at) {
    SCOPED_TRACE(at);
    Bytes bad = good;
    bad[at] ^= 0x01;
    writeFile(path("bad.enc"), bad);
    expectFailure(zorel({"unseal", path("bad.enc").string(), path("out").string()}), 13,
                  {"in", "good.enc", "bad.enc"});
  }
}

TEST_F(SealCommandTest, SampledByteChangesOfALargeContainerFailWith13) {
  writeFile(path("in"), randomBytes(1 << 20, 5));
  ASSERT_EQ(zorel({"seal", path("in").string(), path("good.enc").string()}).exitCode, 0);
  const Bytes good = readFile(path("good.enc"));
  for (size_t at : {size_t{0}, size_t{8}, size_t{13}, size_t{20}, size_t{32}, size_t{33}, good.size() / 3,
                    good.size() / 2, good.size() - 2, good.size() - 1}) {
    SCOPED_TRACE(at);
    Bytes bad = good;
    bad[at] ^= 0x80;
    writeFile(path("bad.enc"), bad);
    expectFailure(zorel({"unseal", path("bad.enc").string(), path("out").string()}), 13,
                  {"in", "good.enc", "bad.enc"});
  }
}

// ---- bad containers and files ----------------------------------------------------------

TEST_F(SealCommandTest, HeaderOnlyContainerWithCorrectDigestFailsWith6001) {
  writeFile(path("empty.enc"), test::emptyContainer(1));
  expectFailure(zorel({"unseal", path("empty.enc").string(), path("out").string()}), 6001, {"empty.enc"});
}

TEST_F(SealCommandTest, TruncatedOversizedGarbageAndEmptyContainersFailWith13) {
  writeFile(path("in"), textBytes(1000));
  ASSERT_EQ(zorel({"seal", path("in").string(), path("good.enc").string()}).exitCode, 0);
  const Bytes good = readFile(path("good.enc"));
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"truncated", Bytes(good.begin(), good.end() - 1)},
      {"header only", Bytes(good.begin(), good.begin() + 32)},
      {"short", Bytes(good.begin(), good.begin() + 31)},
      {"oversized", good + Bytes{0}},
      {"garbage", randomBytes(4096, 9)},
      {"empty", Bytes{}},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    writeFile(path("bad.enc"), bytes);
    expectFailure(zorel({"unseal", path("bad.enc").string(), path("out").string()}), 13,
                  {"in", "good.enc", "bad.enc"});
  }
}

TEST_F(SealCommandTest, SealingAnEmptyFileFailsWith6000) {
  writeFile(path("empty"), {});
  expectFailure(zorel({"seal", path("empty").string(), path("out.enc").string()}), 6000, {"empty"});
}

TEST_F(SealCommandTest, MissingDirectoryOrUnreadableInputIsAOneLineError) {
  fs::create_directories(path("folder"));
  writeFile(path("secret"), {'s'});
  fs::permissions(path("secret"), fs::perms::none);
  for (const char* verb : {"seal", "unseal"}) {
    SCOPED_TRACE(verb);
    CommandRun r = zorel({verb, path("missing").string(), path("out").string()});
    expectFailure(r, 0, {"folder", "secret"});
    EXPECT_NE(r.err.find("missing"), std::string::npos) << r.err;
    expectFailure(zorel({verb, path("folder").string(), path("out").string()}), 0, {"folder", "secret"});
    if (::geteuid() != 0) {  // root reads the file anyway
      r = zorel({verb, path("secret").string(), path("out").string()});
      expectFailure(r, 0, {"folder", "secret"});
      EXPECT_NE(r.err.find("ermission"), std::string::npos) << r.err;
    }
  }
}

TEST_F(SealCommandTest, FailedUnsealKeepsAnExistingOutputAsItWas) {
  writeFile(path("out"), {'o', 'l', 'd'});
  writeFile(path("bad.enc"), randomBytes(100, 1));
  expectFailure(zorel({"unseal", path("bad.enc").string(), path("out").string()}), 13, {"out", "bad.enc"});
  EXPECT_EQ(readFile(path("out")), (Bytes{'o', 'l', 'd'}));
}

TEST_F(SealCommandTest, UnwritableOutputIsAOneLineErrorWithNothingLeft) {
  writeFile(path("in"), {'x'});
  fs::create_directories(path("outdir"));
  // The output names a missing folder, then an existing directory.
  expectFailure(zorel({"seal", path("in").string(), path("nowhere/out.enc").string()}), 0, {"in", "outdir"});
  expectFailure(zorel({"seal", path("in").string(), path("outdir").string()}), 0, {"in", "outdir"});
  EXPECT_TRUE(fs::is_empty(path("outdir")));
}

TEST_F(SealCommandTest, SealingOverTheInputItselfWorks) {
  writeFile(path("f"), textBytes(5000));
  ASSERT_EQ(zorel({"seal", path("f").string(), path("f").string()}).exitCode, 0);
  ASSERT_EQ(zorel({"unseal", path("f").string(), path("f").string()}).exitCode, 0);
  EXPECT_EQ(readFile(path("f")), textBytes(5000));
  EXPECT_EQ(strayFiles({"f"}), std::vector<std::string>{});
}

TEST_F(SealCommandTest, WrongArgumentsAreUsageErrors) {
  expectFailure(zorel({"seal", path("in").string()}), 0, {});
  expectFailure(zorel({"seal", "a", "b", "c"}), 0, {});
  expectFailure(zorel({"seal", "a", "b", "--key", "k"}), 0, {});
  expectFailure(zorel({"unseal", "a"}), 0, {});
}

}  // namespace
}  // namespace zorel
