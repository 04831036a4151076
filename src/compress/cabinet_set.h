#pragma once
// A cabinet and the cabinets it continues into, opened with libmspack as
// one set. Extraction and listing both read cabinets through it; one
// instance belongs to one thread (extraction opens one per thread).

#include <mspack.h>

#include <filesystem>
#include <list>
#include <string>
#include <vector>

namespace zorel::compress {

class CabinetSet {
 public:
  CabinetSet();
  ~CabinetSet();
  CabinetSet(const CabinetSet&) = delete;
  CabinetSet& operator=(const CabinetSet&) = delete;

  // Opens `name` in `folder` and appends every next cabinet it names, in
  // the same folder. A set whose names loop, or a next cabinet that cannot
  // be opened or does not continue the set, ends the set there: its
  // message ("Failed to decompress the <name> file") goes to `failures`
  // and the cabinets opened so far stay usable.
  // RETURNS false (with a message in `failures`) when not even the first
  // cabinet opens.
  bool open(const std::filesystem::path& folder, const std::string& name,
            std::vector<std::wstring>& failures);

  mscab_decompressor* decompressor() const { return self_; }
  // The first cabinet; its files and folders run through the whole set.
  mscabd_cabinet* first() const { return first_; }
  // The name of the last cabinet opened (the one a failure is about).
  const std::string& lastName() const { return lastName_; }

  // The set's files and folders in the cabinet's order.
  std::vector<mscabd_file*> files() const;
  std::vector<mscabd_folder*> folders() const;

 private:
  mscab_decompressor* self_ = nullptr;
  mscabd_cabinet* first_ = nullptr;
  // libmspack keeps the path pointers it was opened with until close.
  std::list<std::string> paths_;
  std::string lastName_;
};

}  // namespace zorel::compress
