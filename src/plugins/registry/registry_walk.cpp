// RegistryHelper: the pattern walks over sub-keys and values, and the
// deletions built on them.

#include <boost/regex.hpp>

#include <cstring>
#include <stdexcept>

#include "zorel/log/framework_log.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/registry/registry_helper.h"

namespace zorel {

using namespace platform;
namespace pe = plugin_error;

namespace {

constexpr uint32_t kSubKeyNameChars = 260;  // the walk's name buffer
constexpr uint32_t kValueNameChars = 16383;

bool Inside(const std::wstring& path, const std::wstring& outer) {
  return path.size() > outer.size() && path.compare(0, outer.size(), outer) == 0 &&
         path[outer.size()] == L'\\';
}

}  // namespace

// One walk: what it looks for and what it found.
struct RegistryHelper::Walk {
  boost::wregex pattern;
  bool recursive = false;
  bool values = false;  // values mode; otherwise keys
  std::vector<std::wstring> keys;
  std::set<std::pair<std::wstring, std::wstring>> valueNames;  // (path, name)
};

void RegistryHelper::WalkKey(Walk& walk, const std::wstring& path, int depth) {
  if (depth > static_cast<int>(kRegMaxDepth)) return;
  RegKey key = kRegNoKey;
  if (registry_.openKey(root_, path, 0, KEY_READ | ViewFlag(), &key) != ERROR_SUCCESS) return;
  try {
    RegKeyInfo info;
    registry_.queryInfoKey(key, &info);
    if (walk.values) {
      std::vector<wchar_t> name(kValueNameChars + 1);
      for (uint32_t i = 0; i < info.values; ++i) {
        uint32_t length = kValueNameChars + 1;
        if (registry_.enumValue(key, i, name.data(), &length, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
          continue;
        std::wstring text(name.data(), length);
        if (boost::regex_match(text, walk.pattern)) walk.valueNames.emplace(path, text);
      }
    }
    wchar_t name[kSubKeyNameChars];
    for (uint32_t i = 0; i < info.subKeys; ++i) {
      uint32_t length = kSubKeyNameChars;
      if (registry_.enumKey(key, i, name, &length, nullptr) != ERROR_SUCCESS) continue;
      std::wstring text(name, length);
      const std::wstring child = path.empty() ? text : path + L"\\" + text;
      if (!walk.values && boost::regex_match(text, walk.pattern)) walk.keys.push_back(child);
      if (walk.recursive) WalkKey(walk, child, depth + 1);
    }
  } catch (const std::exception& e) {
    FrameworkLog::Instance().Write(LogLevel::Error,
        L"Exception in getting matching subkeys: Error occured is=%s can be ignored because it is "
        L"recursive call ",
        std::wstring(e.what(), e.what() + std::strlen(e.what())).c_str());
  }
  registry_.closeKey(key);
}

std::unique_ptr<CJSONReturn> RegistryHelper::Match(const std::wstring& pattern, bool recursive,
                                                   bool values) {
  auto result = PresenceCheck();
  try {
    if (!result->status || !result->returnValue) {
      result->status = false;
      result->errorcode = pe::kKeyNotPresent;
      FrameworkLog::Instance().Write(LogLevel::Error, L"keypath not present, so could not proceed");
      return result;
    }
    Walk walk;
    walk.recursive = recursive;
    walk.values = values;
    bool valid = true;
    try {
      walk.pattern = Pattern(pattern);
    } catch (const std::exception&) {
      valid = false;  // as an exception inside the walk: nothing is found
    }
    if (valid) WalkKey(walk, subKey_, 0);
    result->returnValue = values ? !walk.valueNames.empty() : !walk.keys.empty();
    if (!result->returnValue) result->errorcode = values ? pe::kValueNotMatched : pe::kKeyNotMatched;
  } catch (...) {
    result->status = result->returnValue = false;
    result->errorcode = lastError_ = pe::kApiFailed;
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured");
  }
  return result;
}

WinError RegistryHelper::TreeDelete(const std::wstring& path, int depth) {
  try {
    if (depth > static_cast<int>(kRegMaxDepth)) return lastError_ = ERROR_INVALID_PARAMETER;
    RegKey key = kRegNoKey;
    const uint32_t view = ViewFlag();
    lastError_ = registry_.openKey(root_, path, 0, KEY_ALL_ACCESS | view, &key);
    if (lastError_ != ERROR_SUCCESS) return lastError_;
    for (;;) {
      wchar_t name[kSubKeyNameChars];
      uint32_t length = kSubKeyNameChars;
      const WinError e = registry_.enumKey(key, 0, name, &length, nullptr);
      if (e == ERROR_NO_MORE_ITEMS) break;
      // Any other enumeration error ends the delete: retrying index 0 would
      // meet it again for ever.
      if (e != ERROR_SUCCESS || TreeDelete(path + L"\\" + std::wstring(name, length), depth + 1) !=
                                    ERROR_SUCCESS) {
        registry_.closeKey(key);
        return lastError_ = (e != ERROR_SUCCESS ? e : lastError_);
      }
    }
    registry_.closeKey(key);
    lastError_ = registry_.deleteKey(root_, path, KEY_ALL_ACCESS | view);
    return lastError_;
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error,
        L"Exception occured in recursive registry deletion: can be ignored in recursive function");
    return lastError_ = pe::kApiFailed;
  }
}

WinError RegistryHelper::DeleteWholeKey() {
  try {
    RegKey key = kRegNoKey;
    lastError_ = registry_.openKey(root_, subKey_, 0, KEY_ALL_ACCESS | ViewFlag(), &key);
    if (lastError_ != ERROR_SUCCESS) return lastError_;
    // Delete the key the view names: in the 32-bit view HKLM\SOFTWARE\X is
    // SOFTWARE\WOW6432Node\X, and a key both views share is itself.
    std::wstring real;
    lastError_ = registry_.keyPath(key, &real);
    registry_.closeKey(key);
    if (lastError_ != ERROR_SUCCESS) return lastError_;
    RegKey realRoot = kRegNoKey;
    std::wstring realSub;
    lastError_ = parseKeyPath(real, &realRoot, &realSub);
    if (lastError_ != ERROR_SUCCESS) return lastError_;
    lastError_ = registry_.deleteTree(realRoot, realSub);
    return lastError_;
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured in registry tree deletion.");
    return lastError_ = pe::kApiFailed;
  }
}

std::unique_ptr<CJSONReturn> RegistryHelper::DeleteKey(const std::wstring& pattern,
                                                       bool recursive) {
  auto result = PresenceCheck();
  if (!result->status || !result->returnValue) {
    result->status = false;
    result->errorcode = pe::kKeyNotPresent;
    FrameworkLog::Instance().Write(LogLevel::Error, L"Given keypath not exists so could not proceed to deletekey");
    return result;
  }
  CloseOpenKey();
  WinError e = ERROR_SUCCESS;
  if (!pattern.empty()) {
    Walk walk;
    walk.recursive = recursive;
    // An invalid pattern throws to the caller: nothing was deleted.
    walk.pattern = Pattern(pattern);
    WalkKey(walk, subKey_, 0);
    if (walk.keys.empty()) FrameworkLog::Instance().Write(LogLevel::Info, L"There are no matching keys to delete key");
    std::vector<std::wstring> deleted;
    for (const std::wstring& path : walk.keys) {
      // A match inside a key already deleted went with it.
      bool gone = false;
      for (const std::wstring& d : deleted) gone = gone || Inside(path, d);
      if (gone) continue;
      e = TreeDelete(path, 0);
      if (e != ERROR_SUCCESS) break;
      deleted.push_back(path);
    }
  } else {
    e = DeleteWholeKey();
  }
  if (e != ERROR_SUCCESS) {
    result->status = result->returnValue = false;
    result->errorcode = e;
  }
  return result;
}

std::unique_ptr<CJSONReturn> RegistryHelper::DeleteValue(const std::wstring& pattern,
                                                         bool recursive) {
  auto result = PresenceCheck();
  if (!result->status || !result->returnValue) {
    result->status = false;
    result->errorcode = pe::kKeyNotPresent;
    return result;
  }
  Walk walk;
  walk.recursive = recursive;
  walk.values = true;
  walk.pattern = Pattern(pattern);
  WalkKey(walk, subKey_, 0);
  if (walk.valueNames.empty()) {
    FrameworkLog::Instance().Write(LogLevel::Info, L"No value matched with regexpression");
    return result;
  }
  for (const auto& [path, name] : walk.valueNames) {
    RegKey key = kRegNoKey;
    WinError e = registry_.openKey(root_, path, 0, KEY_ALL_ACCESS | ViewFlag(), &key);
    if (e == ERROR_SUCCESS) {
      e = registry_.deleteValue(key, name);
      registry_.closeKey(key);
    }
    if (e != ERROR_SUCCESS) {
      lastError_ = e;
      result->status = result->returnValue = false;
      result->errorcode = e;
      break;
    }
  }
  return result;
}

}  // namespace zorel
