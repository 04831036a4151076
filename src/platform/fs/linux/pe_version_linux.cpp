// The PE version-resource reader (see pe_version.h).
//
// Layout read here (all little-endian):
//   DOS header: "MZ", e_lfanew (u32 at 0x3C) -> "PE\0\0" + COFF header (20
//   bytes: NumberOfSections at +2, SizeOfOptionalHeader at +16), optional
//   header (magic 0x10B PE32 / 0x20B PE32+; NumberOfRvaAndSizes at 92 / 108,
//   data directories after it; entry 2 is the resource directory), then the
//   section table (40 bytes each: VirtualSize +8, VirtualAddress +12,
//   SizeOfRawData +16, PointerToRawData +20).
//   Resource tree: IMAGE_RESOURCE_DIRECTORY (16 bytes; named and id entry
//   counts at +12, +14) followed by 8-byte entries (id, offset; high bit of
//   the offset = a subdirectory), offsets relative to the tree's start; a
//   leaf IMAGE_RESOURCE_DATA_ENTRY holds the data's RVA and size.
//   Version blocks: wLength, wValueLength, wType, NUL-terminated UTF-16 key,
//   padding to 32 bits, value, padding, children.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cwctype>

#include "base/linux/errno_map.h"
#include "zorel/platform/fs/pe_version.h"

namespace zorel::platform {
namespace {

constexpr uint16_t kRtVersion = 16;
constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr int kMaxDepth = 8;  // version trees are three levels deep

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool sameTextNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

// A bounded view of bytes; every read is checked.
struct Bytes {
  const uint8_t* data;
  size_t size;
  bool has(size_t offset, size_t length) const {
    return offset <= size && length <= size - offset;
  }
};

// UTF-16 text up to a NUL or `limit` bytes, whichever comes first; `used`
// receives the bytes consumed including the NUL when there was one.
std::wstring readUtf16(const uint8_t* p, size_t limit, size_t* used) {
  std::wstring text;
  size_t i = 0;
  for (; i + 1 < limit; i += 2) {
    uint16_t unit = u16(p + i);
    if (unit == 0) {
      i += 2;
      break;
    }
    // Combine surrogate pairs: wide text is UTF-32 on the host.
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < limit) {
      uint16_t low = u16(p + i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        text += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    text += static_cast<wchar_t>(unit);
  }
  if (used) *used = i;
  return text;
}

size_t align4(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

// One decoded block header. Offsets are relative to the version resource.
struct Block {
  size_t start = 0, end = 0;  // [start, end) of the whole block
  uint16_t valueLength = 0;
  uint16_t type = 0;  // 1 text, 0 binary
  std::wstring key;
  size_t valueOffset = 0;
  size_t childrenOffset = 0;
};

bool readBlock(const Bytes& res, size_t offset, size_t parentEnd, Block& block) {
  if (!res.has(offset, 6) || offset + 6 > parentEnd) return false;
  uint16_t length = u16(res.data + offset);
  if (length < 6) return false;
  block.start = offset;
  block.end = offset + length;
  if (block.end > parentEnd) block.end = parentEnd;  // a child may not leave its parent
  block.valueLength = u16(res.data + offset + 2);
  block.type = u16(res.data + offset + 4);
  size_t used = 0;
  block.key = readUtf16(res.data + offset + 6, block.end - (offset + 6), &used);
  block.valueOffset = align4(offset + 6 + used);
  if (block.valueOffset > block.end) block.valueOffset = block.end;
  // Text values count characters, binary values bytes.
  size_t valueBytes = block.type == 1 ? static_cast<size_t>(block.valueLength) * 2
                                      : block.valueLength;
  size_t after = block.valueOffset + valueBytes;
  block.childrenOffset = after > block.end ? block.end : align4(after);
  return true;
}

// Calls visit(child) for each child block of `parent`.
template <class Visit>
void forEachChild(const Bytes& res, const Block& parent, Visit&& visit) {
  size_t offset = parent.childrenOffset;
  while (offset + 6 <= parent.end) {
    Block child;
    if (!readBlock(res, offset, parent.end, child)) break;
    visit(child);
    size_t next = align4(child.end);
    if (next <= offset) break;
    offset = next;
  }
}

void readStringTable(const Bytes& res, const Block& table, VersionResource& out) {
  VersionStringTable decoded;
  decoded.key = table.key;
  forEachChild(res, table, [&](const Block& str) {
    // Some resource compilers count the value in bytes; reading up to the
    // NUL inside the block works for both.
    std::wstring value;
    if (str.valueOffset < str.end)
      value = readUtf16(res.data + str.valueOffset, str.end - str.valueOffset, nullptr);
    if (str.valueLength == 0) value.clear();
    decoded.strings.emplace_back(str.key, value);
  });
  out.stringTables.push_back(std::move(decoded));
}

void readVarFileInfo(const Bytes& res, const Block& var, VersionResource& out) {
  forEachChild(res, var, [&](const Block& child) {
    if (!sameTextNoCase(child.key, L"Translation")) return;
    size_t end = child.valueOffset + child.valueLength;
    if (end > child.end) end = child.end;
    for (size_t p = child.valueOffset; p + 4 <= end; p += 4)
      out.translations.emplace_back(u16(res.data + p), u16(res.data + p + 2));
  });
}

// RVA to file offset through the section table; false when no section holds it.
struct Section {
  uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

bool rvaToOffset(const std::vector<Section>& sections, uint32_t rva, size_t* offset,
                 size_t* available) {
  for (const Section& s : sections) {
    uint32_t extent = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
    if (rva >= s.virtualAddress && rva - s.virtualAddress < extent) {
      uint32_t delta = rva - s.virtualAddress;
      if (delta >= s.rawSize) return false;  // uninitialised data
      *offset = static_cast<size_t>(s.rawOffset) + delta;
      *available = s.rawSize - delta;
      return true;
    }
  }
  return false;
}

// The first entry of a resource directory matching `id` (any when id < 0):
// its offset field. False when there is none.
bool findEntry(const Bytes& tree, size_t dirOffset, int id, uint32_t* target) {
  if (!tree.has(dirOffset, 16)) return false;
  size_t named = u16(tree.data + dirOffset + 12);
  size_t ids = u16(tree.data + dirOffset + 14);
  size_t first = dirOffset + 16;
  for (size_t i = 0; i < named + ids; ++i) {
    size_t entry = first + i * 8;
    if (!tree.has(entry, 8)) return false;
    uint32_t name = u32(tree.data + entry);
    bool isNamed = (name & 0x80000000u) != 0;
    if (id < 0 || (!isNamed && name == static_cast<uint32_t>(id))) {
      *target = u32(tree.data + entry + 4);
      return true;
    }
  }
  return false;
}

}  // namespace

bool VersionResource::queryString(uint16_t language, uint16_t codePage, std::wstring_view name,
                                  std::wstring& value) const {
  wchar_t key[16];
  std::swprintf(key, 16, L"%04X%04X", language, codePage);
  for (const VersionStringTable& table : stringTables) {
    if (!sameTextNoCase(table.key, key)) continue;
    for (const auto& [n, v] : table.strings) {
      if (sameTextNoCase(n, name)) {
        value = v;
        return true;
      }
    }
  }
  return false;
}

WinError parseVersionBlock(const uint8_t* data, size_t size, VersionResource& out) {
  out = VersionResource{};
  Bytes res{data, size};
  Block root;
  if (!readBlock(res, 0, size, root) || root.key != L"VS_VERSION_INFO") return ERROR_INVALID_DATA;
  if (root.valueLength >= 52 && res.has(root.valueOffset, 52) &&
      u32(data + root.valueOffset) == kFixedSignature) {
    const uint8_t* f = data + root.valueOffset + 8;  // past signature and struct version
    FixedFileInfo& x = out.fixed;
    uint32_t* fields[] = {&x.fileVersionMS, &x.fileVersionLS, &x.productVersionMS,
                          &x.productVersionLS, &x.fileFlagsMask, &x.fileFlags,
                          &x.fileOS, &x.fileType, &x.fileSubtype, &x.fileDateMS,
                          &x.fileDateLS};
    for (size_t i = 0; i < 11; ++i) *fields[i] = u32(f + i * 4);
    out.hasFixedInfo = true;
  }
  forEachChild(res, root, [&](const Block& child) {
    if (sameTextNoCase(child.key, L"StringFileInfo")) {
      forEachChild(res, child, [&](const Block& table) { readStringTable(res, table, out); });
    } else if (sameTextNoCase(child.key, L"VarFileInfo")) {
      readVarFileInfo(res, child, out);
    }
  });
  return ERROR_SUCCESS;
}

WinError parseVersionResource(const uint8_t* image, size_t size, VersionResource& out) {
  out = VersionResource{};
  Bytes file{image, size};
  if (!file.has(0, 0x40) || image[0] != 'M' || image[1] != 'Z') return ERROR_BAD_FORMAT;
  size_t pe = u32(image + 0x3C);
  if (!file.has(pe, 24) || u32(image + pe) != 0x00004550) return ERROR_BAD_FORMAT;
  size_t sectionCount = u16(image + pe + 6);
  size_t optionalSize = u16(image + pe + 20);
  size_t optional = pe + 24;
  if (!file.has(optional, optionalSize) || optionalSize < 2) return ERROR_BAD_FORMAT;
  uint16_t magic = u16(image + optional);
  size_t countField = magic == 0x20B ? 108 : magic == 0x10B ? 92 : 0;
  if (countField == 0 || optionalSize < countField + 4) return ERROR_BAD_FORMAT;
  uint32_t directoryCount = u32(image + optional + countField);
  if (directoryCount <= 2 || optionalSize < countField + 4 + 3 * 8)
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  size_t resourceDir = optional + countField + 4 + 2 * 8;
  uint32_t resourceRva = u32(image + resourceDir);
  if (resourceRva == 0) return ERROR_RESOURCE_TYPE_NOT_FOUND;

  std::vector<Section> sections;
  size_t table = optional + optionalSize;
  for (size_t i = 0; i < sectionCount; ++i) {
    size_t s = table + i * 40;
    if (!file.has(s, 40)) return ERROR_BAD_FORMAT;
    sections.push_back({u32(image + s + 12), u32(image + s + 8), u32(image + s + 16),
                        u32(image + s + 20)});
  }
  size_t treeOffset = 0, treeSize = 0;
  if (!rvaToOffset(sections, resourceRva, &treeOffset, &treeSize))
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  if (!file.has(treeOffset, 0)) return ERROR_BAD_FORMAT;
  if (treeSize > size - treeOffset) treeSize = size - treeOffset;
  Bytes tree{image + treeOffset, treeSize};

  // Type, then name, then language; each level must be a subdirectory but
  // the last, which must be a data entry.
  uint32_t entry = 0;
  if (!findEntry(tree, 0, kRtVersion, &entry) || !(entry & 0x80000000u))
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  uint32_t nameEntry = 0, langEntry = 0;
  if (!findEntry(tree, entry & 0x7FFFFFFFu, -1, &nameEntry) || !(nameEntry & 0x80000000u))
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  if (!findEntry(tree, nameEntry & 0x7FFFFFFFu, -1, &langEntry) || (langEntry & 0x80000000u))
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  if (!tree.has(langEntry, 16)) return ERROR_INVALID_DATA;
  uint32_t dataRva = u32(tree.data + langEntry);
  uint32_t dataSize = u32(tree.data + langEntry + 4);
  size_t dataOffset = 0, available = 0;
  if (!rvaToOffset(sections, dataRva, &dataOffset, &available)) return ERROR_INVALID_DATA;
  if (!file.has(dataOffset, 0)) return ERROR_INVALID_DATA;
  size_t length = dataSize;
  if (length > available) length = available;
  if (length > size - dataOffset) length = size - dataOffset;
  return parseVersionBlock(image + dataOffset, length, out);
}

WinError readFileVersionResource(const std::string& hostPath, VersionResource& out) {
  out = VersionResource{};
  // Non-blocking, then the type checked before any read: a named pipe or a
  // device must not make the caller wait.
  int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return detail::win32FromErrno(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    int err = errno;
    ::close(fd);
    return detail::win32FromErrno(err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    // What opening a folder or a device as a file answers on Windows.
    return detail::win32FromErrno(EACCES);
  }
  if (st.st_size < 0x40) {
    ::close(fd);
    return ERROR_BAD_FORMAT;
  }
  // Mapped, not read: only the pages the headers and the resource touch are
  // loaded, whatever the file's size.
  size_t size = static_cast<size_t>(st.st_size);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  int mapErr = errno;
  ::close(fd);
  if (map == MAP_FAILED) return detail::win32FromErrno(mapErr);
  WinError result = parseVersionResource(static_cast<const uint8_t*>(map), size, out);
  ::munmap(map, size);
  return result;
}

}  // namespace zorel::platform
