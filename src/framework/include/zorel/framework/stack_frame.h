#pragma once
// StackFrame: the arguments of one plug-in construction or one method call.
//
// Positional arguments are the script's values as text, in call order, with
// their %...% path variables already expanded when they entered the frame.
// Named arguments come from the members of a JSON object given to a
// constructor. The typed readers raise exceptions on unconvertible text;
// plug-in methods let them escape to the object manager, which turns them
// into an empty answer for the script.

#include <cstdint>
#include <deque>
#include <map>
#include <string>

namespace zorel {

// The boolean rule shared by BoolAt, PopBool and GetNamedBool: "true" (any
// case) is true, "false" (any case) and "0" are false, every other text,
// the empty one included, is true.
bool TextToBool(const std::wstring& text);

// Base-10 conversion with wcstol rules (leading blanks, sign, leading digits).
// Throws std::invalid_argument("invalid stoi argument") without digits and
// std::out_of_range("stoi argument out of range") outside 32 bits.
int32_t TextToInt(const std::wstring& text);

// wcstod narrowed to a 32-bit float. Throws std::invalid_argument("invalid
// stof argument") without a number and std::out_of_range("stof argument out
// of range") when the value does not fit.
float TextToFloat(const std::wstring& text);

class StackFrame {
 public:
  virtual ~StackFrame() = default;

  // Appends the text after expanding its %...% variables.
  void Push(std::wstring text);
  // Appends a JSON text; %...% variables inside its string values are
  // replaced by their values written as JSON string content, so a folder
  // path with backslashes keeps the text valid JSON. Keys are left alone.
  void PushJson(std::wstring json);
  // Appends a text the script gave as a string: a JSON object or array text
  // as PushJson does, any other text as Push does. The reporting functions
  // take their argument this way, since a script may hand them JSON text.
  void PushTextOrJson(std::wstring text);
  void PushBool(bool value);
  void PushInt(int32_t value);

  // Reads the members of the top-level JSON object in `json` (UTF-8) as named
  // arguments: each value in its JSON-library text form, variables expanded.
  // A key already present keeps its first value. Malformed text, a value
  // that has no text form (array, object) or a non-object end the reading
  // quietly.
  void AddNamedArguments(const std::string& json);

  int32_t Count() const { return static_cast<int32_t>(positional_.size()); }
  // Indexes are checked: an index outside the frame throws std::out_of_range,
  // which the object manager reports like any failed call.
  const std::wstring& TextAt(int32_t index) const;
  bool BoolAt(int32_t index) const { return TextToBool(TextAt(index)); }
  int32_t IntAt(int32_t index) const { return TextToInt(TextAt(index)); }
  float FloatAt(int32_t index) const { return TextToFloat(TextAt(index)); }

  // The last positional argument, removed. Throws std::out_of_range when the
  // frame has none.
  std::wstring PopText();
  bool PopBool() { return TextToBool(PopText()); }

  // Copy the named value into `out` when the key is present; otherwise `out`
  // keeps what the caller put there.
  void GetNamedText(const std::string& key, std::wstring& out) const;
  void GetNamedBool(const std::string& key, bool& out) const;
  void GetNamedFloat(const std::string& key, float& out) const;
  bool HasNamed(const std::string& key) const { return named_.count(key) != 0; }

  const std::deque<std::wstring>& positional() const { return positional_; }
  const std::map<std::string, std::wstring>& named() const { return named_; }

 private:
  std::deque<std::wstring> positional_;
  std::map<std::string, std::wstring> named_;
};

}  // namespace zorel
