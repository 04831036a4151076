#pragma once
// The data blocks of the cabinet being written, held until its header can
// be written in front of them: in memory up to a limit, beyond it in a
// temporary file handed out by the caller (who also deletes it). Moving the
// front of the spool into a cabinet drops it; what is left (the blocks of
// the next cabinet of a set) stays. Held in memory, the blocks are written
// once, straight into the cabinet, instead of into the temporary file,
// back out of it and into the cabinet.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

namespace zorel::cab {

class DataSpool {
 public:
  DataSpool(uint64_t memoryLimit, std::function<std::filesystem::path()> tempFile);
  ~DataSpool();
  DataSpool(const DataSpool&) = delete;
  DataSpool& operator=(const DataSpool&) = delete;

  // Appends `length` bytes. False when they could not be kept: errno says
  // why, or noTempFile() when no temporary file could be had.
  bool append(const uint8_t* data, size_t length);
  // Hands the first `count` bytes (at most size()) to `out` and drops
  // them. False when `out` refused them (its own error says why) or as for
  // append; the spool is then unusable.
  using Sink = std::function<bool(const void* data, size_t size)>;
  bool moveFront(const Sink& out, uint64_t count);

  uint64_t size() const { return size_; }
  bool noTempFile() const { return noTempFile_; }

 private:
  bool toFile();
  bool open(std::FILE*& file, std::filesystem::path& path);

  uint64_t memoryLimit_;
  std::function<std::filesystem::path()> tempFile_;
  std::vector<uint8_t> memory_;  // the spool while it fits the limit
  std::FILE* file_ = nullptr;    // the spool once it did not
  std::filesystem::path filePath_;
  std::FILE* spare_ = nullptr;   // second temporary file, for moves
  std::filesystem::path sparePath_;
  uint64_t size_ = 0;
  bool noTempFile_ = false;
};

}  // namespace zorel::cab
