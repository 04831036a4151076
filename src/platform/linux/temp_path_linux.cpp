#include <cstdlib>

#include "zorel/platform/temp_path.h"

namespace zorel::platform {

std::string hostTempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp && *tmp) ? tmp : "/tmp";
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

}  // namespace zorel::platform
