#pragma once
// Helpers shared by the store tests: a fresh host folder per test, the
// sqlite3 command-line tool, and the framework log lines a step wrote.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"

namespace zorel::testing {

// A new empty folder below the temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("zorel-store-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::wstring wide() const { return fromUtf8(path_.string()); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Standard output of a shell command.
inline std::string runCommand(const std::string& command) {
  std::string output;
  if (std::FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
  }
  return output;
}

// Runs one SQL text through the real sqlite3 tool on |database|.
inline std::string sqliteCli(const std::string& database, const std::string& sql) {
  return runCommand("sqlite3 '" + database + "' \"" + sql + "\" 2>&1");
}

// What the framework log gained since construction.
class LogWatch {
 public:
  LogWatch() : start_(size()) {}
  std::string Text() const {
    std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary);
    // A rotation in between truncates the file: then all of it is new.
    if (size() >= start_) in.seekg(static_cast<std::streamoff>(start_));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  static std::uintmax_t size() {
    std::error_code error;
    auto n = std::filesystem::file_size(FrameworkLog::Instance().path(), error);
    return error ? 0 : n;
  }
  std::uintmax_t start_;
};

}  // namespace zorel::testing
