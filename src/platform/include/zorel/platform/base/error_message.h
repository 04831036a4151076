#pragma once
// The system's text for an error code.
//
// Windows: FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, ..., LANG_NEUTRAL).
// Linux emulation: a table of the en-US texts of the codes this program can
// meet. Texts end in "\r\n" exactly as FormatMessageW returns them.

#include <cstdint>
#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

// The message for a Win32 error code, or for an HRESULT of the Win32 facility
// (0x8007xxxx) or one of the common COM HRESULTs.
//   [O] text  set only on success.
// RETURNS 0, or ERROR_MR_MID_NOT_FOUND (317) for a code without a message.
WinError formatSystemMessage(uint32_t code, std::wstring& text);

// Convenience: the message, or the empty text.
std::wstring systemErrorMessage(uint32_t code);

}  // namespace zorel::platform
