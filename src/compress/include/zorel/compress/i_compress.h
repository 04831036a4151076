#pragma once
// The cabinet builder as the result store and the plug-ins see it.
//
// Paths are host paths for now (wide text, UTF-8 on the host); the caller
// maps the program's Windows paths before it calls in.

#include <string>

namespace zorel {

class ICompress {
 public:
  virtual ~ICompress() = default;

  // Chooses the cabinet file to write and empties the list of entries.
  virtual void SetTarget(const std::wstring& path) = 0;
  // Lists one file to store at `destination` inside the cabinet. False for
  // an empty path, a folder or a missing file.
  virtual bool AddFile(const std::wstring& source,
                       const std::wstring& destination) = 0;
  // Lists a folder to store, recursively, below `destination`. False for an
  // empty path, a file, a missing or an empty folder.
  virtual bool AddFolder(const std::wstring& source,
                         const std::wstring& destination) = 0;
  // Writes the cabinet (and its continuation cabinets) from the list.
  virtual bool Compress() = 0;
};

}  // namespace zorel
