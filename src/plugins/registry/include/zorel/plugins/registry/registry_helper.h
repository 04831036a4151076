#pragma once
// RegistryHelper: the registry work of the script's Registry object, written
// against the platform's IRegistry so it runs on any registry (a fake in
// unit tests). The plug-in copies its properties in before each call; each
// operation answers a new return object with "status", "return" and
// "errorcode" set, and leaves the last error behind.
//
// Where the documented behaviour had plain faults, these are mended:
//   - presence checks always open for reading; only setValue's own key step
//     opens for writing (so a later check on the same object is not refused);
//   - isOfDataType stops at a failed presence check;
//   - a recursive deleteKey skips matches inside a key it already deleted;
//   - an empty-InKey delete in the 32-bit view deletes the key that view
//     names (HKLM\SOFTWARE\X is SOFTWARE\WOW6432Node\X, shared keys are
//     themselves);
//   - the tree delete fails on an enumeration error other than 259 and on
//     an exception, instead of looping or reporting success;
//   - an invalid pattern makes deleteKey and deleteValue fail (the exception
//     reaches the plug-in) while isKeyMatch and isValueMatch answer no match;
//   - setValue of type 4 or 11 with data that is not a number in range
//     answers 87, writing nothing and creating no key.
// Names are matched against patterns as whole characters (wide text), never
// by their low bytes.

#include <boost/regex.hpp>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "zorel/platform/registry/registry.h"

namespace zorel {

class CJSONReturn;
class CJSONRegValReturn;

class RegistryHelper {
 public:
  // is64BitSystem: the view flags are 0 on a 32-bit Windows.
  RegistryHelper(platform::IRegistry& registry, bool is64BitSystem);
  ~RegistryHelper();
  RegistryHelper(const RegistryHelper&) = delete;
  RegistryHelper& operator=(const RegistryHelper&) = delete;

  void SetKey(const std::wstring& key) { key_ = key; }
  void SetValueName(const std::wstring& name) { value_ = name; }
  void SetData(const std::wstring& data) { data_ = data; }
  void SetExpectedType(uint32_t type) { expectedType_ = type; }
  void Set32Bit(bool is32) { is32_ = is32; }
  int32_t LastError() const { return lastError_; }
  uint32_t ViewFlag() const;

  std::unique_ptr<CJSONReturn> IsKeyPresent();
  std::unique_ptr<CJSONReturn> IsOfDataType();
  std::unique_ptr<CJSONReturn> IsValuePresent();
  std::unique_ptr<CJSONReturn> IsDataPresent();
  std::unique_ptr<CJSONReturn> CreateKey() { return CreateKeyWith(platform::KEY_READ); }
  std::unique_ptr<CJSONReturn> IsKeyMatch(const std::wstring& pattern, bool recursive) {
    return Match(pattern, recursive, false);
  }
  std::unique_ptr<CJSONReturn> IsValueMatch(const std::wstring& pattern, bool recursive) {
    return Match(pattern, recursive, true);
  }
  // Throws std::exception for an invalid pattern.
  std::unique_ptr<CJSONReturn> DeleteKey(const std::wstring& pattern, bool recursive);
  std::unique_ptr<CJSONReturn> DeleteValue(const std::wstring& pattern, bool recursive);
  std::unique_ptr<CJSONReturn> SetValue();
  std::unique_ptr<CJSONReturn> IsDataMatching(int32_t typeOfCheck, const std::wstring& data);
  std::unique_ptr<CJSONRegValReturn> GetValue();

  // The registry type number of `type` as the Registry object's property
  // gives it: signed decimal text with wcstol's rules. Throws when there
  // are no digits.
  static uint32_t ParseType(const std::wstring& type);
  // A whole name against a pattern (Perl syntax, case ignored). Throws for
  // an invalid pattern.
  static bool Matches(const std::wstring& name, const std::wstring& pattern);
  // The compiled pattern (Perl syntax, case ignored by Unicode's rules).
  // Throws for an invalid pattern.
  static boost::wregex Pattern(const std::wstring& pattern);
  // Text compared without regard to case, by Unicode's rules.
  static bool SameNoCase(const std::wstring& a, const std::wstring& b);

 private:
  struct Walk;
  std::unique_ptr<CJSONReturn> PresenceCheck();
  // isKeyMatch (values false) and isValueMatch (values true).
  std::unique_ptr<CJSONReturn> Match(const std::wstring& pattern, bool recursive, bool values);
  std::unique_ptr<CJSONReturn> CreateKeyWith(uint32_t access);
  bool ParseKey();
  void CloseOpenKey();
  platform::WinError ReadTypeAndSize(uint32_t* type, uint32_t* size);
  platform::WinError ValueText(uint32_t* type, std::wstring* text);
  void WalkKey(Walk& walk, const std::wstring& path, int depth);
  platform::WinError TreeDelete(const std::wstring& path, int depth);
  platform::WinError DeleteWholeKey();

  platform::IRegistry& registry_;
  bool is64_;
  std::wstring key_, value_, data_;
  uint32_t expectedType_ = 0;
  bool is32_ = false;
  int32_t lastError_ = 0;
  platform::RegKey root_ = platform::kRegNoKey;
  platform::RegKey openKey_ = platform::kRegNoKey;
  std::wstring subKey_;
};

}  // namespace zorel
