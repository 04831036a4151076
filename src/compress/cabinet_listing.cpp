// ListCabinet over the same libmspack set extraction reads.

#include "zorel/compress/cabinet_listing.h"

#include <filesystem>

#include "cabinet_set.h"
#include "host_files.h"
#include "zorel/common/utf8.h"

namespace zorel {

namespace fs = std::filesystem;

bool ListCabinet(const std::wstring& cabinet, std::vector<CabinetFileInfo>& files,
                 std::wstring& reason) {
  files.clear();
  reason.clear();
  const fs::path path = compress::hostPath(cabinet);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    reason = L"no such cabinet file: " + cabinet;
    return false;
  }
  compress::CabinetSet set;
  std::vector<std::wstring> failures;
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  if (!set.open(folder, path.filename().string(), failures)) {
    reason = fromUtf8(path.string()) + L" is not a cabinet that can be read";
    return false;
  }
  for (mscabd_file* file : set.files()) {
    CabinetFileInfo info;
    info.name = file->filename ? file->filename : "";
    info.size = file->length;
    info.year = file->date_y;
    info.month = file->date_m;
    info.day = file->date_d;
    info.hour = file->time_h;
    info.minute = file->time_m;
    info.second = file->time_s;
    info.attributes = static_cast<uint16_t>(file->attribs);
    files.push_back(std::move(info));
  }
  if (!failures.empty()) {
    reason = failures.front();
    return false;
  }
  return true;
}

}  // namespace zorel
