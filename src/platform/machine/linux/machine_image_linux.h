#pragma once
// Building a machine root from an image folder.

#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform::detail {

// Applies one image to the machine folder dir (which gets drive_c,
// registry.db and eventlog.db): first tree.txt, then every *.reg file in
// name order, then the records of every eventlog/*.jsonl file in name
// order (eventlog/event_import.h).
// tree.txt lines: a Windows path below C:\ makes a folder ("Windows\System32");
// "file <path>" makes an empty file; '#' starts a comment.
// RETURNS ERROR_SUCCESS, or the first error; message tells what failed.
WinError applyImage(const std::string& dir, const std::string& imageDir, std::wstring* message);

}  // namespace zorel::platform::detail
