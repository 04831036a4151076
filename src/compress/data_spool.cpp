#include "data_spool.h"

#include <algorithm>

namespace zorel::cab {

namespace {

constexpr size_t kCopyBytes = 1 << 20;
constexpr uint64_t kMaxReserve = 256ull << 20;

// Copies `count` bytes from the current position of `in` to `out`.
bool copyBytes(std::FILE* in, const DataSpool::Sink& out, uint64_t count) {
  std::vector<char> buffer(size_t(std::min<uint64_t>(count, kCopyBytes)));
  while (count > 0) {
    const size_t chunk = size_t(std::min<uint64_t>(count, buffer.size()));
    if (std::fread(buffer.data(), 1, chunk, in) != chunk || !out(buffer.data(), chunk)) {
      return false;
    }
    count -= chunk;
  }
  return true;
}

}  // namespace

DataSpool::DataSpool(uint64_t memoryLimit, std::function<std::filesystem::path()> tempFile)
    : memoryLimit_(memoryLimit), tempFile_(std::move(tempFile)) {}

DataSpool::~DataSpool() {
  if (file_) std::fclose(file_);
  if (spare_) std::fclose(spare_);
}

bool DataSpool::open(std::FILE*& file, std::filesystem::path& path) {
  if (path.empty()) path = tempFile_ ? tempFile_() : std::filesystem::path();
  if (path.empty()) {
    noTempFile_ = true;
    return false;
  }
  file = std::fopen(path.c_str(), "wb+");
  if (!file) noTempFile_ = true;
  return file != nullptr;
}

bool DataSpool::toFile() {
  if (!open(file_, filePath_)) return false;
  if (!memory_.empty() && std::fwrite(memory_.data(), 1, memory_.size(), file_) != memory_.size()) {
    return false;
  }
  std::vector<uint8_t>().swap(memory_);
  return true;
}

bool DataSpool::append(const uint8_t* data, size_t length) {
  if (!file_ && size_ + length > memoryLimit_ && !toFile()) return false;
  if (file_) {
    if (std::fwrite(data, 1, length, file_) != length) return false;
  } else {
    // Address space for the whole limit at once: growing by doubling would
    // copy everything held so far each time. Pages are only taken as they
    // are written.
    if (memory_.capacity() == 0) memory_.reserve(size_t(std::min(memoryLimit_, kMaxReserve)));
    memory_.insert(memory_.end(), data, data + length);
  }
  size_ += length;
  return true;
}

bool DataSpool::moveFront(const Sink& out, uint64_t count) {
  count = std::min(count, size_);
  if (!file_) {
    if (count && !out(memory_.data(), size_t(count))) return false;
    memory_.erase(memory_.begin(), memory_.begin() + long(count));
    size_ -= count;
    return true;
  }
  if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0 ||
      !copyBytes(file_, out, count)) {
    return false;
  }
  const uint64_t rest = size_ - count;
  size_ = rest;
  if (rest == 0) {
    // Nothing stays: start afresh in the same file.
    std::fclose(file_);
    file_ = std::fopen(filePath_.c_str(), "wb+");
    return file_ != nullptr;
  }
  // The rest moves to the spare file, which then becomes the spool; the old
  // file, emptied, is the next spare.
  if (!spare_ && !open(spare_, sparePath_)) return false;
  std::FILE* spare = spare_;
  if (!copyBytes(file_,
                 [spare](const void* data, size_t size) {
                   return std::fwrite(data, 1, size, spare) == size;
                 },
                 rest)) {
    return false;
  }
  std::swap(file_, spare_);
  std::swap(filePath_, sparePath_);
  std::fclose(spare_);
  spare_ = std::fopen(sparePath_.c_str(), "wb+");
  return spare_ != nullptr;
}

}  // namespace zorel::cab
