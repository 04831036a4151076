// CabinetUtility::Decompress over libmspack, which reads MSZIP and follows
// a cabinet set once its cabinets are appended to one another.

#include <mspack.h>

#include <filesystem>
#include <list>
#include <set>
#include <string>

#include "host_files.h"
#include "stored_name.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/log/framework_log.h"

namespace zorel {

namespace fs = std::filesystem;

namespace {

FrameworkLog& log() { return FrameworkLog::Instance(); }

// A set longer than this is a loop or a hostile cabinet.
constexpr size_t kMaxSetCabinets = 65535;

struct Decompressor {
  mscab_decompressor* self = mspack_create_cab_decompressor(nullptr);
  mscabd_cabinet* first = nullptr;
  // libmspack keeps the path pointers it was opened with until close.
  std::list<std::string> paths;
  ~Decompressor() {
    if (!self) return;
    if (first) self->close(self, first);  // frees every appended cabinet too
    mspack_destroy_cab_decompressor(self);
  }
};

// Opens `name` in `folder` and appends it to the set; false with a log line.
bool appendCabinet(Decompressor& d, mscabd_cabinet* last, const fs::path& folder,
                   const std::string& name, mscabd_cabinet*& opened) {
  const std::string& path = d.paths.emplace_back((folder / name).string());
  opened = d.self->open(d.self, const_cast<char*>(path.c_str()));
  if (!opened) {
    log().Write(LogLevel::Error, L"Failed to decompress the %s file", fromUtf8(name).c_str());
    return false;
  }
  if (last && d.self->append(d.self, last, opened) != MSPACK_ERR_OK) {
    d.self->close(d.self, opened);
    opened = nullptr;
    log().Write(LogLevel::Error, L"Failed to decompress the %s file", fromUtf8(name).c_str());
    return false;
  }
  return true;
}

}  // namespace

bool CabinetUtility::Decompress(const std::wstring& cabinet,
                                const std::wstring& outputFolder) {
  fs::path path = compress::hostPath(cabinet);
  std::error_code ec;
  bool named = cabinet.size() > 4 && compress::hasCabExtension(cabinet);
  if (!named || !fs::is_regular_file(path, ec)) {
    log().Write(LogLevel::Error,
                L"Please pass the proper and existing file name to decompress");
    return false;
  }
  if (!path.has_parent_path()) return false;
  fs::path folder = path.parent_path();
  std::string current = path.filename().string();
  fs::path output = compress::hostPath(outputFolder);
  try {
    Decompressor d;
    if (!d.self) {
      log().Write(LogLevel::Error, L"Failed to create the decompressing context for %s",
                  fromUtf8(current).c_str());
      return false;
    }
    // Larger reads of the cabinet than the 4 KiB default.
    d.self->set_param(d.self, MSCABD_PARAM_DECOMPBUF, 65536);
    bool result = true;
    mscabd_cabinet* last = nullptr;
    if (!appendCabinet(d, nullptr, folder, current, d.first)) return false;
    last = d.first;
    std::set<std::string> seen{current};
    while (last->nextname) {
      current = last->nextname;
      if (!seen.insert(current).second || seen.size() > kMaxSetCabinets) {
        log().Write(LogLevel::Error, L"Failed to decompress the %s file",
                    fromUtf8(current).c_str());
        result = false;
        break;
      }
      mscabd_cabinet* next = nullptr;
      if (!appendCabinet(d, last, folder, current, next)) {
        result = false;
        break;
      }
      last = next;
    }

    fs::create_directories(output, ec);
    for (mscabd_file* file = d.first->files; file; file = file->next) {
      std::string stored = file->filename ? file->filename : "";
      std::wstring wide = fromUtf8(stored);
      auto relative = compress::relativeTarget(stored);
      if (!relative) {
        log().Write(LogLevel::Error,
                    L"Refused to extract %s: the name leaves the output folder",
                    wide.c_str());
        result = false;
        continue;
      }
      std::string why;
      auto target = compress::prepareTarget(output, *relative, why);
      if (!target) {
        log().Write(LogLevel::Error, L"Refused to extract %s: %s", wide.c_str(),
                    fromUtf8(why).c_str());
        result = false;
        continue;
      }
      std::string host = target->string();
      int rc = d.self->extract(d.self, file, const_cast<char*>(host.c_str()));
      if (rc != MSPACK_ERR_OK) {
        log().Write(LogLevel::Error, L"Failed to decompress the %s file",
                    fromUtf8(current).c_str());
        log().Write(LogLevel::Error, L"%s could not be extracted (error %d)",
                    wide.c_str(), rc);
        result = false;
        continue;
      }
      compress::applyStoredTime(*target, file->date_y, file->date_m, file->date_d,
                                file->time_h, file->time_m, file->time_s);
      compress::applyStoredAttributes(*target, file->attribs & 0x27);
    }
    return result;
  } catch (...) {
    log().Write(LogLevel::Error, L"Exception occured while decompressing %s",
                fromUtf8(current).c_str());
    return false;
  }
}

}  // namespace zorel
