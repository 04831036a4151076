#include "bench_machine.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "zorel/platform/machine/machine.h"

namespace zorel::bench {

std::string makeBenchMachine(const std::string& prefix, const std::wstring& image) {
  std::string pattern = "/tmp/" + prefix + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) {
    std::perror("mkdtemp");
    return {};
  }
  const std::string base = buffer.data();
  const std::string root = base + "/machine";
  std::unique_ptr<platform::IMachine> machine;
  if (platform::initMachine(root, image, nullptr, nullptr) != 0 ||
      platform::openMachine(root, {}, &machine) != 0) {
    std::fprintf(stderr, "cannot make the machine\n");
    return {};
  }
  platform::setCurrentMachine(std::move(machine));
  std::filesystem::create_directories(base + "/store");
  return base;
}

}  // namespace zorel::bench
