#pragma once
// Stored names inside a cabinet, both ways: building the name a file is
// stored under, and turning a stored name back into a place below an output
// folder without ever leaving it.

#include <filesystem>
#include <optional>
#include <string>

namespace zorel::compress {

// The name a source file is stored under, from the destination the caller
// gave: '/' becomes '\', leading and trailing '\' go, and the source's file
// name is appended as a last element unless the destination already ends in
// it (compared case-insensitively, as Windows compares file names).
std::wstring storedName(const std::wstring& destination,
                        const std::wstring& sourceFileName);

// Joins a folder destination and a subfolder name with '\' (no separator
// when the destination is empty, so names never start with one).
std::wstring joinStored(const std::wstring& destination, const std::wstring& name);

// The relative host path for a stored name, or nothing when the name is
// absolute ('\' or '/' first), carries a drive letter, or has a ".."
// element. Both '\' and '/' separate; empty and "." elements are dropped.
std::optional<std::filesystem::path> relativeTarget(const std::string& stored);

// Creates the folders of `relative` below `root` and returns the file's full
// path. Refuses (nothing, with `why` set) when a folder on the way or the
// file itself is a symbolic link, when a folder on the way is a file, or
// when the file's name is taken by anything but a regular file (a folder,
// a pipe, a device).
std::optional<std::filesystem::path> prepareTarget(const std::filesystem::path& root,
                                                   const std::filesystem::path& relative,
                                                   std::string& why);

// Whether a path ends in ".cab", ignoring case as Windows compares file
// names ("SETUP.CAB" names a cabinet as well).
bool hasCabExtension(const std::wstring& path);

}  // namespace zorel::compress
