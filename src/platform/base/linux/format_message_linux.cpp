// FormatMessageW over message tables and the system's texts (see
// format_message.h).

#include "zorel/platform/base/format_message.h"

#include "zorel/platform/base/error_message.h"
#include "zorel/platform/fs/message_table.h"

namespace zorel::platform {
namespace {

bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Applies a printf string conversion ("s", "-20.3ls", "ws") to text; any
// other conversion gives the text as it is.
std::wstring applyFormat(std::wstring_view format, const std::wstring& text) {
  size_t i = 0;
  bool left = false;
  while (i < format.size() && std::wstring_view(L"-+ #0").find(format[i]) != std::wstring_view::npos)
    left |= format[i++] == L'-';
  size_t width = 0, precision = std::wstring::npos;
  while (i < format.size() && isDigit(format[i]) && width < 100000)
    width = width * 10 + static_cast<size_t>(format[i++] - L'0');
  if (i < format.size() && format[i] == L'.') {
    precision = 0;
    ++i;
    while (i < format.size() && isDigit(format[i]) && precision < 100000)
      precision = precision * 10 + static_cast<size_t>(format[i++] - L'0');
  }
  while (i < format.size() && std::wstring_view(L"hlwL").find(format[i]) != std::wstring_view::npos)
    ++i;
  if (i + 1 != format.size() || (format[i] != L's' && format[i] != L'S')) return text;
  std::wstring out = text.substr(0, precision);
  if (out.size() < width) {
    const std::wstring pad(width - out.size(), L' ');
    out = left ? out + pad : pad + out;
  }
  return out;
}

}  // namespace

std::wstring expandMessage(std::wstring_view source, uint32_t flags,
                           const std::vector<std::wstring>* arguments) {
  const bool oneLine = (flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != 0;
  const bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
  std::wstring out;
  out.reserve(source.size());
  for (size_t i = 0; i < source.size(); ++i) {
    const wchar_t c = source[i];
    if (oneLine && (c == L'\r' || c == L'\n')) {
      if (c == L'\r' && i + 1 < source.size() && source[i + 1] == L'\n') ++i;
      out.push_back(L' ');
      continue;
    }
    if (c != L'%' || i + 1 >= source.size()) {
      out.push_back(c);
      continue;
    }
    const wchar_t d = source[i + 1];
    if (d >= L'1' && d <= L'9') {
      size_t end = i + 2;
      size_t number = static_cast<size_t>(d - L'0');
      if (end < source.size() && isDigit(source[end])) number = number * 10 + (source[end++] - L'0');
      std::wstring_view format = L"s";
      if (end < source.size() && source[end] == L'!') {
        const size_t close = source.find(L'!', end + 1);
        if (close != std::wstring_view::npos) {
          format = source.substr(end + 1, close - end - 1);
          end = close + 1;
        }
      }
      if (ignoreInserts || !arguments || number > arguments->size())
        out.append(source.substr(i, end - i));  // stays as written
      else
        out += applyFormat(format, (*arguments)[number - 1]);
      i = end - 1;
      continue;
    }
    ++i;
    switch (d) {
      case L'0': return out;
      case L'n': out += L"\r\n"; break;
      case L'r': out.push_back(L'\r'); break;
      case L't': out.push_back(L'\t'); break;
      case L'b': out.push_back(L' '); break;
      default: out.push_back(d); break;  // %% %. %! and the rest: the character
    }
  }
  return out;
}

WinError formatMessage(uint32_t flags, const MessageModule* module, uint32_t id,
                       uint16_t language, size_t bufferChars,
                       const std::vector<std::wstring>* arguments, std::wstring* text) {
  std::wstring source;
  WinError moduleError = ERROR_MR_MID_NOT_FOUND;
  bool found = false;
  if ((flags & FORMAT_MESSAGE_FROM_HMODULE) && module)
    found = (moduleError = module->findMessage(id, language, &source)) == ERROR_SUCCESS;
  if (!found && (flags & FORMAT_MESSAGE_FROM_SYSTEM))
    found = formatSystemMessage(id, source) == ERROR_SUCCESS;
  if (!found)
    return moduleError == ERROR_RESOURCE_LANG_NOT_FOUND ? moduleError : ERROR_MR_MID_NOT_FOUND;
  std::wstring result =
      expandMessage(source, flags, (flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) ? arguments : nullptr);
  if (result.size() + 1 > bufferChars) return ERROR_INSUFFICIENT_BUFFER;
  *text = std::move(result);
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
