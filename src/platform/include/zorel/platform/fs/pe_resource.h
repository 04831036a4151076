#pragma once
// Resources of a PE image: the one reader of the resource tree that the
// version reader, regsvr32 and the message-table reader share.
//
// Windows: LoadLibraryExW(LOAD_LIBRARY_AS_DATAFILE), FindResourceExW,
// LoadResource, and the image's IMAGE_FILE_HEADER.Machine.
// Linux emulation: our own reader of the file's bytes. Every offset and
// length is checked against the image, so a truncated or hostile file gives
// an error, never a crash.
//
// Language: a lookup without a language (FindResourceW, which the version
// functions use) follows Windows' language-neutral order: the neutral
// language (0), the user's UI language, its primary language with the
// neutral and the default sublanguage, the system's UI language and the
// same two variants of it, English (0x0409), and only then the first
// language the image lists. The machine's UI language comes from its
// image (GetSystemDefaultUILanguage, version_info.h); the user's is the
// system's, as on a Windows whose user chose no language of their own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

inline constexpr WinError ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
inline constexpr WinError ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
inline constexpr WinError ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
inline constexpr WinError ERROR_RESOURCE_LANG_NOT_FOUND = 1815;

// IMAGE_FILE_HEADER.Machine values.
inline constexpr uint16_t IMAGE_FILE_MACHINE_I386 = 0x014C;
inline constexpr uint16_t IMAGE_FILE_MACHINE_AMD64 = 0x8664;

// Resource types (winuser.h) used here.
inline constexpr uint16_t RT_MESSAGETABLE = 11;
inline constexpr uint16_t RT_VERSION = 16;

// A resource type or name: a number (MAKEINTRESOURCE) or a text, which
// compares without regard to case, as Windows upper-cases both.
struct ResourceId {
  bool isNamed = false;
  uint16_t number = 0;
  std::wstring name;

  static ResourceId byNumber(uint16_t n) { return {false, n, {}}; }
  static ResourceId byName(std::wstring text) { return {true, 0, std::move(text)}; }
};

// One resource found: its bytes (a view into the image) and its language.
struct ResourceData {
  const uint8_t* data = nullptr;
  size_t size = 0;
  uint16_t language = 0;
};

// The languages a lookup without a language tries, in order (see above).
std::vector<uint16_t> neutralLookupLanguages(uint16_t userLanguage, uint16_t systemLanguage);

// The resource tree of an image held in memory (the caller keeps the bytes
// alive as long as this object and what it returns).
class PeResources {
 public:
  // Reads the headers. RETURNS 0; ERROR_BAD_FORMAT when the bytes are not a
  // PE image (or are cut short inside its headers); ERROR_RESOURCE_TYPE_NOT_FOUND
  // when the image has no resource directory (machine() is still known).
  WinError open(const uint8_t* image, size_t size);

  // IMAGE_FILE_HEADER.Machine; 0 before a successful open.
  uint16_t machine() const { return machine_; }

  // The names of one type's resources, in the tree's order (named entries,
  // then numbered ones, as the directory keeps them).
  // RETURNS 0; ERROR_RESOURCE_TYPE_NOT_FOUND.
  WinError names(const ResourceId& type, std::vector<ResourceId>* names) const;

  // FindResourceW + LoadResource: the resource of that type and name in
  // the first language of `languages` the image has, else its first.
  // RETURNS 0; ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND
  // (an unnamed lookup of the first name: ERROR_RESOURCE_DATA_NOT_FOUND);
  // ERROR_INVALID_DATA for data outside the image.
  WinError find(const ResourceId& type, const ResourceId* name,
                const std::vector<uint16_t>& languages, ResourceData* out) const;
  // FindResourceExW with a language list and no fallback: the first of
  // `languages` the image has, else ERROR_RESOURCE_LANG_NOT_FOUND; the
  // other answers as find.
  WinError findExact(const ResourceId& type, const ResourceId* name,
                     const std::vector<uint16_t>& languages, ResourceData* out) const;

 private:
  struct Section {
    uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
  };
  bool rvaToOffset(uint32_t rva, size_t* offset, size_t* available) const;
  // The offset field of the directory entry for id (any entry when id is
  // null); false when there is none.
  bool findEntry(size_t directory, const ResourceId* id, uint32_t* target) const;
  std::wstring entryName(uint32_t nameField) const;
  WinError lookup(const ResourceId& type, const ResourceId* name,
                  const std::vector<uint16_t>& languages, bool anyLanguage,
                  ResourceData* out) const;

  const uint8_t* image_ = nullptr;
  size_t size_ = 0;
  uint16_t machine_ = 0;
  std::vector<Section> sections_;
  const uint8_t* tree_ = nullptr;
  size_t treeSize_ = 0;
};

// A file's bytes mapped read-only. Only a regular file is mapped: a named
// pipe or a device is refused at once with ERROR_ACCESS_DENIED, as is a
// folder; a missing file gives ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND.
class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();
  WinError open(const std::string& hostPath);
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// The machine's UI languages for a neutral lookup (the system's, twice; see
// above), or English when there is no machine.
std::vector<uint16_t> machineLookupLanguages();

}  // namespace zorel::platform
