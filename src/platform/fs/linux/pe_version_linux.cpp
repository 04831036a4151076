// The PE version-resource reader (see pe_version.h): the version block
// tree. The resource itself is found by the shared resource reader
// (pe_resource.h).
//
// Version blocks: wLength, wValueLength, wType, NUL-terminated UTF-16 key,
// padding to 32 bits, value, padding, children.

#include <cstdio>
#include <cwctype>

#include "zorel/platform/fs/pe_resource.h"
#include "zorel/platform/fs/pe_version.h"

namespace zorel::platform {
namespace {

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

WinError parseVersionResource(const uint8_t* image, size_t size, VersionResource& out,
                              const std::vector<uint16_t>& languages) {
  out = VersionResource{};
  PeResources resources;
  WinError e = resources.open(image, size);
  if (e != ERROR_SUCCESS) return e;
  // VS_VERSION_INFO is resource 1; an image that numbers it otherwise
  // still has its first version resource read.
  const ResourceId type = ResourceId::byNumber(RT_VERSION);
  const ResourceId first = ResourceId::byNumber(1);
  ResourceData data;
  e = resources.find(type, &first, languages, &data);
  if (e == ERROR_RESOURCE_NAME_NOT_FOUND) e = resources.find(type, nullptr, languages, &data);
  if (e == ERROR_RESOURCE_NAME_NOT_FOUND) e = ERROR_RESOURCE_DATA_NOT_FOUND;
  if (e != ERROR_SUCCESS) return e;
  return parseVersionBlock(data.data, data.size, out);
}

WinError parseVersionResource(const uint8_t* image, size_t size, VersionResource& out) {
  return parseVersionResource(image, size, out, neutralLookupLanguages(0x0409, 0x0409));
}

WinError readFileVersionResource(const std::string& hostPath, VersionResource& out) {
  out = VersionResource{};
  MappedFile file;
  WinError e = file.open(hostPath);
  if (e != ERROR_SUCCESS) return e;
  if (file.size() < 0x40) return ERROR_BAD_FORMAT;
  return parseVersionResource(file.data(), file.size(), out, machineLookupLanguages());
}

}  // namespace zorel::platform
