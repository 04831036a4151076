// Hardware and clock facts from the host: /proc/meminfo, /proc/cpuinfo,
// CPUID, statvfs/statfs and the C library's time zone.

#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/linux/errno_map.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/system/system_info.h"

namespace zorel::platform {
namespace {

// "Key:   value" lines of /proc/meminfo, in kB. False when the key is absent.
bool meminfoKb(const std::string& text, const char* key, uint64_t& kb) {
  std::istringstream in(text);
  std::string line;
  const size_t keyLen = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, keyLen, key) == 0 && line.size() > keyLen && line[keyLen] == ':') {
      kb = std::strtoull(line.c_str() + keyLen + 1, nullptr, 10);
      return true;
    }
  }
  return false;
}

std::string readWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The first "key : value" of /proc/cpuinfo, trimmed; empty when absent.
std::string cpuinfoField(const char* key) {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  const size_t keyLen = std::strlen(key);
  while (std::getline(in, line)) {
    if (line.compare(0, keyLen, key) != 0) continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    if (name != key) continue;
    std::string value = line.substr(colon + 1);
    size_t b = value.find_first_not_of(" \t");
    return b == std::string::npos ? std::string() : value.substr(b);
  }
  return {};
}

class HostSystemInfo final : public ISystemInfo {
 public:
  explicit HostSystemInfo(std::shared_ptr<const IPathMapper> paths) : paths_(std::move(paths)) {}

  WinError globalMemoryStatus(MemoryStatus& status) const override {
    const std::string text = readWholeFile("/proc/meminfo");
    uint64_t total = 0, avail = 0, swapTotal = 0, swapFree = 0;
    if (!meminfoKb(text, "MemTotal", total)) return ERROR_NOT_SUPPORTED;
    if (!meminfoKb(text, "MemAvailable", avail) && !meminfoKb(text, "MemFree", avail))
      return ERROR_NOT_SUPPORTED;
    meminfoKb(text, "SwapTotal", swapTotal);
    meminfoKb(text, "SwapFree", swapFree);
    status = MemoryStatus{};
    status.totalPhys = total * 1024;
    status.availPhys = avail * 1024;
    status.memoryLoad = total ? static_cast<uint32_t>((total - avail) * 100 / total) : 0;
    // Windows' page-file figures are the commit limit: RAM plus page files.
    status.totalPageFile = (total + swapTotal) * 1024;
    status.availPageFile = (avail + swapFree) * 1024;
    // A 64-bit process's user address space (128 TiB less 64 KiB, as Windows reports it).
    status.totalVirtual = 0x7FFFFFFE0000ull;
    status.availVirtual = status.totalVirtual;
    return ERROR_SUCCESS;
  }

  WinError physicallyInstalledMemoryKb(uint64_t& kilobytes) const override {
    uint64_t total = 0;
    if (!meminfoKb(readWholeFile("/proc/meminfo"), "MemTotal", total)) return ERROR_NOT_SUPPORTED;
    kilobytes = total;
    return ERROR_SUCCESS;
  }

  uint32_t processorCount() const override {
    long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<uint32_t>(n) : 1;
  }

  std::wstring processorBrandString() const override {
#if defined(__x86_64__) || defined(__i386__)
    unsigned int regs[12] = {};
    if (__get_cpuid_max(0x80000000u, nullptr) >= 0x80000004u) {
      for (unsigned int i = 0; i < 3; ++i)
        __get_cpuid(0x80000002u + i, &regs[i * 4], &regs[i * 4 + 1], &regs[i * 4 + 2],
                    &regs[i * 4 + 3]);
      char brand[49] = {};
      std::memcpy(brand, regs, 48);
      return fromUtf8(brand);
    }
    return {};
#else
    return fromUtf8(cpuinfoField("model name"));
#endif
  }

  uint32_t processorMhz() const override {
    // The rated speed: the cpufreq maximum when the kernel exposes it, else
    // the speed cpuinfo reports.
    std::ifstream maxFreq("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq");
    unsigned long long khz = 0;
    if (maxFreq >> khz && khz > 0) return static_cast<uint32_t>((khz + 500) / 1000);
    const std::string mhz = cpuinfoField("cpu MHz");
    if (!mhz.empty()) return static_cast<uint32_t>(std::strtod(mhz.c_str(), nullptr) + 0.5);
    return 0;
  }

  std::wstring processorVendor() const override {
    return fromUtf8(cpuinfoField("vendor_id"));
  }

  std::wstring processorIdentifier() const override {
    const std::string family = cpuinfoField("cpu family");
    const std::string model = cpuinfoField("model");
    const std::string stepping = cpuinfoField("stepping");
    const std::string vendor = cpuinfoField("vendor_id");
    const std::string arch = vendor == "AuthenticAMD" ? "AMD64" : "Intel64";
    if (family.empty()) return fromUtf8(arch);
    return fromUtf8(arch + " Family " + family + " Model " + model + " Stepping " + stepping);
  }

  WinError diskFreeSpace(std::wstring_view windowsPath, DiskSpace& space) const override {
    std::string host;
    if (WinError e = paths_->toHostPath(windowsPath, host)) return e;
    struct statvfs st;
    if (::statvfs(host.c_str(), &st) != 0) {
      const WinError e = detail::win32FromErrno(errno);
      return e == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : e;
    }
    const uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    space.totalBytes = unit * st.f_blocks;
    space.totalFreeBytes = unit * st.f_bfree;
    space.freeBytesAvailableToCaller = unit * st.f_bavail;
    return ERROR_SUCCESS;
  }

  WinError volumeInformation(std::wstring_view rootPath, VolumeInformation& info) const override {
    // Only a drive root names a volume: "C:\" (or "C:/").
    if (rootPath.size() != 3 || rootPath[1] != L':' ||
        (rootPath[2] != L'\\' && rootPath[2] != L'/'))
      return ERROR_INVALID_NAME;
    std::string host;
    if (WinError e = paths_->toHostPath(rootPath, host)) return e;
    struct statfs st;
    if (::statfs(host.c_str(), &st) != 0) return ERROR_PATH_NOT_FOUND;
    const wchar_t drive = static_cast<wchar_t>(towupper(rootPath[0]));
    info = VolumeInformation{};
    info.maxComponentLength = 255;
    // FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK |
    // FILE_PERSISTENT_ACLS, what an NTFS volume reports among others.
    info.fileSystemFlags = 0x0000000F;
    info.serialNumber = static_cast<uint32_t>(st.f_fsid.__val[0] ^ st.f_fsid.__val[1]);
    if (drive == L'C') {
      // The machine's system drive is an NTFS volume, whatever holds it.
      info.fileSystemName = L"NTFS";
    } else {
      switch (static_cast<unsigned long>(st.f_type)) {
        case 0x4d44: info.fileSystemName = L"FAT32"; info.fileSystemFlags = 0x3; break;  // msdos
        case 0x9660: info.fileSystemName = L"CDFS"; info.fileSystemFlags = 0x80001; break;
        case 0x15013346: info.fileSystemName = L"UDF"; break;
        case 0x2011BAB0: info.fileSystemName = L"exFAT"; info.fileSystemFlags = 0x3; break;
        default: info.fileSystemName = L"NTFS"; break;
      }
    }
    return ERROR_SUCCESS;
  }

  int localTime(std::time_t t, std::tm& local) const override {
    errno = 0;
    if (!::localtime_r(&t, &local)) return errno ? errno : EOVERFLOW;
    return 0;
  }

  std::wstring timeZoneName() const override {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!::localtime_r(&now, &local)) return {};
    char buf[255];
    size_t n = std::strftime(buf, sizeof buf, "%Z", &local);
    return fromUtf8(std::string(buf, n));
  }

  int32_t timeZoneBiasMinutes() const override {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!::localtime_r(&now, &local)) return 0;
    return static_cast<int32_t>(-local.tm_gmtoff / 60);
  }

 private:
  std::shared_ptr<const IPathMapper> paths_;
};

}  // namespace

std::unique_ptr<ISystemInfo> createSystemInfo(std::shared_ptr<const IPathMapper> paths) {
  return std::make_unique<HostSystemInfo>(std::move(paths));
}

}  // namespace zorel::platform
