// libFuzzer target: any bytes as a cabinet, extracted into a fresh folder
// inside a scratch area (which also holds a throw-away machine, where the
// diagnostic log goes). The first byte's bit 0 asks for a spanning pair:
// the bytes are then cut where the second "MSCF" signature starts, the
// first cabinet written as collection.cab and the rest as collection2.cab
// (the name our writer gives the continuation), beside it.
// Property: after the extraction, whatever it answered, every file and
// folder of the scratch area (the machine's root, drive_c included) outside
// the output folder is as it was, and the cabinets themselves are
// unchanged.

#include <filesystem>
#include <fstream>
#include <set>

#include "fuzz_support.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/log/framework_log.h"

namespace zorel::fuzz {
namespace {

namespace fs = std::filesystem;

struct Layout {
  fs::path in, out;
};

const Layout& Folders() {
  static const Layout layout = [] {
    ThrowAwayMachine();
    const fs::path area = fs::path(ScratchFolder()) / "area";
    Layout l{area / "in", area / "deeper" / "out"};
    // A name that climbs out of the output folder lands in "deeper" or
    // "area", where the snapshot sees it.
    fs::create_directories(l.in);
    return l;
  }();
  return layout;
}

// Every path below `root` with its size (0 for folders), skipping `skip`
// and the diagnostic log, which the extraction writes to.
std::set<std::pair<std::string, uintmax_t>> Snapshot(const fs::path& root, const fs::path& skip) {
  static const fs::path log = FrameworkLog::Instance().path();
  std::set<std::pair<std::string, uintmax_t>> entries;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->path() == log) continue;
    if (it->path() == skip) {
      it.disable_recursion_pending();
      continue;
    }
    std::error_code sizeError;
    const uintmax_t size = it->is_regular_file(sizeError) ? it->file_size(sizeError) : 0;
    entries.emplace(it->path().string(), size);
  }
  return entries;
}

void Write(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace
}  // namespace zorel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorel;
  using namespace zorel::fuzz;
  const Layout& layout = Folders();
  std::error_code ec;
  fs::remove_all(layout.out, ec);
  fs::remove_all(layout.in, ec);
  fs::create_directories(layout.out);
  fs::create_directories(layout.in);

  Parts parts(data, size);
  const bool pair = (parts.Byte() & 1) != 0;
  const std::string_view bytes = parts.Rest();
  const size_t cut = pair ? bytes.find("MSCF", 4) : std::string_view::npos;
  const std::string first(bytes.substr(0, cut));
  const std::string second = cut == std::string_view::npos ? std::string() : std::string(bytes.substr(cut));
  Write(layout.in / "collection.cab", first);
  if (pair) Write(layout.in / "collection2.cab", second);

  const fs::path scratch = ScratchFolder();
  const auto before = Snapshot(scratch, layout.out);
  CabinetUtility cabinets;
  std::wstring reason;
  cabinets.Decompress(fromUtf8((layout.in / "collection.cab").string()),
                      fromUtf8(layout.out.string()), &reason);
  Require(Snapshot(scratch, layout.out) == before, "the extraction touched something outside its folder");
  Require(Read(layout.in / "collection.cab") == first &&
              (!pair || Read(layout.in / "collection2.cab") == second),
          "the extraction changed a cabinet");
  return 0;
}
