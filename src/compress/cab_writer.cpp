#include "cab_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "zorel/platform/fs/host_file.h"

namespace zorel::cab {

namespace {

constexpr size_t kBatchBlocks = 32;  // blocks deflated per batch (1 MiB)
constexpr int kErrorDiskFull = 112;

// Room a split part needs: its header and at least one byte.
constexpr uint64_t kSplitRoom = kDataHeaderBytes + 1;

uint64_t entryBytes(const std::string& name) {
  return kFolderBytes + kFileBytes + name.size() + 1;
}

}  // namespace

Writer::Writer(WriterOptions options)
    : options_(std::move(options)),
      encoder_(options_.mszip),
      spool_(options_.memoryBytes, options_.tempFile) {
  startCabinet(1, options_.firstName, "");
}

Writer::~Writer() = default;

bool Writer::failSpool(const std::string& what) {
  if (spool_.noTempFile()) {
    broken_ = true;
    return fail(ErrorKind::TempFile, "no temporary file for the data blocks");
  }
  return failIo(what);
}

bool Writer::fail(ErrorKind kind, std::string message, int type) {
  error_ = {kind, type, std::move(message)};
  return false;
}

bool Writer::failWrite(const std::string& what, platform::WinError code) {
  broken_ = true;
  return fail(ErrorKind::Write, what + " (error " + std::to_string(code) + ")",
              code == platform::ERROR_DISK_FULL ? kErrorDiskFull : 0);
}

bool Writer::failIo(const std::string& what) {
  int code = errno;
  broken_ = true;
  return fail(ErrorKind::Write, what + ": " + std::strerror(code),
              code == ENOSPC ? kErrorDiskFull : 0);
}

void Writer::startCabinet(int number, std::string name,
                          std::string prevName) {
  cab_ = Cabinet{};
  cab_.number = number;
  cab_.name = std::move(name);
  cab_.prevName = std::move(prevName);
  cab_.nextName = options_.nextName(cab_.name, number + 1);
}

uint64_t Writer::headerBytes(bool withNext) const {
  uint64_t bytes = kHeaderBytes;
  if (cab_.number > 1) bytes += cab_.prevName.size() + 2;  // name, empty disk
  if (withNext) bytes += cab_.nextName.size() + 2;
  bytes += uint64_t(kFolderBytes) * cab_.folders.size();
  for (const auto& file : cab_.files) bytes += kFileBytes + file.name.size() + 1;
  return bytes;
}

bool Writer::addFile(std::FILE* source, uint64_t size, const FileInfo& info) {
  auto read = [source](uint8_t* out, size_t length) {
    return std::fread(out, 1, length, source) == length;
  };
  return add(read, size, info);
}

bool Writer::addBytes(std::string_view data, const FileInfo& info) {
  size_t offset = 0;
  auto read = [&](uint8_t* out, size_t length) {
    std::memcpy(out, data.data() + offset, length);
    offset += length;
    return true;
  };
  return add(read, data.size(), info);
}

bool Writer::beginFile(const FileInfo& info, uint64_t size) {
  if (info.name.empty() || info.name.find('\0') != std::string::npos) {
    return fail(ErrorKind::BadName, "stored name is empty or holds a NUL");
  }
  if (info.name.size() > kMaxNameBytes) {
    return fail(ErrorKind::BadName,
                "stored name is longer than 255 bytes: " + info.name);
  }
  if (size > kMaxFolderBytes) {
    return fail(ErrorKind::TooLarge, "file is larger than 2147450880 bytes: " +
                                         info.name);
  }
  bool full = cab_.folders.size() >= kMaxRecordsPerCabinet ||
              cab_.files.size() >= kMaxRecordsPerCabinet ||
              used() + entryBytes(info.name) + (size ? kSplitRoom : 0) >
                  options_.maxCabinetSize;
  if (full && !cab_.files.empty()) {
    // The previous file ended in this cabinet: the next one starts afresh.
    std::string prev = cab_.name;
    if (!flushCabinet(true, cab_.dataBytes)) return false;
    startCabinet(cab_.number + 1, cab_.nextName, prev);
  }
  if (used() + entryBytes(info.name) + (size ? kSplitRoom : 0) >
      options_.maxCabinetSize) {
    return fail(ErrorKind::CabinetSize,
                "maximum cabinet size too small for " + info.name);
  }
  cab_.folders.push_back({cab_.dataBytes, 0});
  cab_.files.push_back({info.name, uint32_t(size),
                        uint16_t(cab_.folders.size() - 1), info.date, info.time,
                        info.attributes});
  return true;
}

bool Writer::add(const Reader& read, uint64_t size, const FileInfo& info) {
  if (broken_ || finished_) {
    return fail(ErrorKind::Write, "the cabinet can no longer be written");
  }
  if (!beginFile(info, size)) return false;
  // Kept between files: most files need no new buffer at all.
  std::vector<uint8_t>& buffer = buffer_;
  std::vector<uint8_t>& history = history_;
  if (buffer.size() < std::min<uint64_t>(size, kBatchBlocks * kBlockBytes)) {
    buffer.resize(std::min<uint64_t>(size, kBatchBlocks * kBlockBytes));
  }
  history.clear();
  uint64_t done = 0;
  while (done < size) {
    size_t length = size_t(std::min<uint64_t>(buffer.size(), size - done));
    if (!read(buffer.data(), length)) {
      broken_ = true;
      return fail(ErrorKind::ReadSource, "could not read all of " + info.name);
    }
    if (!encoder_.encode(buffer.data(), length, history.data(), history.size(),
                         blocks_)) {
      broken_ = true;
      return fail(ErrorKind::Compress, "deflate failed for " + info.name);
    }
    for (size_t i = 0; i < blocks_.size(); ++i) {
      size_t blockLength = std::min<size_t>(kBlockBytes, length - i * kBlockBytes);
      bool last = done + i * kBlockBytes + blockLength == size;
      if (!placeBlock(blocks_[i], uint32_t(blockLength), last)) return false;
    }
    // The last full block of the batch is the next batch's history.
    size_t tail = length % kBlockBytes ? length % kBlockBytes : kBlockBytes;
    history.assign(buffer.data() + length - tail, buffer.data() + length);
    done += length;
  }
  return true;
}

bool Writer::writeRecord(const uint8_t* data, size_t length,
                         uint16_t uncompressed) {
  std::string header;
  putU32(header, blockChecksum(data, length, uint16_t(length), uncompressed));
  putU16(header, uint16_t(length));
  putU16(header, uncompressed);
  if (!spool_.append(reinterpret_cast<const uint8_t*>(header.data()), header.size()) ||
      !spool_.append(data, length)) {
    return failSpool("could not write the temporary file");
  }
  cab_.dataBytes += kDataHeaderBytes + length;
  cab_.folders.back().blocks++;
  return true;
}

bool Writer::placeBlock(const std::string& block, uint32_t uncompressed,
                        bool last) {
  const auto* data = reinterpret_cast<const uint8_t*>(block.data());
  size_t length = block.size();
  for (;;) {
    if (used() > options_.maxCabinetSize) {
      return fail(ErrorKind::CabinetSize, "maximum cabinet size too small");
    }
    uint64_t remaining = options_.maxCabinetSize - used();
    // Unless this is the folder's last block, leave room for the next one
    // to be split: readers expect a split block at every boundary.
    uint64_t after = last ? 0 : kSplitRoom;
    if (kDataHeaderBytes + length + after <= remaining) {
      return writeRecord(data, length, uint16_t(uncompressed));
    }
    if (cab_.folders.size() > 1 && cab_.files.back().folder < kContinuedFromPrev) {
      // Not the cabinet's first file: move what it has so far to a new
      // cabinet rather than split it.
      FolderRecord folder = cab_.folders.back();
      FileRecord file = cab_.files.back();
      uint64_t moved = cab_.dataBytes - folder.dataOffset;
      cab_.folders.pop_back();
      cab_.files.pop_back();
      cab_.dataBytes = folder.dataOffset;
      std::string prev = cab_.name;
      if (!flushCabinet(true, folder.dataOffset)) return false;
      startCabinet(cab_.number + 1, cab_.nextName, prev);
      file.folder = 0;
      cab_.folders.push_back({0, folder.blocks});
      cab_.files.push_back(file);
      cab_.dataBytes = moved;
      continue;
    }
    if (remaining < kSplitRoom || length < 2) {
      return fail(ErrorKind::CabinetSize, "maximum cabinet size too small");
    }
    size_t part = size_t(std::min<uint64_t>(remaining - kDataHeaderBytes, length - 1));
    if (!writeRecord(data, part, 0)) return false;
    data += part;
    length -= part;

    FileRecord file = cab_.files.back();
    cab_.files.back().folder = file.folder == kContinuedFromPrev
                                   ? kContinuedPrevAndNext
                                   : kContinuedToNext;
    std::string prev = cab_.name;
    if (!flushCabinet(true, cab_.dataBytes)) return false;
    startCabinet(cab_.number + 1, cab_.nextName, prev);
    file.folder = kContinuedFromPrev;
    cab_.folders.push_back({0, 0});
    cab_.files.push_back(file);
    if (used() + kSplitRoom > options_.maxCabinetSize) {
      return fail(ErrorKind::CabinetSize, "maximum cabinet size too small");
    }
  }
}

bool Writer::flushCabinet(bool hasNext, uint64_t keep) {
  std::string head;
  uint64_t headBytes = headerBytes(hasNext);
  uint64_t total = headBytes + keep;
  uint32_t filesOffset = uint32_t(headBytes);
  for (const auto& file : cab_.files) filesOffset -= uint32_t(kFileBytes + file.name.size() + 1);
  uint16_t flags = 0;
  if (cab_.number > 1) flags |= kFlagPrevCabinet;
  if (hasNext) flags |= kFlagNextCabinet;

  head.append("MSCF", 4);
  putU32(head, 0);
  putU32(head, uint32_t(total));
  putU32(head, 0);
  putU32(head, filesOffset);
  putU32(head, 0);
  head.push_back(3);  // format version 1.3
  head.push_back(1);
  putU16(head, uint16_t(cab_.folders.size()));
  putU16(head, uint16_t(cab_.files.size()));
  putU16(head, flags);
  putU16(head, options_.setId);
  putU16(head, uint16_t(cab_.number - 1));
  if (cab_.number > 1) {
    head.append(cab_.prevName).push_back('\0');
    head.push_back('\0');  // disk name
  }
  if (hasNext) {
    head.append(cab_.nextName).push_back('\0');
    head.push_back('\0');
  }
  for (const auto& folder : cab_.folders) {
    putU32(head, uint32_t(headBytes + folder.dataOffset));
    putU16(head, uint16_t(folder.blocks));
    putU16(head, kCompressMszip);
  }
  for (const auto& file : cab_.files) {
    putU32(head, file.size);
    putU32(head, 0);  // one file per folder: always at the folder's start
    putU16(head, file.folder);
    putU16(head, file.date);
    putU16(head, file.time);
    putU16(head, file.attributes);
    head.append(file.name).push_back('\0');
  }

  // Written under a temporary name and renamed when whole: a cabinet that
  // could not be written completely never appears under its name.
  std::filesystem::path path = options_.folder / cab_.name;
  platform::ReplacingFile out(path.string());
  platform::WinError code = out.open();
  if (code != platform::ERROR_SUCCESS) return failWrite("could not create " + path.string(), code);
  code = out.write(head.data(), head.size());
  const bool moved = code == platform::ERROR_SUCCESS &&
                     spool_.moveFront([&out, &code](const void* data, size_t size) {
                       code = out.write(data, size);
                       return code == platform::ERROR_SUCCESS;
                     }, keep);
  if (code != platform::ERROR_SUCCESS) return failWrite("could not write " + path.string(), code);
  if (!moved) return failSpool("could not write " + path.string());
  code = out.commit();
  if (code != platform::ERROR_SUCCESS) return failWrite("could not write " + path.string(), code);
  written_.push_back(path);
  return true;
}

bool Writer::finish() {
  if (broken_ || finished_) {
    return fail(ErrorKind::Write, "the cabinet can no longer be written");
  }
  finished_ = true;
  return flushCabinet(false, cab_.dataBytes);
}

}  // namespace zorel::cab
