// CabinetUtility::Decompress over libmspack, which reads MSZIP and follows
// a cabinet set once its cabinets are appended to one another.
//
// Every name is checked and its target prepared first, in the cabinet's
// order. Then the cabinet's folders are decoded in parallel: each thread
// has a libmspack decompressor and a set of its own and takes whole folders
// from a shared counter, so the files of one folder come out in order by
// one thread (libmspack carries on from the previous file instead of
// decoding the folder again). Our cabinets hold one folder per file, so
// every file is a task. The MSZIP folders of a cabinet outside a set are
// decoded with zlib (mszip_folder.h); a file that path cannot give is
// extracted by libmspack, which then reports what is wrong with it. A name that an earlier file of the cabinet also
// goes to is extracted after the others, in order, so the last one wins as
// when extracting one by one. Log lines follow the cabinet's order.

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "cabinet_set.h"
#include "host_files.h"
#include "mszip_folder.h"
#include "stored_name.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/log/framework_log.h"

namespace zorel {

namespace fs = std::filesystem;

namespace {

FrameworkLog& log() { return FrameworkLog::Instance(); }

// At most this many threads decode folders at once.
constexpr unsigned kMaxThreads = 4;

// One file of the cabinet and what became of it.
struct Planned {
  std::optional<fs::path> target;      // empty: refused before extraction
  size_t folder = SIZE_MAX;            // index in the cabinet's folders
  std::vector<std::wstring> failures;  // log lines, in order
};

// The files of one folder, by their index in the cabinet's file list.
using Task = std::vector<size_t>;

class Extraction {
 public:
  Extraction(fs::path folder, std::string firstName)
      : folder_(std::move(folder)), firstName_(std::move(firstName)) {}

  // Extracts below `output`; false when anything failed, with every
  // failure's log line in `failures` (cabinet order).
  bool run(const fs::path& output, std::vector<std::wstring>& failures);

 private:
  void plan(const compress::CabinetSet& set, const fs::path& output);
  // Decodes tasks taken from next_ until none is left.
  void work(const compress::CabinetSet& set, const std::vector<Task>& tasks);
  void extractOne(const compress::CabinetSet& set, mscabd_file* file, size_t index);
  // Extracts the task's files through zlib while the folder stream lasts,
  // then through libmspack.
  void extractTask(const compress::CabinetSet& set, const Task& task);
  bool extractFromStream(compress::MszipFolderStream& stream, mscabd_file* file, size_t index);
  void finish(mscabd_file* file, size_t index);

  fs::path folder_;
  std::optional<compress::CabinetLayout> layout_;
  std::string firstName_;
  std::vector<Planned> planned_;
  std::vector<Task> parallel_;  // folders decoded side by side
  Task afterwards_;             // names met twice: one by one, in order
  std::atomic<size_t> next_{0};
};

void Extraction::plan(const compress::CabinetSet& set, const fs::path& output) {
  const std::vector<mscabd_file*> files = set.files();
  const std::vector<mscabd_folder*> folders = set.folders();
  std::map<const mscabd_folder*, size_t> folderIndex;
  for (size_t i = 0; i < folders.size(); ++i) folderIndex[folders[i]] = i;
  std::map<size_t, size_t> taskOfFolder;
  std::set<fs::path> targets;
  planned_.resize(files.size());
  std::error_code ec;
  fs::create_directories(output, ec);
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string stored = files[i]->filename ? files[i]->filename : "";
    const std::wstring wide = fromUtf8(stored);
    auto relative = compress::relativeTarget(stored);
    if (!relative) {
      planned_[i].failures.push_back(L"Refused to extract " + wide +
                                     L": the name leaves the output folder");
      continue;
    }
    std::string why;
    planned_[i].target = compress::prepareTarget(output, *relative, why);
    if (!planned_[i].target) {
      planned_[i].failures.push_back(L"Refused to extract " + wide + L": " + fromUtf8(why));
      continue;
    }
    if (!targets.insert(*planned_[i].target).second) {
      afterwards_.push_back(i);
      continue;
    }
    auto found = folderIndex.find(files[i]->folder);
    const size_t folder = found == folderIndex.end() ? folders.size() + i : found->second;
    if (found != folderIndex.end()) planned_[i].folder = found->second;
    auto [task, added] = taskOfFolder.try_emplace(folder, parallel_.size());
    if (added) parallel_.emplace_back();
    parallel_[task->second].push_back(i);
  }
}

void Extraction::extractOne(const compress::CabinetSet& set, mscabd_file* file, size_t index) {
  Planned& planned = planned_[index];
  const std::string host = planned.target->string();
  mscab_decompressor* self = set.decompressor();
  const int rc = self->extract(self, file, const_cast<char*>(host.c_str()));
  if (rc != MSPACK_ERR_OK) {
    const std::wstring wide = fromUtf8(file->filename ? file->filename : "");
    planned.failures.push_back(L"Failed to decompress the " + fromUtf8(set.lastName()) + L" file");
    planned.failures.push_back(wide + L" could not be extracted (error " + std::to_wstring(rc) +
                               L")");
    return;
  }
  finish(file, index);
}

void Extraction::finish(mscabd_file* file, size_t index) {
  const fs::path& target = *planned_[index].target;
  compress::applyStoredTime(target, file->date_y, file->date_m, file->date_d, file->time_h,
                            file->time_m, file->time_s);
  compress::applyStoredAttributes(target, file->attribs & 0x27);
}

bool Extraction::extractFromStream(compress::MszipFolderStream& stream, mscabd_file* file,
                                   size_t index) {
  if (file->offset < stream.position()) return false;
  const int out = open(planned_[index].target->c_str(),
                       O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (out < 0) return false;
  const bool copied = stream.copyTo(file->offset, file->length, out);
  const bool closed = close(out) == 0;
  if (!copied || !closed) return false;
  finish(file, index);
  return true;
}

void Extraction::extractTask(const compress::CabinetSet& set, const Task& task) {
  const std::vector<mscabd_file*> files = set.files();
  std::optional<compress::MszipFolderStream> stream;
  int cabinet = -1;
  const size_t folder = task.empty() || task[0] >= planned_.size() ? SIZE_MAX
                                                                   : planned_[task[0]].folder;
  if (layout_ && folder < layout_->folders.size() &&
      (layout_->folders[folder].compression & 0x0F) == cab::kCompressMszip) {
    cabinet = open((folder_ / firstName_).c_str(), O_RDONLY | O_CLOEXEC);
    if (cabinet >= 0) stream.emplace(cabinet, layout_->folders[folder], layout_->dataReserve);
  }
  for (size_t index : task) {
    if (index >= files.size()) continue;
    try {
      if (stream && planned_[index].folder == folder &&
          extractFromStream(*stream, files[index], index))
        continue;
      stream.reset();
      extractOne(set, files[index], index);
    } catch (...) {
      planned_[index].failures.push_back(L"Exception occured while decompressing " +
                                         fromUtf8(firstName_));
    }
  }
  stream.reset();
  if (cabinet >= 0) close(cabinet);
}

void Extraction::work(const compress::CabinetSet& set, const std::vector<Task>& tasks) {
  for (size_t t = next_++; t < tasks.size(); t = next_++) extractTask(set, tasks[t]);
}

bool Extraction::run(const fs::path& output, std::vector<std::wstring>& failures) {
  std::vector<std::wstring> setFailures;
  compress::CabinetSet set;
  if (!set.open(folder_, firstName_, setFailures)) {
    failures = std::move(setFailures);
    return false;
  }
  plan(set, output);
  if (set.first() != nullptr && set.first()->nextcab == nullptr) {
    const int cabinet = open((folder_ / firstName_).c_str(), O_RDONLY | O_CLOEXEC);
    if (cabinet >= 0) {
      layout_ = compress::readCabinetLayout(cabinet);
      close(cabinet);
    }
    if (layout_ && layout_->folders.size() != set.folders().size()) layout_.reset();
  }

  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t workers = std::max<size_t>(1, std::min<size_t>({cores, kMaxThreads, parallel_.size()}));
  const size_t helpers = workers - 1;
  std::vector<std::thread> threads;
  for (size_t i = 0; i < helpers; ++i) {
    threads.emplace_back([this] {
      // A set of its own: libmspack's decompressor keeps one folder's state.
      compress::CabinetSet own;
      std::vector<std::wstring> ignored;  // the first set reported them
      if (own.open(folder_, firstName_, ignored)) work(own, parallel_);
    });
  }
  work(set, parallel_);
  for (std::thread& thread : threads) thread.join();
  const std::vector<mscabd_file*> files = set.files();
  next_ = 0;
  work(set, {afterwards_});

  failures = std::move(setFailures);
  for (const Planned& planned : planned_)
    failures.insert(failures.end(), planned.failures.begin(), planned.failures.end());
  return failures.empty();
}

}  // namespace

bool CabinetUtility::Decompress(const std::wstring& cabinet,
                                const std::wstring& outputFolder, std::wstring* reason) {
  auto fail = [&](const std::wstring& message) {
    log().Write(LogLevel::Error, L"%s", message.c_str());
    if (reason && reason->empty()) *reason = message;
  };
  if (reason) reason->clear();
  fs::path path = compress::hostPath(cabinet);
  std::error_code ec;
  bool named = cabinet.size() > 4 && compress::hasCabExtension(cabinet);
  if (!named || !fs::is_regular_file(path, ec)) {
    fail(L"Please pass the proper and existing file name to decompress");
    return false;
  }
  if (!path.has_parent_path()) {
    if (reason) *reason = L"the cabinet's path names no folder";
    return false;
  }
  const std::string name = path.filename().string();
  try {
    Extraction extraction(path.parent_path(), name);
    std::vector<std::wstring> failures;
    const bool result = extraction.run(compress::hostPath(outputFolder), failures);
    for (const std::wstring& failure : failures) fail(failure);
    return result;
  } catch (...) {
    fail(L"Exception occured while decompressing " + fromUtf8(name));
    return false;
  }
}

}  // namespace zorel
