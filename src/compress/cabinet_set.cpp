#include "cabinet_set.h"

#include <set>

#include "zorel/common/utf8.h"

namespace zorel::compress {

namespace fs = std::filesystem;

namespace {

// A set longer than this is a loop or a hostile cabinet.
constexpr size_t kMaxSetCabinets = 65535;

std::wstring failedMessage(const std::string& name) {
  return L"Failed to decompress the " + fromUtf8(name) + L" file";
}

}  // namespace

CabinetSet::CabinetSet() : self_(mspack_create_cab_decompressor(nullptr)) {
  // Larger reads of the cabinet than the 4 KiB default.
  if (self_) self_->set_param(self_, MSCABD_PARAM_DECOMPBUF, 65536);
}

CabinetSet::~CabinetSet() {
  if (!self_) return;
  if (first_) self_->close(self_, first_);  // frees every appended cabinet too
  mspack_destroy_cab_decompressor(self_);
}

bool CabinetSet::open(const fs::path& folder, const std::string& name,
                      std::vector<std::wstring>& failures) {
  lastName_ = name;
  if (!self_) {
    failures.push_back(L"Failed to create the decompressing context for " + fromUtf8(name));
    return false;
  }
  const std::string& firstPath = paths_.emplace_back((folder / name).string());
  first_ = self_->open(self_, const_cast<char*>(firstPath.c_str()));
  if (!first_) {
    failures.push_back(failedMessage(name));
    return false;
  }
  std::set<std::string> seen{name};
  mscabd_cabinet* last = first_;
  while (last->nextname) {
    const std::string next = last->nextname;
    lastName_ = next;
    if (!seen.insert(next).second || seen.size() > kMaxSetCabinets) {
      failures.push_back(failedMessage(next));
      break;
    }
    const std::string& path = paths_.emplace_back((folder / next).string());
    mscabd_cabinet* opened = self_->open(self_, const_cast<char*>(path.c_str()));
    if (!opened) {
      failures.push_back(failedMessage(next));
      break;
    }
    if (self_->append(self_, last, opened) != MSPACK_ERR_OK) {
      self_->close(self_, opened);
      failures.push_back(failedMessage(next));
      break;
    }
    last = opened;
  }
  return true;
}

std::vector<mscabd_file*> CabinetSet::files() const {
  std::vector<mscabd_file*> list;
  for (mscabd_file* file = first_ ? first_->files : nullptr; file; file = file->next)
    list.push_back(file);
  return list;
}

std::vector<mscabd_folder*> CabinetSet::folders() const {
  std::vector<mscabd_folder*> list;
  for (mscabd_folder* folder = first_ ? first_->folders : nullptr; folder; folder = folder->next)
    list.push_back(folder);
  return list;
}

}  // namespace zorel::compress
