#pragma once
// The benchmark's data set: `files` files totalling `totalBytes` below
// `folder` in eight subfolders, the same bytes on every run. A third is
// random (incompressible), the rest text-like or record-like data that
// deflate shrinks to between a third and a half.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace zorel::bench {

std::vector<std::filesystem::path> makeBenchSet(const std::filesystem::path& folder,
                                                int files, uint64_t totalBytes);

}  // namespace zorel::bench
