#pragma once
// Everything the cabinet utility asks of the host file system, in one place:
// path conversion, the time and attributes a file is stored with, the
// temporary files handed to the writer and the staging copies. The callers
// pass host paths (wide text holding UTF-8 file names) for now; a later
// mapping of the program's Windows paths only has to change this file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cab_format.h"

namespace zorel::compress {

std::filesystem::path hostPath(const std::wstring& path);
std::wstring widePath(const std::filesystem::path& path);

// DOS date and time a file is stored with, in local time: its creation
// time where the host keeps one (a birth time), else its modification time.
cab::DosDateTime storedTime(const std::filesystem::path& file);
// Attribute bits a file is stored with: its Windows attributes (as the
// platform layer keeps them) masked to read-only, hidden, system, archive.
uint16_t storedAttributes(const std::filesystem::path& file);

// Gives an extracted file the cabinet's date and time (local time) as its
// modification time (the host cannot set a creation time), and the
// cabinet's read-only, hidden, system and archive attributes.
void applyStoredTime(const std::filesystem::path& file, int year, int month,
                     int day, int hour, int minute, int second);
void applyStoredAttributes(const std::filesystem::path& file, int attributes);

// The temporary files of one compression: named "CAB<hex>.tmp" in the
// temporary folder, created exclusively, and removed together; files of the
// same pattern that someone else made are never touched.
class TempFiles {
 public:
  TempFiles() = default;
  ~TempFiles() { removeAll(); }
  TempFiles(const TempFiles&) = delete;
  TempFiles& operator=(const TempFiles&) = delete;

  // A new empty file; empty path when none could be created.
  std::filesystem::path handOut();
  void removeAll();
  const std::vector<std::filesystem::path>& handedOut() const { return files_; }

 private:
  std::vector<std::filesystem::path> files_;
};

// Copies of sources that could not be opened in place, in the folder
// "UnCompressed" of the temporary folder. Only the copies made here are
// removed (and the folder, when that leaves it empty): another compression
// may be using the folder at the same time.
class StagingCopies {
 public:
  StagingCopies() = default;
  ~StagingCopies() { removeAll(); }
  StagingCopies(const StagingCopies&) = delete;
  StagingCopies& operator=(const StagingCopies&) = delete;

  // Copies `source` into the staging folder under a name no other copy
  // has; empty path when the copy fails.
  std::filesystem::path copy(const std::filesystem::path& source);
  void removeAll();

  static std::filesystem::path folder();

 private:
  std::vector<std::filesystem::path> copies_;
};

}  // namespace zorel::compress
