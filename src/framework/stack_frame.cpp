// StackFrame: argument storage and the text conversions plug-ins read
// their arguments with.

#include "zorel/framework/stack_frame.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <stdexcept>

#include <json/reader.h>
#include <json/value.h>

#include "path_expansion.h"
#include "zorel/common/utf8.h"

namespace zorel {

bool TextToBool(const std::wstring& text) {
  std::wstring lower(text);
  for (auto& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  if (lower == L"true") return true;
  if (lower == L"false") return false;
  return lower != L"0";
}

int32_t TextToInt(const std::wstring& text) {
  const wchar_t* begin = text.c_str();
  wchar_t* end = nullptr;
  errno = 0;
  long value = std::wcstol(begin, &end, 10);
  if (end == begin) throw std::invalid_argument("invalid stoi argument");
  if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
    throw std::out_of_range("stoi argument out of range");
  return static_cast<int32_t>(value);
}

float TextToFloat(const std::wstring& text) {
  const wchar_t* begin = text.c_str();
  wchar_t* end = nullptr;
  errno = 0;
  double value = std::wcstod(begin, &end);
  if (end == begin) throw std::invalid_argument("invalid stof argument");
  if (errno == ERANGE || (std::isfinite(value) && std::fabs(value) > FLT_MAX))
    throw std::out_of_range("stof argument out of range");
  return static_cast<float>(value);
}

void StackFrame::Push(std::wstring text) {
  ExpandPathVariables(text);
  positional_.push_back(std::move(text));
}

void StackFrame::PushJson(std::wstring json) {
  ExpandJsonStringValues(json);
  positional_.push_back(std::move(json));
}

namespace {

// True for a text that parses as a JSON object or array (blanks around it
// allowed), the texts whose string values PushJson expands one by one.
bool IsJsonText(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos || (text[first] != L'{' && text[first] != L'[')) return false;
  const std::string narrow = toUtf8(text);
  Json::CharReaderBuilder builder;
  builder["failIfExtra"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value root;
  std::string errors;
  try {
    return reader->parse(narrow.data(), narrow.data() + narrow.size(), &root, &errors);
  } catch (...) {
    return false;  // nested deeper than the reader follows
  }
}

}  // namespace

void StackFrame::PushTextOrJson(std::wstring text) {
  if (IsJsonText(text)) {
    PushJson(std::move(text));
  } else {
    Push(std::move(text));
  }
}

void StackFrame::PushBool(bool value) { positional_.push_back(value ? L"1" : L"0"); }

void StackFrame::PushInt(int32_t value) { positional_.push_back(std::to_wstring(value)); }

void StackFrame::AddNamedArguments(const std::string& json) {
  try {
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(json.data(), json.data() + json.size(), &root, &errors)) return;
    if (!root.isObject()) return;
    for (auto it = root.begin(); it != root.end(); ++it) {
      // asString throws for arrays and objects; that ends the reading, and
      // the members read so far stay.
      std::wstring value = fromUtf8(it->asString());
      ExpandPathVariables(value);
      named_.emplace(it.name(), std::move(value));
    }
  } catch (...) {
    // Malformed construction arguments give fewer named arguments; the
    // plug-in checks for what it needs.
  }
}

const std::wstring& StackFrame::TextAt(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= positional_.size())
    throw std::out_of_range("argument index out of range");
  return positional_[static_cast<size_t>(index)];
}

std::wstring StackFrame::PopText() {
  if (positional_.empty()) throw std::out_of_range("no argument to pop");
  std::wstring last = std::move(positional_.back());
  positional_.pop_back();
  return last;
}

void StackFrame::GetNamedText(const std::string& key, std::wstring& out) const {
  auto it = named_.find(key);
  if (it != named_.end()) out = it->second;
}

void StackFrame::GetNamedBool(const std::string& key, bool& out) const {
  auto it = named_.find(key);
  if (it != named_.end()) out = TextToBool(it->second);
}

void StackFrame::GetNamedFloat(const std::string& key, float& out) const {
  auto it = named_.find(key);
  if (it != named_.end()) out = TextToFloat(it->second);
}

}  // namespace zorel
