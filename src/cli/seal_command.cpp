// zorel seal / zorel unseal: the sealed container for script authors.
//
// Both read the whole input, run it through the container code and write the
// result to a temporary file beside OUT that is renamed over OUT only once
// it is complete, so a failure never leaves a partial or stale output.

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "commands.h"
#include "zorel/report/sealed_container.h"

namespace zorel::cli {
namespace {

namespace fs = std::filesystem;

void fail(const char* command, const std::string& message) {
  std::fprintf(stderr, "zorel %s: %s\n", command, message.c_str());
}

// One line naming a container result code and what it means.
void failCode(const char* command, int32_t code) {
  std::string text = "result " + std::to_string(code);
  const char* name = SealResultName(code);
  if (*name) text += std::string(" ") + name;
  fail(command, text + ": " + SealResultMeaning(code));
}

// Reads all of `path`. `limit` is the largest size accepted; a larger regular
// file is refused before it is read (tooLarge set, no message).
// RETURNS nullopt after printing a one-line reason, unless tooLarge is set.
std::optional<std::vector<uint8_t>> readInput(const char* command, const std::string& path,
                                              uintmax_t limit, bool& tooLarge) {
  tooLarge = false;
  std::error_code ec;
  const fs::file_status st = fs::status(path, ec);
  if (ec || !fs::exists(st)) {
    fail(command, "cannot read '" + path + "': " +
                      (ec ? ec.message() : std::string("No such file or directory")));
    return std::nullopt;
  }
  if (fs::is_directory(st)) {
    fail(command, "cannot read '" + path + "': it is a directory");
    return std::nullopt;
  }
  if (fs::is_regular_file(st)) {
    const uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > limit) {
      tooLarge = true;
      return std::nullopt;
    }
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fail(command, "cannot read '" + path + "': " +
                      (errno ? std::strerror(errno) : "cannot open the file"));
    return std::nullopt;
  }
  std::vector<uint8_t> data;
  char chunk[1 << 16];
  while (in) {
    in.read(chunk, sizeof chunk);
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    if (data.size() + static_cast<size_t>(got) > limit) {
      tooLarge = true;
      return std::nullopt;
    }
    data.insert(data.end(), chunk, chunk + got);
  }
  if (in.bad()) {
    fail(command, "cannot read '" + path + "': read error");
    return std::nullopt;
  }
  return data;
}

// Writes `data` to OUT through a fresh temporary file in OUT's folder.
// RETURNS false after printing a one-line reason; no temporary file remains.
bool writeOutput(const char* command, const std::string& outPath, const uint8_t* data,
                 size_t length) {
  const fs::path out(outPath);
  const fs::path folder = out.parent_path().empty() ? fs::path(".") : out.parent_path();
  std::random_device rd;
  fs::path tmp;
  FILE* file = nullptr;
  for (int attempt = 0; attempt < 16 && file == nullptr; ++attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".tmp-%08x", static_cast<unsigned>(rd()));
    tmp = folder / ("." + out.filename().string() + suffix);
    errno = 0;
    file = std::fopen(tmp.c_str(), "wbx");  // "x": never reuse an existing file
    if (file == nullptr && errno != EEXIST) break;
  }
  if (file == nullptr) {
    fail(command, "cannot write '" + outPath + "': " +
                      (errno ? std::strerror(errno) : "cannot create a temporary file"));
    return false;
  }
  bool ok = length == 0 || std::fwrite(data, 1, length, file) == length;
  int savedErrno = ok ? 0 : errno;
  if (std::fflush(file) != 0 && ok) ok = false, savedErrno = errno;
  if (std::fclose(file) != 0 && ok) ok = false, savedErrno = errno;
  std::error_code ec;
  if (ok) {
    fs::rename(tmp, out, ec);
    if (!ec) return true;
    fail(command, "cannot write '" + outPath + "': " + ec.message());
  } else {
    fail(command, "cannot write '" + outPath + "': " +
                      (savedErrno ? std::strerror(savedErrno) : "write error"));
  }
  fs::remove(tmp, ec);
  return false;
}

// Decimal, or 0x-prefixed hexadecimal; anything from INT32_MIN to UINT32_MAX,
// stored as its 32-bit pattern.
std::optional<uint32_t> parseValue(const std::string& text) {
  const char* first = text.data();
  const char* last = first + text.size();
  bool negative = false;
  if (first != last && *first == '-') negative = true, ++first;
  int base = 10;
  if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) base = 16, first += 2;
  uint64_t magnitude = 0;
  const auto [end, err] = std::from_chars(first, last, magnitude, base);
  if (first == last || err != std::errc() || end != last) return std::nullopt;
  if (negative) {
    if (magnitude > 0x80000000ull) return std::nullopt;
    return static_cast<uint32_t>(0u - static_cast<uint32_t>(magnitude));
  }
  if (magnitude > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return static_cast<uint32_t>(magnitude);
}

}  // namespace

int runSeal(const Args& args) {
  const char* cmd = "seal";
  std::vector<std::string> positional;
  uint32_t value = 1;  // what the program's own report client writes
  for (size_t n = 0; n < args.size(); ++n) {
    const std::string& a = args[n];
    std::string valueText;
    if (a == "--value") {
      if (n + 1 >= args.size()) {
        fail(cmd, "--value needs a number");
        return 1;
      }
      valueText = args[++n];
    } else if (a.rfind("--value=", 0) == 0) {
      valueText = a.substr(8);
    } else if (a.size() > 1 && a[0] == '-') {
      fail(cmd, "unknown option '" + a + "' (usage: zorel seal IN OUT [--value N])");
      return 1;
    } else {
      positional.push_back(a);
      continue;
    }
    const auto parsed = parseValue(valueText);
    if (!parsed) {
      fail(cmd, "--value '" + valueText + "' is not a 32-bit integer");
      return 1;
    }
    value = *parsed;
  }
  if (positional.size() != 2) {
    fail(cmd, "usage: zorel seal IN OUT [--value N]");
    return 1;
  }

  bool tooLarge = false;
  const auto plain = readInput(cmd, positional[0], kSealMaxPayload, tooLarge);
  if (!plain) {
    if (tooLarge) fail(cmd, "'" + positional[0] + "' is larger than a container can hold (4294967295 bytes)");
    return 1;
  }
  if (plain->empty()) {
    // The container's cipher refuses an empty payload (result 6000).
    fail(cmd, "'" + positional[0] + "' is empty: a sealed container holds at least one byte");
    return 1;
  }
  std::vector<uint8_t> sealed(plain->size() + kSealHeaderSize);
  const int32_t rc = Seal(nullptr, 0, plain->data(), plain->size(), value, sealed.data(), sealed.size());
  if (rc != kSealOk) {
    failCode(cmd, rc);
    return 1;
  }
  if (!writeOutput(cmd, positional[1], sealed.data(), sealed.size())) return 1;
  std::printf("sealed %zu bytes into %s (value %u)\n", plain->size(), positional[1].c_str(), value);
  return 0;
}

int runUnseal(const Args& args) {
  const char* cmd = "unseal";
  if (args.size() != 2 || (args[0].size() > 1 && args[0][0] == '-') ||
      (args[1].size() > 1 && args[1][0] == '-')) {
    fail(cmd, "usage: zorel unseal IN OUT");
    return 1;
  }
  bool tooLarge = false;
  const auto container = readInput(cmd, args[0], kSealMaxPayload + kSealHeaderSize, tooLarge);
  if (!container) {
    // Larger than any length field can describe: not a container.
    if (tooLarge) failCode(cmd, kSealInvalidData);
    return 1;
  }
  // One call verifies and deciphers; the buffer is as long as the payload can be.
  // It is never empty, so a container with no payload reaches the cipher's refusal.
  const size_t room = container->size() > kSealHeaderSize ? container->size() - kSealHeaderSize : 0;
  std::vector<uint8_t> plain(room > 0 ? room : 1);
  size_t length = room;
  uint32_t value = 0;
  const int32_t rc = Unseal(nullptr, 0, container->data(), container->size(), &value, plain.data(), &length);
  if (rc != kSealOk) {
    failCode(cmd, rc);
    return 1;
  }
  if (!writeOutput(cmd, args[1], plain.data(), length)) return 1;
  std::printf("unsealed %zu bytes into %s (value %u)\n", length, args[1].c_str(), value);
  return 0;
}

}  // namespace zorel::cli
