#pragma once
// FormatMessageW: a message from a module's message table or the system's,
// with its inserts and escapes.
//
// Windows: kernel32's FormatMessageW with an argument array of strings.
// Linux emulation: the module is a MessageModule (fs/message_table.h), the
// system table is error_message.h's. Inserts %1..%99, each optionally with
// !fmt! (a printf string conversion applies its flags, width and precision;
// any other conversion inserts the string as it is); an insert past the
// arguments stays as written; inserted text is never scanned again.
// Escapes: %0 ends the text, %% %. %! give the character, %n CR LF, %r CR,
// %t tab, %b a blank. With a width in FORMAT_MESSAGE_MAX_WIDTH_MASK each
// line break of the message text (CR LF, CR or LF) becomes one blank, and
// %n breaks stay; lines are not wrapped at the width.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class MessageModule;

inline constexpr uint32_t FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;
inline constexpr uint32_t FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr uint32_t FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr uint32_t FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr uint32_t FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;

// Expands the inserts and escapes of `source` (the pure half of the call).
// `arguments` null: none (every insert stays as written).
std::wstring expandMessage(std::wstring_view source, uint32_t flags,
                           const std::vector<std::wstring>* arguments);

// FormatMessageW(flags, module, id, language, buffer, bufferChars,
// arguments): the module's table first (FROM_HMODULE), then the system's
// (FROM_SYSTEM).
// RETURNS 0 with *text; the module's 1815 when only another language has a
// table and the system has no text either; ERROR_MR_MID_NOT_FOUND (317);
// ERROR_INSUFFICIENT_BUFFER (122) when the text and its NUL exceed
// bufferChars.
WinError formatMessage(uint32_t flags, const MessageModule* module, uint32_t id,
                       uint16_t language, size_t bufferChars,
                       const std::vector<std::wstring>* arguments, std::wstring* text);

}  // namespace zorel::platform
