#pragma once
// File: the check script's file and folder operations. Presence tests, file
// and disk information, a regular-expression search, create / copy / rename
// / delete, downloads, cabinet extraction, find-and-replace in a file, and
// the pattern walks that remove matching files, describe them in a CSV file
// or ask the result store to collect them.
//
// Paths are Windows paths of the machine; every method hands them to the
// platform's file calls (platform/fs/files.h) as they are. Each method writes one operation record
// (component "File") and answers a CJSONReturn or subclass; none throws to
// the script except through a failed argument conversion. The methods, their
// record types and input keys are the rows of kSurface.

#include <cstdint>
#include <memory>
#include <string>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/framework/stack_frame.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class DataTable;
class PluginCall;

// FILE_COLLECTION_TABLE: the recursion and filter flags of a pattern or
// recursive collection request (packaging reads it back by ID).
void CreateFileCollectionTable(DataTable& table);

class File : public CMethodDispatcher {
 public:
  static constexpr const wchar_t* kComponentPath = L"plugins\\win\\File";
  // The script-visible surface: component "File" and its methods.
  static const PluginSurface kSurface;

  explicit File(StackFrame& args);

  // Script-visible properties.
  std::wstring filename;
  std::wstring foldername;
  std::wstring driveletter;
  int32_t errorcode = 0;
  // Set when the last pattern walk met a matching file.
  uint8_t matchFlag = 0;

  // How long downloadFile may take, in seconds (tests shorten it).
  long downloadTimeoutSeconds = 300;

  std::unique_ptr<CJSONReturn> isFilePresent(StackFrame& args);
  std::unique_ptr<CJSONReturn> isFolderPresent(StackFrame& args);
  std::unique_ptr<CJSONReturn> removeFile(StackFrame& args);
  std::unique_ptr<CJSONReturn> deleteFolder(StackFrame& args);
  std::unique_ptr<CJSONReturn> renameFile(StackFrame& args);
  std::unique_ptr<CJSONReturn> isRegExExistInFile(StackFrame& args);
  std::unique_ptr<CJSONReturn> collect(StackFrame& args);
  std::unique_ptr<CJSONReturn> downloadFile(StackFrame& args);
  std::unique_ptr<CJSONReturnFileInfo> getFileInfo(StackFrame& args);
  std::unique_ptr<CJSONReturnDiskInfo> getDiskInfo(StackFrame& args);
  std::unique_ptr<CJSONReturn> getFolderContents(StackFrame& args);
  std::unique_ptr<CJSONReturn> collectFileInfo(StackFrame& args);
  std::unique_ptr<CJSONReturn> findAndReplaceContent(StackFrame& args);
  std::unique_ptr<CJSONReturn> create(StackFrame& args);
  std::unique_ptr<CJSONReturn> createCopy(StackFrame& args);
  std::unique_ptr<CJSONReturn> extractCompressedFile(StackFrame& args);

 private:
  struct SearchRecord;
  // The folder walk shared by removeFile and collectFileInfo.
  void walk(const std::wstring& folder, SearchRecord& search);
  void describeMatch(const std::wstring& path, SearchRecord& search);
  // Whole-line and replace edits of findAndReplaceContent; false when
  // nothing matched (the file is then left as it was).
  bool editWholeLines(const std::wstring& path, const std::wstring& find,
                      const std::wstring& prefix, PluginCall& call);
  bool editReplace(const std::wstring& path, const std::wstring& find,
                   const std::wstring& replacement, PluginCall& call);
};

// The factory's creation function for "File".
std::unique_ptr<CMethodDispatcher> CreateFilePlugin(StackFrame& args);

}  // namespace zorel
