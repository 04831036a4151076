#pragma once
// The low-level cabinet writer: one folder per file, MSZIP blocks, a set id,
// and continuation cabinets once a cabinet reaches its maximum size.
//
// It stores whatever name it is given (only the length and NUL rules of the
// format are enforced); choosing names is the caller's business. Data blocks
// of the cabinet being built wait in a DataSpool: in memory up to
// WriterOptions::memoryBytes, beyond that in temporary files handed out by
// the caller, who also deletes them.
//
// A file that does not fit in what is left of a cabinet moves whole to the
// next cabinet, so a file smaller than a cabinet is never split (readers that
// know nothing of continued folders can still read every such cabinet). A
// file larger than a cabinet ends its cabinet with a split data block (the
// first part says 0 uncompressed bytes, the rest opens the next cabinet) and
// is listed in both cabinets with the same offset, marked as continued; a
// cabinet it crosses completely lists it as continued both ways. This is the
// layout Windows writes for a continued folder and the only one readers
// follow.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cab_format.h"
#include "data_spool.h"
#include "mszip_encoder.h"

namespace zorel::cab {

struct FileInfo {
  std::string name;         // stored name, '\' separated
  uint16_t date = 0x21;     // DOS date (1980-01-01)
  uint16_t time = 0;        // DOS time
  uint16_t attributes = 0;  // stored as given
};

struct WriterOptions {
  std::filesystem::path folder;  // where the cabinets are written
  std::string firstName;         // file name of the first cabinet
  uint16_t setId = 555;
  uint64_t maxCabinetSize = 0x40000000;
  MszipOptions mszip;
  // Compressed data held in memory before it waits in temporary files.
  uint64_t memoryBytes = 64ull << 20;
  // Hands out a temporary file for data blocks; empty path on failure.
  std::function<std::filesystem::path()> tempFile;
  // Name of cabinet `number` from the previous one's name.
  std::function<std::string(const std::string&, int)> nextName = nextCabinetName;
};

enum class ErrorKind {
  None,
  BadName,      // empty, NUL inside, or longer than 255 bytes
  TooLarge,     // larger than a folder may be
  ReadSource,   // the source ended early or could not be read
  TempFile,     // no temporary file could be had
  Write,        // a cabinet or the temporary file could not be written
  Compress,     // zlib failed
  CabinetSize,  // the maximum cabinet size cannot hold one file record
};

struct Error {
  ErrorKind kind = ErrorKind::None;
  int type = 0;  // Windows error type; 112 when the disk is full
  std::string message;
};

class Writer {
 public:
  explicit Writer(WriterOptions options);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Adds `size` bytes read from `source` as a file in a folder of its own.
  // False with error() set; a bad name or size leaves the cabinet unchanged,
  // a failure while reading or writing leaves the writer unusable.
  bool addFile(std::FILE* source, uint64_t size, const FileInfo& info);
  bool addBytes(std::string_view data, const FileInfo& info);

  // Writes the last cabinet. False with error() set.
  bool finish();

  const Error& error() const { return error_; }
  // Every cabinet file written whole so far, in set order. A cabinet appears
  // under its name only once it is complete.
  const std::vector<std::filesystem::path>& cabinets() const { return written_; }

 private:
  struct FolderRecord {
    uint64_t dataOffset = 0;  // in this cabinet's data area
    uint32_t blocks = 0;
  };
  struct FileRecord {
    std::string name;
    uint32_t size = 0;
    uint16_t folder = 0;
    uint16_t date = 0, time = 0, attributes = 0;
  };
  struct Cabinet {
    int number = 1;
    std::string name, prevName, nextName;
    std::vector<FolderRecord> folders;
    std::vector<FileRecord> files;
    uint64_t dataBytes = 0;
  };
  using Reader = std::function<bool(uint8_t*, size_t)>;

  bool add(const Reader& read, uint64_t size, const FileInfo& info);
  bool beginFile(const FileInfo& info, uint64_t size);
  bool placeBlock(const std::string& block, uint32_t uncompressed, bool last);
  bool writeRecord(const uint8_t* data, size_t length, uint16_t uncompressed);
  // Writes the cabinet with the data blocks before `keep`; the blocks from
  // `keep` on stay in the spool for the next cabinet.
  bool flushCabinet(bool hasNext, uint64_t keep);
  // The error of a spool operation that failed while doing `what`.
  bool failSpool(const std::string& what);
  void startCabinet(int number, std::string name,
                    std::string prevName);
  uint64_t headerBytes(bool withNext) const;
  uint64_t used() const { return headerBytes(true) + cab_.dataBytes; }
  bool fail(ErrorKind kind, std::string message, int type = 0);
  bool failIo(const std::string& what);
  // A cabinet file that could not be created or written: `code` is the
  // Win32 code of the failure.
  bool failWrite(const std::string& what, int32_t code);

  WriterOptions options_;
  MszipEncoder encoder_;
  Cabinet cab_;
  DataSpool spool_;
  std::vector<std::filesystem::path> written_;
  std::vector<std::string> blocks_;  // reused between batches
  std::vector<uint8_t> buffer_;      // a batch of source bytes, reused
  std::vector<uint8_t> history_;     // the block before the batch
  Error error_;
  bool broken_ = false;
  bool finished_ = false;
};

}  // namespace zorel::cab
