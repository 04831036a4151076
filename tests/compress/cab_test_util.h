#pragma once
// Helpers shared by the cabinet tests: scratch folders, files, running the
// peer tools, listing a folder tree.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>

namespace zorel::testing {

namespace fs = std::filesystem;

// A fresh folder, removed with everything below it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    static std::mt19937 random{std::random_device{}()};
    path_ = fs::temp_directory_path() / ("zorel_cab_test_" + std::to_string(random()));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::all, ec);
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

inline void writeFile(const fs::path& path, const std::string& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(data.data(), std::streamsize(data.size()));
}

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Runs a shell command; its exit status, with stdout and stderr in `output`.
inline int run(const std::string& command, std::string* output = nullptr) {
  // The process id keeps test processes that ctest runs side by side from
  // sharing (and removing) each other's capture file.
  static int n = 0;
  fs::path capture = fs::temp_directory_path() /
                     ("zorel_cab_test_out_" + std::to_string(::getpid()) + "_" +
                      std::to_string(n++) + ".txt");
  int status = std::system((command + " >" + capture.string() + " 2>&1").c_str());
  if (output) *output = readFile(capture);
  fs::remove(capture);
  return status;
}

// Every regular file below `root` by relative path ('/' separated), with
// its bytes.
inline std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), root).generic_string()] = readFile(entry.path());
    }
  }
  return files;
}

// Deterministic bytes that deflate does not shrink.
inline std::string randomBytes(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (auto& c : out) c = char(rng());
  return out;
}

}  // namespace zorel::testing
