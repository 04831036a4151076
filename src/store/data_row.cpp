#include "zorel/store/data_row.h"

namespace zorel {

std::any& DataRow::At(const std::wstring& name) { return values_[name]; }

void DataRow::Set(const std::wstring& name, int32_t value) { values_[name] = value; }
void DataRow::Set(const std::wstring& name, float value) { values_[name] = value; }
void DataRow::Set(const std::wstring& name, bool value) { values_[name] = value; }
void DataRow::Set(const std::wstring& name, std::wstring value) {
  values_[name] = std::move(value);
}
void DataRow::Set(const std::wstring& name, const wchar_t* value) {
  values_[name] = std::wstring(value ? value : L"");
}

namespace {

template <typename T>
void setIfPresent(std::map<std::wstring, std::any>& values, const std::wstring& name, T value) {
  auto it = values.find(name);
  if (it != values.end()) it->second = std::move(value);
}

template <typename T>
void readAs(const std::map<std::wstring, std::any>& values, const std::wstring& name, T& out) {
  auto it = values.find(name);
  if (it == values.end()) return;
  if (const T* held = std::any_cast<T>(&it->second)) out = *held;
}

}  // namespace

void DataRow::SetIfPresent(const std::wstring& name, int32_t value) {
  setIfPresent(values_, name, value);
}
void DataRow::SetIfPresent(const std::wstring& name, float value) {
  setIfPresent(values_, name, value);
}
void DataRow::SetIfPresent(const std::wstring& name, bool value) {
  setIfPresent(values_, name, value);
}
void DataRow::SetIfPresent(const std::wstring& name, std::wstring value) {
  setIfPresent(values_, name, std::move(value));
}

void DataRow::GetInt(const std::wstring& name, int32_t& out) const { readAs(values_, name, out); }
void DataRow::GetFloat(const std::wstring& name, float& out) const { readAs(values_, name, out); }
void DataRow::GetString(const std::wstring& name, std::wstring& out) const {
  readAs(values_, name, out);
}
void DataRow::GetBool(const std::wstring& name, bool& out) const { readAs(values_, name, out); }

}  // namespace zorel
