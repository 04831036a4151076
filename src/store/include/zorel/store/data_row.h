#pragma once
// One row of a table: column name to a dynamically typed value.
//
// A value is empty or holds exactly one of int32_t, float, bool or
// std::wstring. The typed readers never fail: a missing, empty or mistyped
// value leaves the caller's output untouched, so callers preset a default.

#include <any>
#include <cstdint>
#include <map>
#include <string>

namespace zorel {

class DataRow {
 public:
  virtual ~DataRow() = default;

  // The value for |name|, inserting an empty value first when absent.
  // Prefer Set() for writing: it cannot store a type the readers ignore.
  std::any& At(const std::wstring& name);

  // Store a value under |name|, replacing whatever was there.
  void Set(const std::wstring& name, int32_t value);
  void Set(const std::wstring& name, float value);
  void Set(const std::wstring& name, bool value);
  void Set(const std::wstring& name, std::wstring value);
  void Set(const std::wstring& name, const wchar_t* value);

  // Replace the value only when |name| already exists.
  void SetIfPresent(const std::wstring& name, int32_t value);
  void SetIfPresent(const std::wstring& name, float value);
  void SetIfPresent(const std::wstring& name, bool value);
  void SetIfPresent(const std::wstring& name, std::wstring value);

  // Typed readers: copy the value into |out| when it exists and holds
  // exactly that type; otherwise leave |out| as it was.
  void GetInt(const std::wstring& name, int32_t& out) const;
  void GetFloat(const std::wstring& name, float& out) const;
  void GetString(const std::wstring& name, std::wstring& out) const;
  void GetBool(const std::wstring& name, bool& out) const;

  bool Has(const std::wstring& name) const { return values_.count(name) != 0; }
  const std::map<std::wstring, std::any>& Values() const { return values_; }

 private:
  std::map<std::wstring, std::any> values_;  // ordered by code unit, case-sensitive
};

}  // namespace zorel
