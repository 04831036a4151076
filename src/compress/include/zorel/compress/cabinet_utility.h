#pragma once
// CabinetUtility: builds cabinets from a list of files and folders and
// extracts cabinets, following continuation cabinets both ways.
//
// Writing: one folder per file, MSZIP, set id 555, at most 1 GiB per cabinet
// (continuation cabinets are named "collection2.cab", "collection3.cab" ...).
// Reading: every file of the cabinet and of the cabinets it continues into,
// never outside the output folder. Failures are logged to FrameWork.log and
// reported by a false result; nothing is thrown.
//
// One instance is used by one thread at a time.

#include <cstdint>
#include <map>
#include <string>

#include "zorel/compress/i_compress.h"

namespace zorel {

class CabinetUtility : public ICompress {
 public:
  static constexpr uint64_t kDefaultMaxCabinetSize = 0x40000000;  // 1 GiB
  static constexpr uint16_t kSetId = 555;

  CabinetUtility() = default;

  void SetTarget(const std::wstring& path) override;
  bool AddFile(const std::wstring& source, const std::wstring& destination) override;
  bool AddFolder(const std::wstring& source, const std::wstring& destination) override;
  bool Compress() override;

  // Extracts every file of `cabinet` (a path ending in ".cab") and of the
  // cabinets it continues into below `outputFolder`, overwriting files of
  // the same names. A stored name that is absolute, has a drive letter or
  // climbs with ".." is skipped and logged, as is one that would be written
  // through a symbolic link or onto anything but a regular file; the result
  // is then false. The cabinet's folders are decoded on several threads.
  //   [O] reason  (may be null) the first failure's log line, for a caller
  //               that tells a person why.
  bool Decompress(const std::wstring& cabinet, const std::wstring& outputFolder,
                  std::wstring* reason = nullptr);

  // The cabinet Compress writes; empty until SetTarget accepted a path.
  const std::wstring& CabinetPath() const { return cabinetPath_; }
  // Source path to destination inside the cabinet, in Compress order.
  const std::map<std::wstring, std::wstring>& Entries() const { return entries_; }

  // Tuning: the largest cabinet before a continuation cabinet starts, the
  // zlib level (1..9), the longest hash chain deflate follows at levels 4
  // to 9 (0: the level's own) and the number of deflate threads (1 or 2).
  void SetMaxCabinetSize(uint64_t bytes) { maxCabinetSize_ = bytes; }
  void SetCompressionLevel(int level) { level_ = level; }
  void SetMaxChain(int chain) { maxChain_ = chain; }
  // The most compressed data held in memory while a cabinet is written; the
  // rest waits in temporary files.
  void SetMemoryLimit(uint64_t bytes) { memoryLimit_ = bytes; }
  void SetThreads(int threads) { threads_ = threads; }

 private:
  struct Session;
  bool addEntryFolder(Session& session, const std::wstring& source,
                      const std::wstring& destination);
  bool addEntryFile(Session& session, const std::wstring& source,
                    const std::wstring& destination);

  std::wstring cabinetPath_;
  std::map<std::wstring, std::wstring> entries_;
  uint64_t maxCabinetSize_ = kDefaultMaxCabinetSize;
  // Level 5 with chains cut from 32 to 16: about 1% larger than level 6
  // (gcab's) at well under half its time on text.
  int level_ = 5;
  int maxChain_ = 16;
  uint64_t memoryLimit_ = 64ull << 20;
  int threads_ = 2;
};

}  // namespace zorel
