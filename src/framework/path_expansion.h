#pragma once
// The one place the framework expands %...% path variables (environment
// variables and special-folder names) in text that reaches a plug-in.

#include <functional>
#include <string>

namespace zorel {

// Expands in place; false when the text holds no "%".
bool ExpandPathVariables(std::wstring& text);

// Expands the variables inside every string value of a JSON text and writes
// the expanded value back as JSON string content (quotes, backslashes and
// control characters escaped), so the text stays valid JSON. Member names
// and everything outside strings are copied unchanged. A text that is not
// well-formed JSON around its strings is still scanned string by string.
void ExpandJsonStringValues(std::wstring& json);
// The same with another expander (tests give one with known values).
void ExpandJsonStringValues(std::wstring& json,
                            const std::function<bool(std::wstring&)>& expand);

}  // namespace zorel
