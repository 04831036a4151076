// CabinetUtility: target rules, the entry list and compression. Extraction
// lives in cabinet_extract.cpp.

#include "zorel/compress/cabinet_utility.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "cab_writer.h"
#include "host_files.h"
#include "stored_name.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"

namespace zorel {

namespace fs = std::filesystem;
using compress::hostPath;
using compress::widePath;

namespace {

constexpr int kErrorDiskFull = 112;
constexpr size_t kCabFieldBytes = 256;  // name fields of Windows' cabinet record

FrameworkLog& log() { return FrameworkLog::Instance(); }

bool isAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return (unsigned char)c < 0x80; });
}

}  // namespace

struct CabinetUtility::Session {
  std::unique_ptr<cab::Writer> writer;
  compress::TempFiles temps;
  compress::StagingCopies staging;
  bool diskFull = false;
  // The writer failed in a way that ends the cabinet (write error).
  bool broken = false;
};

// ---------------------------------------------------------------- target

void CabinetUtility::SetTarget(const std::wstring& path) {
  std::error_code ec;
  fs::path target;
  if (path.empty()) {
    target = "zorel.cab";
  } else {
    fs::path given = hostPath(path);
    if (fs::is_directory(given, ec) || !given.has_extension()) {
      if (!fs::exists(given, ec) && !fs::create_directories(given, ec) && ec) {
        log().Write(LogLevel::Error, L"Could not create the folder %s",
                    path.c_str());
      }
      target = given / "zorel.cab";
    } else {
      target = given;
      // Windows compares names ignoring case: "SETUP.CAB" is a cabinet
      // name already and keeps its spelling.
      if (!compress::hasCabExtension(widePath(given))) target.replace_extension(".cab");
      if (target.has_parent_path() && !fs::exists(target.parent_path(), ec)) {
        log().Write(LogLevel::Info, L"Path not found : %s", path.c_str());
        return;
      }
    }
  }
  if (fs::exists(fs::symlink_status(target, ec))) fs::remove(target, ec);
  cabinetPath_ = widePath(target);
  entries_.clear();
}

// ------------------------------------------------------------ the list

bool CabinetUtility::AddFile(const std::wstring& source,
                             const std::wstring& destination) {
  if (source.empty()) return false;
  std::error_code ec;
  auto status = fs::status(hostPath(source), ec);
  // Only regular files: opening a named pipe would wait for a writer
  // forever, and a device or socket has no contents to pack.
  if (!fs::is_regular_file(status)) return false;
  entries_[source] = destination;
  return true;
}

bool CabinetUtility::AddFolder(const std::wstring& source,
                               const std::wstring& destination) {
  if (source.empty()) return false;
  std::error_code ec;
  fs::path folder = hostPath(source);
  if (!fs::is_directory(folder, ec)) return false;
  if (fs::directory_iterator(folder, ec) == fs::directory_iterator()) return false;
  entries_[source] = destination;
  return true;
}

// ---------------------------------------------------------- compression

bool CabinetUtility::addEntryFile(Session& session, const std::wstring& source,
                                  const std::wstring& destination) {
  fs::path path = hostPath(source);
  std::wstring fileName = widePath(path.filename());
  try {
    std::string name = toUtf8(compress::storedName(destination, fileName));
    std::error_code typeError;
    if (!fs::is_regular_file(path, typeError)) {
      // Replaced by a pipe or device since it was listed: never open it.
      log().Write(LogLevel::Error, L"FCIAddFile failed to add %s File", fileName.c_str());
      return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    fs::path opened = path;
    if (!file) {
      // Could not be opened in place: store a copy instead.
      fs::path copy = session.staging.copy(path);
      if (!copy.empty()) file = std::fopen(copy.c_str(), "rb");
      opened = copy;
    }
    if (!file) {
      log().Write(LogLevel::Error, L"FCIAddFile failed to add %s File", fileName.c_str());
      return false;
    }
    std::error_code ec;
    uint64_t size = fs::file_size(opened, ec);
    cab::FileInfo info;
    info.name = name;
    auto when = compress::storedTime(opened);
    info.date = when.date;
    info.time = when.time;
    info.attributes = compress::storedAttributes(path) & cab::kAttributeMask;
    // A name outside ASCII is stored as UTF-8, which readers only know from
    // this bit; Windows' own attribute mask would drop it.
    if (!isAscii(name)) info.attributes |= cab::kAttributeNameIsUtf8;
    bool added = !ec && session.writer->addFile(file, size, info);
    std::fclose(file);
    if (!added) {
      const auto& error = session.writer->error();
      if (error.type == kErrorDiskFull) session.diskFull = true;
      if (error.kind != cab::ErrorKind::BadName && error.kind != cab::ErrorKind::TooLarge) {
        session.broken = true;
      }
      log().Write(LogLevel::Error, L"FCIAddFile failed to add %s File", fileName.c_str());
      if (!error.message.empty()) {
        log().Write(LogLevel::Error, L"%s", fromUtf8(error.message).c_str());
      }
    }
    return added;
  } catch (...) {
    log().Write(LogLevel::Error, L"Exception occured while compressing %s",
                fileName.c_str());
    return false;
  }
}

bool CabinetUtility::addEntryFolder(Session& session, const std::wstring& source,
                                    const std::wstring& destination) {
  fs::path folder = hostPath(source);
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return addEntryFile(session, source, destination);
  // Sorted, so the same folder always gives the same cabinet.
  std::vector<fs::directory_entry> children;
  for (const auto& child : fs::directory_iterator(folder, ec)) children.push_back(child);
  std::sort(children.begin(), children.end());
  if (children.empty()) return false;
  for (const auto& child : children) {
    std::wstring childPath = widePath(child.path());
    const bool link = child.is_symlink(ec);
    if (child.is_directory(ec)) {
      // A linked folder is not entered: a link to a parent would never end.
      if (link) continue;
      addEntryFolder(session, childPath,
                     compress::joinStored(destination, widePath(child.path().filename())));
    } else if (child.is_regular_file(ec)) {
      addEntryFile(session, childPath, destination);
    } else {
      // Named pipes, sockets and devices are no files to pack; opening a
      // pipe would block the walk.
      log().Write(LogLevel::Info, L"Skipped %s: not a regular file", childPath.c_str());
      continue;
    }
    if (session.diskFull || session.broken) return false;
  }
  return true;
}

bool CabinetUtility::Compress() {
  if (entries_.empty()) {
    log().Write(LogLevel::Info, L"No Files/Folders present to be compressed");
    return false;
  }
  fs::path cabinet = hostPath(cabinetPath_.empty() ? L"zorel.cab" : cabinetPath_);
  std::string name = cabinet.filename().string();
  std::wstring wideName = widePath(cabinet.filename());
  Session session;
  try {
    fs::path folder = cabinet.has_parent_path() ? cabinet.parent_path() : fs::current_path();
    if (name.size() >= kCabFieldBytes) {
      log().Write(LogLevel::Error, L"Failed to Intialize Cab structure for %s",
                  wideName.c_str());
      log().Write(LogLevel::Error, L"Fail to create context for compression");
      return false;
    }
    cab::WriterOptions options;
    options.folder = folder;
    options.firstName = name;
    options.setId = kSetId;
    options.maxCabinetSize = maxCabinetSize_;
    options.mszip.level = level_;
    options.mszip.maxChain = maxChain_;
    options.memoryBytes = memoryLimit_;
    options.mszip.threads = threads_;
    options.tempFile = [&session] { return session.temps.handOut(); };
    session.writer = std::make_unique<cab::Writer>(std::move(options));
  } catch (...) {
    log().Write(LogLevel::Error, L"Failed to Intialize Cab for %s", wideName.c_str());
    log().Write(LogLevel::Error, L"Fail to create context for compression");
    return false;
  }

  bool result = true;
  try {
    for (const auto& [source, destination] : entries_) {
      std::error_code ec;
      bool added = fs::is_directory(hostPath(source), ec)
                       ? addEntryFolder(session, source, destination)
                       : addEntryFile(session, source, destination);
      if (session.diskFull) {
        log().Write(LogLevel::Error, L"You don't have enough space");
        result = false;
        break;
      }
      if (!added || session.broken) {
        result = false;
        break;
      }
    }
  } catch (...) {
    log().Write(LogLevel::Error, L"Exception occured while compressing");
    result = false;
  }

  if (!session.writer->finish()) {
    log().Write(LogLevel::Error, L"Failed to flush the cabinet");
    const auto& message = session.writer->error().message;
    if (!message.empty()) log().Write(LogLevel::Error, L"%s", fromUtf8(message).c_str());
    result = false;
    // A set whose last cabinet could not be written is no set: the cabinets
    // before it go too, so nothing is left that looks complete.
    for (const fs::path& written : session.writer->cabinets()) {
      std::error_code ec;
      fs::remove(written, ec);
    }
  }
  session.writer.reset();
  session.temps.removeAll();
  session.staging.removeAll();
  return result;
}

}  // namespace zorel
