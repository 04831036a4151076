// zorel seal / zorel unseal: the sealed container for script authors.
//
// Both work in slices on two threads: this one runs the cipher, which is the
// slow part; a helper reads the input ahead of it and digests and writes
// behind it. Sealing passes the payload through a small ring of slices,
// enciphering in place and digesting what the cipher left; unsealing keeps
// the whole payload in one buffer, digests each slice before it is
// deciphered in place, and writes nothing until the whole digest holds.
// The result goes to a temporary file beside OUT that is renamed over OUT
// only once it is complete, so a failure never leaves a partial or stale
// output.

#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "zorel/report/sealed_container.h"
#include "zorel/report/sealed_stream.h"

namespace zorel::cli {
namespace {

namespace fs = std::filesystem;

// The pipeline's unit of work: small enough for the helper to follow the
// cipher closely, large enough that handing one over costs nothing.
constexpr size_t kSlice = 256 * 1024;

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

std::string reason(int err, const char* otherwise) {
  return err ? std::strerror(err) : otherwise;
}

// The command's input. A regular file is read slice by slice as the
// pipeline asks; anything else (a pipe, a device) is read whole first.
class Input {
 public:
  ~Input() {
    if (file_) std::fclose(file_);
  }

  // Opens `path`; `limit` is the largest size accepted. A larger input is
  // refused (tooLarge set, no message).
  // RETURNS false after printing a one-line reason, unless tooLarge is set.
  bool open(const char* command, const std::string& path, uint64_t limit, bool& tooLarge) {
    tooLarge = false;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (ec || !fs::exists(st)) {
      fail(command, "cannot read '" + path + "': " +
                        (ec ? ec.message() : std::string("No such file or directory")));
      return false;
    }
    if (fs::is_directory(st)) {
      fail(command, "cannot read '" + path + "': it is a directory");
      return false;
    }
    errno = 0;
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
      fail(command, "cannot read '" + path + "': " + reason(errno, "cannot open the file"));
      return false;
    }
    if (fs::is_regular_file(st)) {
      size_ = fs::file_size(path, ec);
      if (ec) {
        fail(command, "cannot read '" + path + "': " + ec.message());
        return false;
      }
      if (size_ > limit) tooLarge = true;
      return !tooLarge;
    }
    // No size to go by: read it all now, up to the limit.
    char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file_)) > 0) {
      if (whole_.size() + got > limit) {
        tooLarge = true;
        return false;
      }
      whole_.insert(whole_.end(), chunk, chunk + got);
    }
    if (std::ferror(file_)) {
      fail(command, "cannot read '" + path + "': read error");
      return false;
    }
    std::fclose(file_);
    file_ = nullptr;
    size_ = whole_.size();
    return true;
  }

  uint64_t size() const { return size_; }

  // Reads the next `length` bytes into `to`. RETURNS false when the file
  // ended early or could not be read (it changed while it was read).
  bool read(uint8_t* to, size_t length) {
    if (!file_) {
      std::memcpy(to, whole_.data() + offset_, length);
      offset_ += length;
      return true;
    }
    return std::fread(to, 1, length, file_) == length;
  }

 private:
  FILE* file_ = nullptr;
  uint64_t size_ = 0;
  std::vector<uint8_t> whole_;  // the input when it is not a regular file
  size_t offset_ = 0;           // how much of whole_ was handed out
};

// A fresh temporary file beside OUT that becomes OUT on commit() and is
// removed otherwise.
class Output {
 public:
  explicit Output(std::string outPath) : outPath_(std::move(outPath)) {}
  ~Output() {
    if (file_) std::fclose(file_);
    if (!tmp_.empty()) {
      std::error_code ec;
      fs::remove(tmp_, ec);
    }
  }

  // RETURNS false after printing a one-line reason.
  bool create(const char* command) {
    const fs::path out(outPath_);
    const fs::path folder = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    std::random_device rd;
    for (int attempt = 0; attempt < 16 && file_ == nullptr; ++attempt) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, ".tmp-%08x", static_cast<unsigned>(rd()));
      const fs::path tmp = folder / ("." + out.filename().string() + suffix);
      errno = 0;
      file_ = std::fopen(tmp.c_str(), "wbx");  // "x": never reuse an existing file
      if (file_) tmp_ = tmp;
      else if (errno != EEXIST) break;
    }
    if (file_ == nullptr) {
      fail(command, "cannot write '" + outPath_ + "': " +
                        reason(errno, "cannot create a temporary file"));
      return false;
    }
    return true;
  }

  // Writes `length` bytes at `offset` (from the start of the file).
  bool write(uint64_t offset, const uint8_t* data, size_t length) {
    if (offset != position_) {
      if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return note(errno);
      position_ = offset;
    }
    if (length > 0 && std::fwrite(data, 1, length, file_) != length) return note(errno);
    position_ += length;
    return true;
  }

  // Closes the file and renames it over OUT.
  // RETURNS false after printing a one-line reason (the file is removed).
  bool commit(const char* command) {
    bool ok = error_ == 0;
    if (ok && std::fclose(file_) != 0) ok = note(errno);
    else if (!ok) std::fclose(file_);
    file_ = nullptr;
    if (!ok) {
      fail(command, "cannot write '" + outPath_ + "': " + reason(error_, "write error"));
      return false;
    }
    std::error_code ec;
    fs::rename(tmp_, outPath_, ec);
    if (ec) {
      fail(command, "cannot write '" + outPath_ + "': " + ec.message());
      return false;
    }
    tmp_.clear();
    return true;
  }

 private:
  bool note(int err) {
    if (error_ == 0) error_ = err ? err : EIO;
    return false;
  }

  std::string outPath_;
  fs::path tmp_;  // empty once renamed
  FILE* file_ = nullptr;
  uint64_t position_ = 0;
  int error_ = 0;  // the first write error
};

// Two counts of bytes handed from one thread to the other, and a stop flag
// either side may raise; waiting on a count ends early once it is raised.
class Handover {
 public:
  enum Count { kFirst, kSecond };

  void publish(Count count, uint64_t bytes) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      counts_[count] = bytes;
    }
    changed_.notify_all();
  }
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
    }
    changed_.notify_all();
  }
  // RETURNS true once `count` reached `bytes`, false when stopped first.
  bool await(Count count, uint64_t bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || counts_[count] >= bytes; });
    return !stopped_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t counts_[2] = {0, 0};
  bool stopped_ = false;
};

// Runs `helper` on a thread of its own while this thread runs `cipher`.
// RETURNS false, having run neither, when no thread can be had.
bool runBeside(const std::function<void()>& helper, const std::function<void()>& cipher) {
  std::thread thread;
  try {
    thread = std::thread(helper);
  } catch (...) {
    return false;
  }
  cipher();
  thread.join();
  return true;
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

size_t sliceAt(uint64_t offset, uint64_t size) {
  return static_cast<size_t>(size - offset < kSlice ? size - offset : kSlice);
}

// Seals the whole input into OUT. RETURNS the exit code.
int sealFile(const char* cmd, Input& input, const std::string& outPath, uint32_t value) {
  const uint64_t size = input.size();
  SealStream stream(nullptr, 0, size, value);
  if (stream.Status() != kSealOk) {
    failCode(cmd, stream.Status());
    return 1;
  }
  Output out(outPath);
  if (!out.create(cmd)) return 1;

  // The payload passes through a ring of slices: read into a free slot,
  // enciphered in place, then digested and written after the header's
  // place (the header is written once the digest is complete).
  constexpr size_t kRingSlices = 8;
  const std::unique_ptr<uint8_t[]> ring = std::make_unique_for_overwrite<uint8_t[]>(kRingSlices * kSlice);
  auto slot = [&](uint64_t at) { return ring.get() + (at / kSlice) % kRingSlices * kSlice; };
  bool readFailed = false;
  // kFirst: bytes read; kSecond: bytes enciphered.
  Handover handover;
  const bool parallel = runBeside(
      [&] {
        uint64_t readTo = 0;
        for (uint64_t at = 0; at < size; at += kSlice) {
          for (; readTo < size && readTo < at + kRingSlices * kSlice; readTo += kSlice) {
            if (!input.read(slot(readTo), sliceAt(readTo, size))) {
              readFailed = true;
              handover.stop();
              return;
            }
            handover.publish(Handover::kFirst, readTo + sliceAt(readTo, size));
          }
          const size_t n = sliceAt(at, size);
          if (!handover.await(Handover::kSecond, at + n)) return;
          stream.Digest(slot(at), n);
          out.write(kSealHeaderSize + at, slot(at), n);
        }
      },
      [&] {
        for (uint64_t at = 0; at < size; at += kSlice) {
          const size_t n = sliceAt(at, size);
          if (!handover.await(Handover::kFirst, at + n)) return;
          stream.Encipher(slot(at), slot(at), n);
          handover.publish(Handover::kSecond, at + n);
        }
      });
  for (uint64_t at = 0; !parallel && at < size && !readFailed; at += kSlice) {
    const size_t n = sliceAt(at, size);
    readFailed = !input.read(slot(at), n);
    if (readFailed) break;
    stream.Encipher(slot(at), slot(at), n);
    stream.Digest(slot(at), n);
    out.write(kSealHeaderSize + at, slot(at), n);
  }
  if (readFailed) {
    fail(cmd, "the input changed while it was read");
    return 1;
  }
  uint8_t header[kSealHeaderSize];
  const int32_t rc = stream.Finish(header);
  if (rc != kSealOk) {
    failCode(cmd, rc);
    return 1;
  }
  out.write(0, header, sizeof header);
  if (!out.commit(cmd)) return 1;
  std::printf("sealed %llu bytes into %s (value %u)\n", static_cast<unsigned long long>(size),
              outPath.c_str(), value);
  return 0;
}

// Verifies the container and writes its payload to OUT. RETURNS the exit code.
int unsealFile(const char* cmd, Input& input, const std::string& outPath) {
  UnsealStream stream(nullptr, 0);
  uint8_t header[kSealHeaderSize];
  uint32_t value = 0;
  uint64_t size = 0;
  if (input.size() < kSealHeaderSize || !input.read(header, sizeof header) ||
      stream.Begin(header, input.size(), &value, &size) != kSealOk) {
    failCode(cmd, kSealInvalidData);
    return 1;
  }
  std::unique_ptr<uint8_t[]> buffer = std::make_unique_for_overwrite<uint8_t[]>(size);
  Output out(outPath);
  if (!out.create(cmd)) return 1;

  // kFirst: bytes read and digested; kSecond: bytes deciphered in place.
  Handover handover;
  bool readFailed = false;
  int32_t verdict = kSealInvalidData;
  // Reads and digests every slice, then writes the deciphered ones once the
  // digest holds.
  auto readAndDigest = [&] {
    for (uint64_t at = 0; at < size; at += kSlice) {
      const size_t n = sliceAt(at, size);
      if (!input.read(buffer.get() + at, n)) {
        readFailed = true;
        handover.stop();
        return;
      }
      stream.Digest(buffer.get() + at, n);
      handover.publish(Handover::kFirst, at + n);
    }
    verdict = stream.Verify();
    if (verdict != kSealOk) handover.stop();
  };
  auto decipher = [&] {
    for (uint64_t at = 0; at < size; at += kSlice) {
      const size_t n = sliceAt(at, size);
      if (!handover.await(Handover::kFirst, at + n)) return;
      stream.Decipher(buffer.get() + at, buffer.get() + at, n);
      handover.publish(Handover::kSecond, at + n);
    }
  };
  auto write = [&] {
    if (verdict != kSealOk) return;
    for (uint64_t at = 0; at < size; at += kSlice) {
      const size_t n = sliceAt(at, size);
      if (!handover.await(Handover::kSecond, at + n)) return;
      out.write(at, buffer.get() + at, n);
    }
  };
  if (!runBeside([&] { readAndDigest(); write(); }, decipher)) {
    readAndDigest();
    decipher();
    write();
  }
  if (readFailed) {
    fail(cmd, "the input changed while it was read");
    return 1;
  }
  if (verdict != kSealOk) {
    failCode(cmd, verdict);
    return 1;
  }
  if (!out.commit(cmd)) return 1;
  std::printf("unsealed %llu bytes into %s (value %u)\n", static_cast<unsigned long long>(size),
              outPath.c_str(), value);
  return 0;
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

  Input input;
  bool tooLarge = false;
  if (!input.open(cmd, positional[0], kSealMaxPayload, tooLarge)) {
    if (tooLarge) fail(cmd, "'" + positional[0] + "' is larger than a container can hold (4294967295 bytes)");
    return 1;
  }
  if (input.size() == 0) {
    // The container's cipher refuses an empty payload (result 6000).
    fail(cmd, "'" + positional[0] + "' is empty: a sealed container holds at least one byte (result 6000)");
    return 1;
  }
  return sealFile(cmd, input, positional[1], value);
}

int runUnseal(const Args& args) {
  const char* cmd = "unseal";
  if (args.size() != 2 || (args[0].size() > 1 && args[0][0] == '-') ||
      (args[1].size() > 1 && args[1][0] == '-')) {
    fail(cmd, "usage: zorel unseal IN OUT");
    return 1;
  }
  Input input;
  bool tooLarge = false;
  if (!input.open(cmd, args[0], uint64_t{kSealMaxPayload} + kSealHeaderSize, tooLarge)) {
    // Larger than any length field can describe: not a container.
    if (tooLarge) failCode(cmd, kSealInvalidData);
    return 1;
  }
  return unsealFile(cmd, input, args[1]);
}

}  // namespace zorel::cli
