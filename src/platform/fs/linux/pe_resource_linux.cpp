// The PE resource reader (see pe_resource.h).
//
// Layout read here (all little-endian):
//   DOS header: "MZ", e_lfanew (u32 at 0x3C) -> "PE\0\0" + COFF header (20
//   bytes: Machine at +0, NumberOfSections at +2, SizeOfOptionalHeader at
//   +16), optional header (magic 0x10B PE32 / 0x20B PE32+; NumberOfRvaAndSizes
//   at 92 / 108, data directories after it; entry 2 is the resource
//   directory), then the section table (40 bytes each: VirtualSize +8,
//   VirtualAddress +12, SizeOfRawData +16, PointerToRawData +20).
//   Resource tree: IMAGE_RESOURCE_DIRECTORY (16 bytes; named and id entry
//   counts at +12, +14) followed by 8-byte entries (name or id, offset; the
//   high bit of the name field = offset of a counted UTF-16 name, the high
//   bit of the offset = a subdirectory), offsets relative to the tree's
//   start; a leaf IMAGE_RESOURCE_DATA_ENTRY holds the data's RVA and size.
//   Levels: type, name, language.

#include "zorel/platform/fs/pe_resource.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cwctype>

#include "base/linux/errno_map.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/system/version_info.h"

namespace zorel::platform {
namespace {

constexpr uint32_t kHighBit = 0x80000000u;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool has(size_t size, size_t offset, size_t length) {
  return offset <= size && length <= size - offset;
}

bool sameNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

uint16_t primary(uint16_t language) { return language & 0x3FF; }
uint16_t withSub(uint16_t language, uint16_t sub) {
  return static_cast<uint16_t>(primary(language) | (sub << 10));
}

}  // namespace

std::vector<uint16_t> neutralLookupLanguages(uint16_t userLanguage, uint16_t systemLanguage) {
  constexpr uint16_t kNeutral = 0, kSubNeutral = 0, kSubDefault = 1;
  const uint16_t order[] = {kNeutral,
                            userLanguage,
                            withSub(userLanguage, kSubNeutral),
                            withSub(userLanguage, kSubDefault),
                            systemLanguage,
                            withSub(systemLanguage, kSubNeutral),
                            withSub(systemLanguage, kSubDefault),
                            0x0409};
  std::vector<uint16_t> languages;
  for (uint16_t l : order) {
    if (std::find(languages.begin(), languages.end(), l) == languages.end()) languages.push_back(l);
  }
  return languages;
}

std::vector<uint16_t> machineLookupLanguages() {
  IMachine* machine = currentMachine();
  const uint16_t system = machine ? machine->versionInfo().systemDefaultUILanguage() : 0x0409;
  return neutralLookupLanguages(system, system);
}

WinError PeResources::open(const uint8_t* image, size_t size) {
  *this = PeResources{};
  if (!has(size, 0, 0x40) || image[0] != 'M' || image[1] != 'Z') return ERROR_BAD_FORMAT;
  const size_t pe = u32(image + 0x3C);
  if (!has(size, pe, 24) || u32(image + pe) != 0x00004550) return ERROR_BAD_FORMAT;
  const uint16_t machine = u16(image + pe + 4);
  const size_t sectionCount = u16(image + pe + 6);
  const size_t optionalSize = u16(image + pe + 20);
  const size_t optional = pe + 24;
  if (!has(size, optional, optionalSize) || optionalSize < 2) return ERROR_BAD_FORMAT;
  const uint16_t magic = u16(image + optional);
  const size_t countField = magic == 0x20B ? 108 : magic == 0x10B ? 92 : 0;
  if (countField == 0 || optionalSize < countField + 4) return ERROR_BAD_FORMAT;
  std::vector<Section> sections;
  const size_t table = optional + optionalSize;
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t s = table + i * 40;
    if (!has(size, s, 40)) return ERROR_BAD_FORMAT;
    sections.push_back({u32(image + s + 12), u32(image + s + 8), u32(image + s + 16),
                        u32(image + s + 20)});
  }
  image_ = image;
  size_ = size;
  machine_ = machine;
  sections_ = std::move(sections);

  const uint32_t directoryCount = u32(image + optional + countField);
  if (directoryCount <= 2 || optionalSize < countField + 4 + 3 * 8)
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  const uint32_t resourceRva = u32(image + optional + countField + 4 + 2 * 8);
  size_t treeOffset = 0, treeSize = 0;
  if (resourceRva == 0 || !rvaToOffset(resourceRva, &treeOffset, &treeSize))
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  if (!has(size, treeOffset, 0)) return ERROR_BAD_FORMAT;
  tree_ = image + treeOffset;
  treeSize_ = std::min(treeSize, size - treeOffset);
  return ERROR_SUCCESS;
}

bool PeResources::rvaToOffset(uint32_t rva, size_t* offset, size_t* available) const {
  for (const Section& s : sections_) {
    const uint32_t extent = std::max(s.virtualSize, s.rawSize);
    if (rva >= s.virtualAddress && rva - s.virtualAddress < extent) {
      const uint32_t delta = rva - s.virtualAddress;
      if (delta >= s.rawSize) return false;  // uninitialised data
      *offset = static_cast<size_t>(s.rawOffset) + delta;
      *available = s.rawSize - delta;
      return true;
    }
  }
  return false;
}

std::wstring PeResources::entryName(uint32_t nameField) const {
  const size_t at = nameField & ~kHighBit;
  if (!has(treeSize_, at, 2)) return {};
  size_t length = u16(tree_ + at);
  if (!has(treeSize_, at + 2, length * 2)) length = (treeSize_ - at - 2) / 2;
  std::wstring name;
  for (size_t i = 0; i < length; ++i) name += static_cast<wchar_t>(u16(tree_ + at + 2 + i * 2));
  return name;
}

bool PeResources::findEntry(size_t directory, const ResourceId* id, uint32_t* target) const {
  if (!has(treeSize_, directory, 16)) return false;
  const size_t count = static_cast<size_t>(u16(tree_ + directory + 12)) + u16(tree_ + directory + 14);
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = directory + 16 + i * 8;
    if (!has(treeSize_, entry, 8)) return false;
    const uint32_t nameField = u32(tree_ + entry);
    const bool named = (nameField & kHighBit) != 0;
    bool match = id == nullptr;
    if (id && id->isNamed && named) match = sameNoCase(entryName(nameField), id->name);
    if (id && !id->isNamed && !named) match = nameField == id->number;
    if (match) {
      *target = u32(tree_ + entry + 4);
      return true;
    }
  }
  return false;
}

WinError PeResources::names(const ResourceId& type, std::vector<ResourceId>* names) const {
  names->clear();
  uint32_t typeEntry = 0;
  if (!tree_ || !findEntry(0, &type, &typeEntry) || !(typeEntry & kHighBit))
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  const size_t directory = typeEntry & ~kHighBit;
  if (!has(treeSize_, directory, 16)) return ERROR_INVALID_DATA;
  const size_t count = static_cast<size_t>(u16(tree_ + directory + 12)) + u16(tree_ + directory + 14);
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = directory + 16 + i * 8;
    if (!has(treeSize_, entry, 8)) break;
    const uint32_t nameField = u32(tree_ + entry);
    names->push_back((nameField & kHighBit) ? ResourceId::byName(entryName(nameField))
                                            : ResourceId::byNumber(static_cast<uint16_t>(nameField)));
  }
  return ERROR_SUCCESS;
}

WinError PeResources::find(const ResourceId& type, const ResourceId* name,
                           const std::vector<uint16_t>& languages, ResourceData* out) const {
  return lookup(type, name, languages, true, out);
}

WinError PeResources::findExact(const ResourceId& type, const ResourceId* name,
                                const std::vector<uint16_t>& languages, ResourceData* out) const {
  return lookup(type, name, languages, false, out);
}

WinError PeResources::lookup(const ResourceId& type, const ResourceId* name,
                             const std::vector<uint16_t>& languages, bool anyLanguage,
                             ResourceData* out) const {
  *out = ResourceData{};
  // Type, then name, then language; each level must be a subdirectory but
  // the last, which must be a data entry.
  uint32_t typeEntry = 0, nameEntry = 0, langEntry = 0;
  if (!tree_ || !findEntry(0, &type, &typeEntry) || !(typeEntry & kHighBit))
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
  if (!findEntry(typeEntry & ~kHighBit, name, &nameEntry) || !(nameEntry & kHighBit))
    return name ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_DATA_NOT_FOUND;
  const size_t languageDirectory = nameEntry & ~kHighBit;
  bool found = false;
  for (uint16_t language : languages) {
    const ResourceId id = ResourceId::byNumber(language);
    if (findEntry(languageDirectory, &id, &langEntry)) {
      found = true;
      break;
    }
  }
  if (!found && !anyLanguage) return ERROR_RESOURCE_LANG_NOT_FOUND;
  if (!found && !findEntry(languageDirectory, nullptr, &langEntry))
    return ERROR_RESOURCE_DATA_NOT_FOUND;
  if (langEntry & kHighBit) return ERROR_RESOURCE_DATA_NOT_FOUND;
  // The language the entry stands under.
  const size_t count = static_cast<size_t>(u16(tree_ + languageDirectory + 12)) +
                       u16(tree_ + languageDirectory + 14);
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = languageDirectory + 16 + i * 8;
    if (has(treeSize_, entry, 8) && u32(tree_ + entry + 4) == langEntry) {
      out->language = static_cast<uint16_t>(u32(tree_ + entry));
      break;
    }
  }
  if (!has(treeSize_, langEntry, 16)) return ERROR_INVALID_DATA;
  const uint32_t dataRva = u32(tree_ + langEntry);
  const uint32_t dataSize = u32(tree_ + langEntry + 4);
  size_t dataOffset = 0, available = 0;
  if (!rvaToOffset(dataRva, &dataOffset, &available) || !has(size_, dataOffset, 0))
    return ERROR_INVALID_DATA;
  size_t length = std::min<size_t>(dataSize, available);
  length = std::min(length, size_ - dataOffset);
  out->data = image_ + dataOffset;
  out->size = length;
  return ERROR_SUCCESS;
}

MappedFile::~MappedFile() {
  if (data_ && size_) ::munmap(const_cast<uint8_t*>(data_), size_);
}

WinError MappedFile::open(const std::string& hostPath) {
  // Non-blocking, then the type checked before any read: a named pipe or a
  // device must not make the caller wait.
  const int fd = hostCalls().open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
  if (fd < 0) return detail::missingFileError(hostPath, errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return detail::win32FromErrno(err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    // What opening a folder or a device as a file answers on Windows.
    return detail::win32FromErrno(EACCES);
  }
  if (st.st_size == 0) {
    ::close(fd);
    return ERROR_SUCCESS;
  }
  // Mapped, not read: only the pages the headers and the resources touch
  // are loaded, whatever the file's size.
  const size_t size = static_cast<size_t>(st.st_size);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  const int mapErr = errno;
  ::close(fd);
  if (map == MAP_FAILED) return detail::win32FromErrno(mapErr);
  data_ = static_cast<const uint8_t*>(map);
  size_ = size;
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
