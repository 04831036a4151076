#include "stored_name.h"

#include <cwctype>

namespace zorel::compress {

namespace fs = std::filesystem;

namespace {

bool sameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(wint_t(a[i])) != std::towlower(wint_t(b[i]))) return false;
  }
  return true;
}

}  // namespace

std::wstring joinStored(const std::wstring& destination, const std::wstring& name) {
  if (destination.empty()) return name;
  return destination + L"\\" + name;
}

std::wstring storedName(const std::wstring& destination,
                        const std::wstring& sourceFileName) {
  std::wstring name = destination;
  for (auto& c : name) {
    if (c == L'/') c = L'\\';
  }
  size_t first = name.find_first_not_of(L'\\');
  name = first == std::wstring::npos ? std::wstring() : name.substr(first);
  while (!name.empty() && name.back() == L'\\') name.pop_back();
  size_t slash = name.rfind(L'\\');
  std::wstring last = slash == std::wstring::npos ? name : name.substr(slash + 1);
  if (name.empty() || !sameNameIgnoringCase(last, sourceFileName)) {
    name = joinStored(name, sourceFileName);
  }
  return name;
}

std::optional<fs::path> relativeTarget(const std::string& stored) {
  if (stored.empty() || stored[0] == '\\' || stored[0] == '/') return std::nullopt;
  if (stored.size() >= 2 && stored[1] == ':') return std::nullopt;
  fs::path relative;
  size_t start = 0;
  while (start <= stored.size()) {
    size_t end = stored.find_first_of("\\/", start);
    if (end == std::string::npos) end = stored.size();
    std::string element = stored.substr(start, end - start);
    if (element == "..") return std::nullopt;
    // A drive-relative element such as "C:x" inside the name is refused too.
    if (element.find(':') != std::string::npos) return std::nullopt;
    if (!element.empty() && element != ".") relative /= element;
    start = end + 1;
  }
  if (relative.empty()) return std::nullopt;
  return relative;
}

std::optional<fs::path> prepareTarget(const fs::path& root, const fs::path& relative,
                                      std::string& why) {
  std::error_code ec;
  fs::path at = root;
  auto element = relative.begin();
  auto last = std::prev(relative.end());
  for (; element != last; ++element) {
    at /= *element;
    auto status = fs::symlink_status(at, ec);
    if (fs::is_symlink(status)) {
      why = "folder is a symbolic link: " + at.string();
      return std::nullopt;
    }
    if (!fs::exists(status)) {
      if (!fs::create_directory(at, ec) && ec) {
        why = "cannot create folder " + at.string() + ": " + ec.message();
        return std::nullopt;
      }
    } else if (!fs::is_directory(status)) {
      why = "not a folder: " + at.string();
      return std::nullopt;
    }
  }
  at /= *last;
  auto status = fs::symlink_status(at, ec);
  if (fs::is_symlink(status)) {
    why = "file is a symbolic link: " + at.string();
    return std::nullopt;
  }
  // A pipe or a device would make the write wait or go elsewhere.
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    why = "not a regular file: " + at.string();
    return std::nullopt;
  }
  return at;
}

bool hasCabExtension(const std::wstring& path) {
  if (path.size() < 4) return false;
  static const wchar_t kCab[] = L".cab";
  for (size_t i = 0; i < 4; ++i) {
    wchar_t c = path[path.size() - 4 + i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != kCab[i]) return false;
  }
  return true;
}

}  // namespace zorel::compress
