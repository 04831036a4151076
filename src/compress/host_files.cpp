#include "host_files.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>

#include "zorel/common/utf8.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/platform/fs/file_ops.h"
#include "zorel/platform/machine/temp_path.h"

namespace zorel::compress {

namespace fs = std::filesystem;

fs::path hostPath(const std::wstring& path) { return fs::path(toUtf8(path)); }

std::wstring widePath(const fs::path& path) { return fromUtf8(path.string()); }

namespace {

cab::DosDateTime localDosTime(std::time_t seconds) {
  std::tm local{};
  if (!localtime_r(&seconds, &local)) return cab::toDosDateTime(1980, 1, 1, 0, 0, 0);
  return cab::toDosDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                            local.tm_hour, local.tm_min, local.tm_sec);
}

}  // namespace

cab::DosDateTime storedTime(const fs::path& file) {
  int64_t created = 0;
  if (platform::creationTime(file.string(), created) == 0)
    return localDosTime(static_cast<std::time_t>(created));
  std::error_code ec;
  auto written = fs::last_write_time(file, ec);
  if (ec) return cab::toDosDateTime(1980, 1, 1, 0, 0, 0);
  return localDosTime(
      std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written)));
}

uint16_t storedAttributes(const fs::path& file) {
  uint32_t attributes = 0;
  if (platform::getFileAttributes(file.string(), attributes) != 0)
    return platform::FILE_ATTRIBUTE_ARCHIVE;
  return static_cast<uint16_t>(attributes & cab::kAttributeMask);
}

void applyStoredTime(const fs::path& file, int year, int month, int day,
                     int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  std::time_t seconds = std::mktime(&local);
  if (seconds == std::time_t(-1)) return;
  std::error_code ec;
  fs::last_write_time(
      file,
      std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(seconds)),
      ec);
}

void applyStoredAttributes(const fs::path& file, int attributes) {
  // Read-only, hidden, system and archive, as the cabinet has them; 0 is
  // a plain file, as Windows reads it.
  uint32_t wanted = static_cast<uint32_t>(attributes) & cab::kAttributeMask;
  platform::setFileAttributes(file.string(),
                              wanted ? wanted : platform::FILE_ATTRIBUTE_NORMAL);
}

fs::path TempFiles::handOut() {
  std::string folder = platform::hostTempFolder();
  if (folder.empty()) return {};
  static std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "CAB%08X.tmp", unsigned(random()));
    fs::path path = fs::path(folder) / name;
    // "x": fail when the name is taken, so no one else's file is reused.
    if (std::FILE* file = std::fopen(path.c_str(), "wbx")) {
      std::fclose(file);
      files_.push_back(path);
      return path;
    }
  }
  return {};
}

void TempFiles::removeAll() {
  for (const auto& path : files_) {
    std::error_code ec;
    fs::remove(path, ec);
  }
  files_.clear();
}

fs::path StagingCopies::folder() {
  return fs::path(platform::hostTempFolder()) / "UnCompressed";
}

fs::path StagingCopies::copy(const fs::path& source) {
  std::error_code ec;
  fs::path dir = folder();
  fs::create_directories(dir, ec);
  fs::path target = dir / source.filename();
  for (int n = 1; fs::exists(fs::symlink_status(target, ec)); ++n) {
    target = dir / (source.filename().string() + "." + std::to_string(n));
  }
  if (!fs::copy_file(source, target, ec) || ec) return {};
  copies_.push_back(target);
  return target;
}

void StagingCopies::removeAll() {
  if (copies_.empty()) return;
  std::error_code ec;
  for (const auto& path : copies_) fs::remove(path, ec);
  copies_.clear();
  fs::remove(folder(), ec);  // only succeeds when empty
}

}  // namespace zorel::compress
