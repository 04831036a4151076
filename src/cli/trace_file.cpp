// The --trace option's file (trace_file.h).

#include "trace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace zorel::cli {

bool prepareTraceFile(const char* command, const std::string& path, std::string* absolute) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    std::fprintf(stderr, "zorel %s: the trace file '%s' is a folder\n", command, path.c_str());
    return false;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) {
    std::fprintf(stderr, "zorel %s: cannot write the trace file '%s': %s\n", command, path.c_str(),
                 std::strerror(errno));
    return false;
  }
  *absolute = std::filesystem::absolute(path, ec).lexically_normal().string();
  if (ec) *absolute = path;
  return true;
}

}  // namespace zorel::cli
