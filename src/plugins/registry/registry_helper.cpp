// RegistryHelper: key parsing, the presence check, value reads and checks,
// key creation and setValue. The pattern walks and deletions are in
// registry_walk.cpp.

#include "zorel/plugins/registry/registry_helper.h"

#include <boost/regex.hpp>

#include <cwctype>
#include <limits>
#include <locale>
#include <stdexcept>

#include "zorel/common/utf8.h"
#include "zorel/framework/stack_frame.h"
#include "zorel/log/framework_log.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_returns.h"

namespace zorel {

using namespace platform;
namespace pe = plugin_error;

namespace {

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// The roots the Registry object knows (HKUS, not reg's HKU).
RegKey RootOf(const std::wstring& name) {
  const std::wstring u = Upper(name);
  if (u == L"HKEY_LOCAL_MACHINE" || u == L"HKLM") return kHkeyLocalMachine;
  if (u == L"HKEY_CLASSES_ROOT" || u == L"HKCR") return kHkeyClassesRoot;
  if (u == L"HKEY_CURRENT_CONFIG" || u == L"HKCC") return kHkeyCurrentConfig;
  if (u == L"HKEY_CURRENT_USER" || u == L"HKCU") return kHkeyCurrentUser;
  if (u == L"HKEY_USERS" || u == L"HKUS") return kHkeyUsers;
  return kRegNoKey;
}

bool Present(const CJSONReturn& r) { return r.status && r.returnValue; }

// UTF-16LE code units of text, without a terminating NUL.
std::vector<uint8_t> Utf16(const std::wstring& text) {
  std::vector<uint8_t> bytes = regSz(text);
  bytes.resize(bytes.size() - 2);
  return bytes;
}

// Optional sign, then digits only; the value must lie in [low, high].
bool ParseNumber(const std::wstring& text, long double low, long double high, long double* out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  if (i >= text.size() || text.size() - i > 20) return false;
  long double n = 0;
  for (; i < text.size(); ++i) {
    if (!std::iswdigit(text[i])) return false;
    n = n * 10 + (text[i] - L'0');
  }
  if (negative) n = -n;
  if (n < low || n > high) return false;
  *out = n;
  return true;
}

// Case rules for every character, not only ASCII: the host's C.UTF-8
// locale when it has one.
const std::locale& TextLocale() {
  static const std::locale locale = [] {
    try {
      return std::locale("C.UTF-8");
    } catch (...) {
      return std::locale();
    }
  }();
  return locale;
}

}  // namespace

bool RegistryHelper::SameNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  const std::locale& locale = TextLocale();
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(a[i], locale) != std::toupper(b[i], locale)) return false;
  }
  return true;
}

boost::wregex RegistryHelper::Pattern(const std::wstring& pattern) {
  boost::wregex re;
  re.imbue(TextLocale());
  re.assign(pattern, boost::regex::perl | boost::regex::icase);
  return re;
}

RegistryHelper::RegistryHelper(IRegistry& registry, bool is64BitSystem)
    : registry_(registry), is64_(is64BitSystem) {}

RegistryHelper::~RegistryHelper() { CloseOpenKey(); }

uint32_t RegistryHelper::ViewFlag() const {
  if (!is64_) return 0;
  return is32_ ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

uint32_t RegistryHelper::ParseType(const std::wstring& type) {
  return static_cast<uint32_t>(TextToInt(type));
}

bool RegistryHelper::Matches(const std::wstring& name, const std::wstring& pattern) {
  return boost::regex_match(name, Pattern(pattern));
}

void RegistryHelper::CloseOpenKey() {
  if (openKey_ != kRegNoKey) registry_.closeKey(openKey_);
  openKey_ = kRegNoKey;
}

bool RegistryHelper::ParseKey() {
  try {
    const size_t slash = key_.find(L'\\');
    root_ = RootOf(slash == std::wstring::npos ? key_ : key_.substr(0, slash));
    subKey_ = slash == std::wstring::npos ? L"" : key_.substr(slash + 1);
    if (root_ == kRegNoKey) {
      lastError_ = ERROR_INVALID_PARAMETER;
      return false;
    }
    return true;
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured");
    lastError_ = ERROR_INVALID_PARAMETER;
    return false;
  }
}

std::unique_ptr<CJSONReturn> RegistryHelper::PresenceCheck() {
  auto result = std::make_unique<CJSONReturn>();
  try {
    const uint32_t view = ViewFlag();
    FrameworkLog::Instance().Write(LogLevel::Info, L"m_RedirectFlag:%ld", static_cast<long>(view));
    if (!ParseKey()) {
      result->errorcode = lastError_;
      return result;
    }
    CloseOpenKey();
    lastError_ = registry_.openKey(root_, subKey_, 0, KEY_READ | view, &openKey_);
    if (lastError_ != ERROR_SUCCESS) openKey_ = kRegNoKey;
    switch (lastError_) {
      case ERROR_SUCCESS:
        result->status = result->returnValue = true;
        break;
      case ERROR_FILE_NOT_FOUND:
        result->status = true;
        FrameworkLog::Instance().Write(LogLevel::Error, L"key: %s is not present on system", key_.c_str());
        break;
      case ERROR_ACCESS_DENIED:
        result->status = result->returnValue = true;
        FrameworkLog::Instance().Write(LogLevel::Error, L"Key: %s is present but access denied in opening key", key_.c_str());
        break;
      default:
        FrameworkLog::Instance().Write(LogLevel::Error, L"Operation failed with error: %ld", static_cast<long>(lastError_));
        break;
    }
    result->errorcode = lastError_;
  } catch (...) {
    lastError_ = pe::kApiFailed;
    result->status = result->returnValue = false;
    result->errorcode = pe::kApiFailed;
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured in checking registry key presence");
  }
  return result;
}

std::unique_ptr<CJSONReturn> RegistryHelper::IsKeyPresent() { return PresenceCheck(); }

WinError RegistryHelper::ReadTypeAndSize(uint32_t* type, uint32_t* size) {
  CloseOpenKey();
  lastError_ = registry_.openKey(root_, subKey_, 0, KEY_READ | ViewFlag(), &openKey_);
  if (lastError_ != ERROR_SUCCESS) {
    openKey_ = kRegNoKey;
    FrameworkLog::Instance().Write(LogLevel::Error, L"\nopening key failed");
    return lastError_;
  }
  lastError_ = registry_.queryValue(openKey_, value_, type, nullptr, size);
  return lastError_;
}

WinError RegistryHelper::ValueText(uint32_t* type, std::wstring* text) {
  uint32_t size = 0;
  if (ReadTypeAndSize(type, &size) != ERROR_SUCCESS) return lastError_;
  RegValue value;
  lastError_ = readValue(registry_, openKey_, value_, &value);
  if (lastError_ != ERROR_SUCCESS) return lastError_;
  *type = value.type;
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_BINARY:
      *text = regText(value.data);
      break;
    case REG_MULTI_SZ:
      text->clear();
      for (const std::wstring& item : regMultiText(value.data)) *text += item + L" ";
      break;
    case REG_DWORD: {
      uint32_t n = 0;
      for (size_t i = 0; i < 4 && i < value.data.size(); ++i) n |= uint32_t{value.data[i]} << (8 * i);
      *text = std::to_wstring(n);
      break;
    }
    default:
      lastError_ = pe::kDataTypeMissing;
  }
  return lastError_;
}

std::unique_ptr<CJSONReturn> RegistryHelper::IsValuePresent() {
  auto result = PresenceCheck();
  try {
    if (!result->status) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"Operation failed with error: %ld", static_cast<long>(lastError_));
      result->errorcode = lastError_;
      return result;
    }
    if (!result->returnValue) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"Key is not present so, could not proceed to check value");
      result->status = false;
      result->errorcode = lastError_;
      return result;
    }
    lastError_ = registry_.queryValue(openKey_, value_, nullptr, nullptr, nullptr);
    if (lastError_ == ERROR_SUCCESS) {
      result->status = result->returnValue = true;
      FrameworkLog::Instance().Write(LogLevel::Info, L"key: %s value: %s present", subKey_.c_str(), value_.c_str());
    } else if (lastError_ == ERROR_FILE_NOT_FOUND) {
      result->status = true;
      result->returnValue = false;
      FrameworkLog::Instance().Write(LogLevel::Info, L"key: %s value: %s not present", subKey_.c_str(), value_.c_str());
    } else {
      result->status = result->returnValue = false;
      FrameworkLog::Instance().Write(LogLevel::Error, L"Failed in querying value from registry with errorcode:%d", lastError_);
    }
    result->errorcode = lastError_;
  } catch (...) {
    result->status = result->returnValue = false;
    result->errorcode = lastError_ = pe::kApiFailed;
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured in finding value presence in registry");
  }
  return result;
}

std::unique_ptr<CJSONReturn> RegistryHelper::IsDataPresent() {
  auto result = IsValuePresent();
  try {
    if (!result->status) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"ValuePresent Operation failed with error: %ld", static_cast<long>(lastError_));
      return result;
    }
    if (!result->returnValue) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"value is not present so, could not proceed to check data");
      result->status = false;
      result->errorcode = pe::kValueNotPresent;
      return result;
    }
    uint32_t type = 0, size = 0;
    if (ReadTypeAndSize(&type, &size) != ERROR_SUCCESS) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"Failed in getting size");
      result->status = result->returnValue = false;
      result->errorcode = lastError_;
    } else if (size > 1) {
      result->status = result->returnValue = true;
      FrameworkLog::Instance().Write(LogLevel::Info, L"data exists");
    } else {
      result->status = true;
      result->returnValue = false;
      result->errorcode = pe::kDataNotFound;
      FrameworkLog::Instance().Write(LogLevel::Info, L"data not exists");
    }
  } catch (...) {
    result->status = result->returnValue = false;
    result->errorcode = lastError_ = pe::kApiFailed;
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured");
  }
  return result;
}

std::unique_ptr<CJSONReturn> RegistryHelper::IsOfDataType() {
  auto result = PresenceCheck();
  try {
    // A failed check (an unknown root, for one) ends the call: nothing
    // below may run against a root it did not set.
    if (!result->status) return result;
    if (!result->returnValue) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"\nKey is not present so, could not proceed to check datatype");
      result->status = false;
      result->errorcode = lastError_;
      return result;
    }
    uint32_t type = 0, size = 0;
    if (ReadTypeAndSize(&type, &size) != ERROR_SUCCESS) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"\nFailed in getting datatype");
      result->status = result->returnValue = false;
      result->errorcode = lastError_;
      return result;
    }
    result->status = true;
    result->returnValue = type == expectedType_;
    result->errorcode = result->returnValue ? 0 : pe::kDataTypeMissing;
  } catch (...) {
    result->status = result->returnValue = false;
    result->errorcode = lastError_ = pe::kApiFailed;
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured in verifying datatype of registry value");
  }
  return result;
}

std::unique_ptr<CJSONRegValReturn> RegistryHelper::GetValue() {
  auto answer = std::make_unique<CJSONRegValReturn>();
  try {
    auto presence = PresenceCheck();
    if (Present(*presence)) {
      uint32_t type = 0;
      std::wstring text;
      if (ValueText(&type, &text) == ERROR_SUCCESS) {
        FrameworkLog::Instance().Write(LogLevel::Info, L"datatype:%d data:%s", static_cast<int>(type), text.c_str());
        answer->type = static_cast<int32_t>(type);
        answer->value = toUtf8(text);
        answer->status = true;
      }
    }
    answer->errorcode = lastError_;
  } catch (...) {
    answer->status = false;
    answer->errorcode = lastError_ = pe::kApiFailed;
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured");
  }
  return answer;
}

std::unique_ptr<CJSONReturn> RegistryHelper::IsDataMatching(int32_t typeOfCheck,
                                                            const std::wstring& data) {
  auto result = PresenceCheck();
  try {
    if (!result->status) return result;
    if (!result->returnValue) {
      result->errorcode = pe::kKeyNotPresent;
      return result;
    }
    uint32_t type = 0;
    std::wstring text;
    if (ValueText(&type, &text) != ERROR_SUCCESS) {
      result->status = result->returnValue = false;
      result->errorcode = lastError_;
      return result;
    }
    bool match = true;
    switch (typeOfCheck) {
      case 0:
        match = Matches(text, data);
        break;
      case 1: {
        match = false;
        size_t start = 0;
        while (!match && start <= data.size()) {
          size_t comma = data.find(L',', start);
          if (comma == std::wstring::npos) comma = data.size();
          match = SameNoCase(text, data.substr(start, comma - start));
          start = comma + 1;
        }
        break;
      }
      case 2:
        match = SameNoCase(text, data);
        if (!match && !text.empty() && text.front() == L'"') {
          std::wstring inner = text.substr(1);
          if (!inner.empty() && inner.back() == L'"') inner.pop_back();
          match = SameNoCase(inner, data);
        }
        break;
      default:
        break;  // no comparison: a match
    }
    result->errorcode = lastError_;
    if (!match) {
      result->returnValue = false;
      result->errorcode = pe::kDataNotMatched;
    }
  } catch (...) {
    result->status = result->returnValue = false;
    result->errorcode = lastError_ = pe::kApiFailed;
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured");
  }
  return result;
}

std::unique_ptr<CJSONReturn> RegistryHelper::CreateKeyWith(uint32_t access) {
  auto result = std::make_unique<CJSONReturn>();
  try {
    const uint32_t view = ViewFlag();
    if (!ParseKey()) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"\nFailed in parsing key");
      result->errorcode = lastError_;
      return result;
    }
    CloseOpenKey();
    lastError_ = registry_.openKey(root_, subKey_, 0, access | view, &openKey_);
    if (lastError_ == ERROR_SUCCESS) {
      result->status = result->returnValue = true;
      FrameworkLog::Instance().Write(LogLevel::Info, L"\nkey already exists");
    } else if (lastError_ == ERROR_FILE_NOT_FOUND) {
      openKey_ = kRegNoKey;
      lastError_ = registry_.createKey(root_, subKey_, REG_OPTION_NON_VOLATILE, KEY_WRITE | view,
                                       &openKey_, nullptr);
      if (lastError_ == ERROR_SUCCESS) {
        result->status = result->returnValue = true;
        FrameworkLog::Instance().Write(LogLevel::Info, L"\nCreated key successful");
      } else {
        openKey_ = kRegNoKey;
        FrameworkLog::Instance().Write(LogLevel::Error, L"\ncreate key failed with error:%ld", static_cast<long>(lastError_));
      }
    } else {
      openKey_ = kRegNoKey;
    }
    result->errorcode = lastError_;
  } catch (...) {
    result->status = result->returnValue = false;
    result->errorcode = lastError_ = pe::kApiFailed;
    FrameworkLog::Instance().Write(LogLevel::Error, L"\nException occured in Registry key creation");
  }
  return result;
}

std::unique_ptr<CJSONReturn> RegistryHelper::SetValue() {
  auto result = std::make_unique<CJSONReturn>();
  try {
    std::vector<uint8_t> bytes;
    long double number = 0;
    switch (expectedType_) {
      case REG_SZ:
      case REG_EXPAND_SZ:
      case REG_BINARY:
        bytes = Utf16(data_);
        break;
      case REG_DWORD:
        // "-1" is 4294967295, as a minus wraps around.
        if (!ParseNumber(data_, std::numeric_limits<int32_t>::min(),
                         std::numeric_limits<uint32_t>::max(), &number)) {
          result->errorcode = lastError_ = ERROR_INVALID_PARAMETER;
          return result;
        }
        bytes = regDword(static_cast<uint32_t>(static_cast<int64_t>(number)));
        break;
      case REG_MULTI_SZ: {
        std::vector<std::wstring> items;
        size_t start = 0;
        for (;;) {
          size_t comma = data_.find(L',', start);
          items.push_back(data_.substr(start, comma == std::wstring::npos ? comma : comma - start));
          if (comma == std::wstring::npos) break;
          start = comma + 1;
        }
        for (const std::wstring& item : items) {
          std::vector<uint8_t> one = regSz(item);
          bytes.insert(bytes.end(), one.begin(), one.end());
        }
        bytes.push_back(0);
        bytes.push_back(0);
        break;
      }
      case REG_QWORD: {
        std::wstring digits = data_;
        if (!ParseNumber(digits, static_cast<long double>(std::numeric_limits<int64_t>::min()),
                         static_cast<long double>(std::numeric_limits<int64_t>::max()), &number)) {
          result->errorcode = lastError_ = ERROR_INVALID_PARAMETER;
          return result;
        }
        // Exact for every 64-bit value: read again as an integer.
        int64_t exact = std::stoll(std::string(data_.begin(), data_.end()));
        bytes = regQword(static_cast<uint64_t>(exact));
        break;
      }
      default:
        result->errorcode = lastError_ = ERROR_INVALID_PARAMETER;
        return result;
    }
    auto created = CreateKeyWith(KEY_WRITE);
    if (!Present(*created)) {
      result->errorcode = lastError_;
      return result;
    }
    lastError_ = registry_.setValue(openKey_, value_, expectedType_, bytes.data(),
                                    static_cast<uint32_t>(bytes.size()));
    if (lastError_ != ERROR_SUCCESS) {
      if (expectedType_ <= REG_BINARY) {
        FrameworkLog::Instance().Write(LogLevel::Error, L"setting value operation failed with error:%ld", static_cast<long>(lastError_));
      } else {
        FrameworkLog::Instance().Write(LogLevel::Error, L"Operation failed with error:%ld", static_cast<long>(lastError_));
      }
    } else {
      result->status = result->returnValue = true;
    }
    result->errorcode = lastError_;
  } catch (...) {
    result->status = result->returnValue = false;
    result->errorcode = lastError_ = pe::kApiFailed;
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured");
  }
  return result;
}

}  // namespace zorel
