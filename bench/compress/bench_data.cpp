#include "bench_data.h"

#include <fstream>
#include <random>
#include <string>

namespace zorel::bench {

namespace fs = std::filesystem;

namespace {

const char* const kWords[] = {
    "service", "registry", "product", "install", "version", "machine", "update",
    "process", "network",  "status",  "result",  "session", "folder",  "cabinet",
    "value",   "key",      "error",   "warning", "detected", "running", "stopped",
    "the",     "a",        "of",      "and",     "to",       "in",      "for"};

std::string textData(std::mt19937& rng, size_t size) {
  std::string out;
  out.reserve(size + 32);
  std::uniform_int_distribution<size_t> word(0, std::size(kWords) - 1);
  std::uniform_int_distribution<int> number(0, 99999);
  while (out.size() < size) {
    out += kWords[word(rng)];
    out += (rng() % 9 == 0) ? "=" + std::to_string(number(rng)) + "\r\n" : " ";
  }
  out.resize(size);
  return out;
}

std::string recordData(std::mt19937& rng, size_t size) {
  std::string out;
  out.reserve(size + 32);
  uint32_t id = 0;
  while (out.size() < size) {
    uint32_t fields[8] = {id++, 0x1000, uint32_t(rng() % 256), 7, uint32_t(rng()),
                          id * 3, 0, uint32_t(rng() % 16)};
    out.append(reinterpret_cast<const char*>(fields), sizeof fields);
  }
  out.resize(size);
  return out;
}

std::string randomData(std::mt19937& rng, size_t size) {
  std::string out(size, '\0');
  for (auto& c : out) c = char(rng());
  return out;
}

}  // namespace

std::vector<fs::path> makeBenchSet(const fs::path& folder, int files,
                                   uint64_t totalBytes) {
  std::mt19937 rng(20240611);
  std::vector<uint64_t> sizes(files);
  uint64_t sum = 0;
  for (auto& size : sizes) sum += size = 100 + rng() % 900;
  uint64_t assigned = 0;
  for (int i = 0; i < files; ++i) {
    sizes[i] = i + 1 == files ? totalBytes - assigned : sizes[i] * totalBytes / sum;
    assigned += sizes[i];
  }
  std::vector<fs::path> paths;
  for (int i = 0; i < files; ++i) {
    fs::path dir = folder / ("d" + std::to_string(i % 8));
    fs::create_directories(dir);
    std::string data = i % 3 == 0   ? randomData(rng, sizes[i])
                       : i % 3 == 1 ? textData(rng, sizes[i])
                                    : recordData(rng, sizes[i]);
    fs::path path = dir / ("file" + std::to_string(i) + (i % 3 == 0 ? ".bin" : ".dat"));
    std::ofstream(path, std::ios::binary).write(data.data(), std::streamsize(data.size()));
    paths.push_back(path);
  }
  return paths;
}

}  // namespace zorel::bench
