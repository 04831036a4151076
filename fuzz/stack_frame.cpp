// libFuzzer target: any argument text (UTF-8) through the argument frame,
// the %...% expansion on the machine's variables and the JSON-aware
// expansion.
// Properties: nothing but std::invalid_argument and std::out_of_range leaves
// the typed readers; a text without "%" enters the frame unchanged; and for
// a strict JSON text, expanding its string values with an expander whose
// values hold quotes, backslashes and control characters keeps it strict
// JSON of the same shape, member names included, with every string value
// expanded as the expander says.

#include <json/reader.h>
#include <json/value.h>

#include <stdexcept>

#include "../src/framework/path_expansion.h"
#include "fuzz_support.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/stack_frame.h"

namespace zorel::fuzz {
namespace {

// Replaces each %NAME% pair by a value that needs escaping in JSON.
bool HostileExpand(std::wstring& text) {
  std::wstring out;
  bool changed = false;
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find(L'%', i);
    const size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    out.append(text, i, open - i);
    out += L"C:\\Dir \"q\"\n\t\x01/" + text.substr(open + 1, close - open - 1);
    changed = true;
    i = close + 1;
  }
  out.append(text, std::min(i, text.size()), std::wstring::npos);
  text = out;
  return changed;
}

bool ParseStrict(const std::string& text, Json::Value& value) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  try {
    return reader->parse(text.data(), text.data() + text.size(), &value, &errors);
  } catch (const std::exception&) {
    return false;  // deeper than the reader follows
  }
}

// `expanded` has the shape of `original` and each string value of it is
// the original's, expanded.
void CheckExpanded(const Json::Value& original, const Json::Value& expanded, bool compareText) {
  Require(original.type() == expanded.type(), "expansion changed a JSON value's type");
  if (original.isObject()) {
    Require(original.getMemberNames() == expanded.getMemberNames(),
            "expansion changed the member names");
    for (const std::string& name : original.getMemberNames())
      CheckExpanded(original[name], expanded[name], compareText);
  } else if (original.isArray()) {
    Require(original.size() == expanded.size(), "expansion changed an array's length");
    for (Json::ArrayIndex i = 0; i < original.size(); ++i)
      CheckExpanded(original[i], expanded[i], compareText);
  } else if (original.isString() && compareText) {
    std::wstring want = fromUtf8(original.asString());
    HostileExpand(want);
    Require(toUtf8(want) == expanded.asString(), "a string value was expanded wrongly");
  }
}

void ReadTyped(const StackFrame& frame) {
  for (int32_t i = 0; i < frame.Count(); ++i) {
    frame.BoolAt(i);
    try {
      frame.IntAt(i);
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
    try {
      frame.FloatAt(i);
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
  }
  for (const auto& [key, value] : frame.named()) {
    float number = 0;
    bool flag = false;
    try {
      frame.GetNamedFloat(key, number);
    } catch (const std::invalid_argument&) {
    } catch (const std::out_of_range&) {
    }
    frame.GetNamedBool(key, flag);
  }
}

}  // namespace
}  // namespace zorel::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zorel::fuzz::ThrowAwayMachine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorel;
  using namespace zorel::fuzz;
  const std::string narrow(reinterpret_cast<const char*>(data), size);
  const std::wstring text = fromUtf8(narrow);

  StackFrame frame;
  frame.Push(text);
  frame.PushTextOrJson(text);
  frame.PushJson(text);
  frame.AddNamedArguments(narrow);
  if (text.find(L'%') == std::wstring::npos)
    for (const std::wstring& pushed : frame.positional())
      Require(pushed == text, "a text without variables changed on its way in");
  ReadTyped(frame);
  try {
    frame.TextAt(frame.Count());
    Fail("an index past the frame was read");
  } catch (const std::out_of_range&) {
  }

  Json::Value original;
  if (!ParseStrict(toUtf8(text), original)) return 0;
  std::wstring expanded = text;
  ExpandJsonStringValues(expanded, HostileExpand);
  Json::Value after;
  Require(ParseStrict(toUtf8(expanded), after), "expansion broke a strict JSON text");
  // \u escapes of surrogates decode to U+FFFD on one side only.
  CheckExpanded(original, after, narrow.find("\\u") == std::string::npos);
  return 0;
}
