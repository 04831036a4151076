// Windows path <-> host path mapping for one machine root (see paths.h).

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cwctype>
#include <filesystem>
#include <vector>

#include "zorel/common/utf8.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::platform {
namespace {

constexpr WinError kErrorPathNotFound = ERROR_PATH_NOT_FOUND;
constexpr WinError kErrorBadNetPath = 53;  // ERROR_BAD_NETPATH
constexpr WinError kErrorInvalidName = ERROR_INVALID_NAME;

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool hostExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool equalsIgnoreCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

// The directory entry of dir whose name equals name ignoring case; the exact
// name wins when it exists. Empty when nothing matches.
std::string matchComponent(const std::string& dir, const std::string& name) {
  std::string exact = dir == "/" ? "/" + name : dir + "/" + name;
  if (hostExists(exact)) return name;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return {};
  const std::wstring wanted = fromUtf8(name);
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (equalsIgnoreCase(fromUtf8(e->d_name), wanted)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

// Windows drops trailing dots and blanks from a name ("file." is "file").
std::wstring trimComponent(std::wstring c) {
  if (c == L"." || c == L"..") return c;
  while (!c.empty() && (c.back() == L'.' || c.back() == L' ')) c.pop_back();
  return c;
}

bool validComponent(const std::wstring& c) {
  for (wchar_t ch : c) {
    if (ch < 32 || ch == L'<' || ch == L'>' || ch == L'"' || ch == L'|' || ch == L'?' ||
        ch == L'*' || ch == L':')
      return false;
  }
  return true;
}

class PathMapper final : public IPathMapper {
 public:
  explicit PathMapper(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
    driveC_ = root_ + "/drive_c";
  }

  WinError toHostPath(std::wstring_view path, std::string& hostPath) const override {
    std::wstring p(path);
    if (p.empty()) return kErrorPathNotFound;
    if (p.find(L'\0') != std::wstring::npos) return kErrorInvalidName;
    // The \\?\ and \??\ prefixes only switch off Win32 parsing.
    if (p.rfind(L"\\\\?\\", 0) == 0 || p.rfind(L"\\??\\", 0) == 0) p.erase(0, 4);
    if (p.size() >= 2 && isSeparator(p[0]) && isSeparator(p[1])) return kErrorBadNetPath;

    wchar_t drive = 0;
    std::wstring rest;
    if (p.size() >= 2 && p[1] == L':') {
      drive = static_cast<wchar_t>(std::towupper(p[0]));
      rest = p.substr(2);
      if (!rest.empty() && !isSeparator(rest[0])) {
        // "C:foo" is relative to the drive's current directory; this
        // machine keeps one current directory, so it is taken from C:\ .
        rest = L"\\" + rest;
      }
    } else {
      const std::wstring cwd = currentDirectory();
      drive = cwd[0];
      rest = isSeparator(p[0]) ? p : cwd.substr(2) + L"\\" + p;
    }
    std::string base;
    if (drive == L'C') {
      base = driveC_;
    } else if (drive == L'Z') {
      base = "/";
    } else {
      return kErrorPathNotFound;
    }

    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= rest.size()) {
      size_t end = start;
      while (end < rest.size() && !isSeparator(rest[end])) ++end;
      std::wstring comp = trimComponent(rest.substr(start, end - start));
      if (comp == L"..") {
        if (!parts.empty()) parts.pop_back();  // never above the drive root
      } else if (!comp.empty() && comp != L".") {
        if (!validComponent(comp)) return kErrorInvalidName;
        parts.push_back(std::move(comp));
      }
      start = end + 1;
    }

    std::string host = base;
    bool matching = true;
    for (const std::wstring& comp : parts) {
      std::string name = toUtf8(comp);
      if (matching) {
        std::string found = matchComponent(host, name);
        if (found.empty()) {
          matching = false;
        } else {
          name = found;
        }
      }
      if (host.back() != '/') host.push_back('/');
      host += name;
    }
    hostPath = host;
    return 0;
  }

  std::wstring toWindowsPath(std::string_view hostPath) const override {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p(hostPath);
    if (p.is_relative()) p = fs::current_path(ec) / p;
    p = p.lexically_normal();
    std::string s = p.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    std::wstring out;
    std::string relative;
    if (underDriveC(s, relative)) {
      out = L"C:\\";
    } else {
      out = L"Z:\\";
      relative = s.size() > 1 ? s.substr(1) : std::string();
    }
    for (char& c : relative)
      if (c == '/') c = '\\';
    out += fromUtf8(relative);
    return out;
  }

  std::wstring currentDirectory() const override {
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    if (ec || cwd.empty()) return L"C:\\";
    return toWindowsPath(cwd);
  }

 private:
  // True when s (absolute, normal) lies in drive_c; relative gets the part
  // below it. The root may be reached through a symbolic link, so the
  // resolved forms are compared too.
  bool underDriveC(const std::string& s, std::string& relative) const {
    auto below = [&](const std::string& dir) {
      if (s == dir) {
        relative.clear();
        return true;
      }
      if (s.size() > dir.size() && s.compare(0, dir.size(), dir) == 0 && s[dir.size()] == '/') {
        relative = s.substr(dir.size() + 1);
        return true;
      }
      return false;
    };
    if (below(driveC_)) return true;
    std::error_code ec;
    const std::string real = std::filesystem::weakly_canonical(driveC_, ec).string();
    return !ec && real != driveC_ && below(real);
  }

  std::string root_;
  std::string driveC_;
};

}  // namespace

std::unique_ptr<IPathMapper> createPathMapper(const std::string& machineRoot) {
  return std::make_unique<PathMapper>(machineRoot);
}

}  // namespace zorel::platform
