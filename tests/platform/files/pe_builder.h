#pragma once
// Builds minimal PE images: with a version resource, for the version
// reader's tests and the File plug-in's CSV tests, or with any resources
// (numbered or named types and names, several languages), i386 or x86-64,
// for the resource reader, regsvr32 and the COM tests.

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zorel::testing {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
  put16(b, at, static_cast<uint16_t>(v));
  put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}
inline void pad4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

// One version block: header, key, value, children (each 32-bit aligned).
// Text values count characters including their NUL, binary ones bytes.
inline Bytes versionBlock(const std::u16string& key, const Bytes& value, bool text,
                          const std::vector<Bytes>& children) {
  Bytes b(6, 0);
  for (char16_t c : key) put16(b, b.size(), static_cast<uint16_t>(c));
  put16(b, b.size(), 0);
  pad4(b);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    pad4(b);
    b.insert(b.end(), child.begin(), child.end());
  }
  put16(b, 0, static_cast<uint16_t>(b.size()));
  put16(b, 2, static_cast<uint16_t>(text ? value.size() / 2 : value.size()));
  put16(b, 4, text ? 1 : 0);
  return b;
}

inline Bytes utf16z(const std::u16string& text) {
  Bytes b;
  for (char16_t c : text) put16(b, b.size(), static_cast<uint16_t>(c));
  put16(b, b.size(), 0);
  return b;
}

struct VersionTable {
  std::u16string key;  // "040904B0"
  std::vector<std::pair<std::u16string, std::u16string>> strings;
};

// VS_VERSIONINFO with a fixed part for version 1.2.3.4, the tables and the
// translations given.
inline Bytes versionInfo(const std::vector<VersionTable>& tables,
                         const std::vector<std::pair<uint16_t, uint16_t>>& translations) {
  Bytes fixed;
  put32(fixed, 0, 0xFEEF04BD);
  put32(fixed, 4, 0x00010000);
  put32(fixed, 8, 0x00010002);   // file version 1.2
  put32(fixed, 12, 0x00030004);  // .3.4
  put32(fixed, 16, 0x00050006);  // product version 5.6
  put32(fixed, 20, 0x00070008);  // .7.8
  fixed.resize(52, 0);
  std::vector<Bytes> stringTables;
  for (const VersionTable& t : tables) {
    std::vector<Bytes> strings;
    for (const auto& [k, v] : t.strings) strings.push_back(versionBlock(k, utf16z(v), true, {}));
    stringTables.push_back(versionBlock(t.key, {}, true, strings));
  }
  Bytes translationValue;
  for (const auto& [lang, cp] : translations) {
    put16(translationValue, translationValue.size(), lang);
    put16(translationValue, translationValue.size(), cp);
  }
  std::vector<Bytes> children;
  if (!tables.empty()) children.push_back(versionBlock(u"StringFileInfo", {}, true, stringTables));
  if (!translations.empty())
    children.push_back(versionBlock(
        u"VarFileInfo", {}, true, {versionBlock(u"Translation", translationValue, false, {})}));
  return versionBlock(u"VS_VERSION_INFO", fixed, false, children);
}

// A PE32+ image with one .rsrc section holding `version` as RT_VERSION #1
// (language 0x409); without `version` the image has no resource directory.
inline Bytes peImage(const Bytes* version) {
  Bytes b(0x200, 0);
  b[0] = 'M';
  b[1] = 'Z';
  put32(b, 0x3C, 0x40);
  put32(b, 0x40, 0x00004550);      // "PE\0\0"
  put16(b, 0x44, 0x8664);          // machine
  put16(b, 0x46, 1);               // one section
  put16(b, 0x54, 240);             // size of optional header
  put16(b, 0x56, 0x22);
  const size_t opt = 0x58;
  put16(b, opt, 0x20B);
  put32(b, opt + 108, 16);         // data directories
  const size_t section = opt + 240;
  const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  for (int i = 0; i < 8; ++i) b[section + i] = static_cast<uint8_t>(name[i]);
  if (!version) {
    put32(b, section + 8, 0x10);
    put32(b, section + 12, 0x1000);
    put32(b, section + 16, 0x200);
    put32(b, section + 20, 0x200);
    b.resize(0x400, 0);
    return b;
  }
  Bytes tree(0x58, 0);
  put16(tree, 14, 1);
  put32(tree, 16, 16);
  put32(tree, 20, 0x80000000u | 0x18);
  put16(tree, 0x18 + 14, 1);
  put32(tree, 0x18 + 16, 1);
  put32(tree, 0x18 + 20, 0x80000000u | 0x30);
  put16(tree, 0x30 + 14, 1);
  put32(tree, 0x30 + 16, 0x409);
  put32(tree, 0x30 + 20, 0x48);
  put32(tree, 0x48, 0x1000 + 0x58);
  put32(tree, 0x4C, static_cast<uint32_t>(version->size()));
  tree.insert(tree.end(), version->begin(), version->end());
  pad4(tree);
  put32(b, opt + 112 + 16, 0x1000);  // resource directory RVA
  put32(b, opt + 112 + 20, static_cast<uint32_t>(tree.size()));
  put32(b, section + 8, static_cast<uint32_t>(tree.size()));
  put32(b, section + 12, 0x1000);
  put32(b, section + 16, static_cast<uint32_t>(tree.size()));
  put32(b, section + 20, 0x200);
  b.insert(b.end(), tree.begin(), tree.end());
  return b;
}

// One resource for peWithResources: type and name each a number or, when
// the text is not empty, a name.
struct PeResource {
  std::u16string typeName;
  uint16_t typeId = 0;
  std::u16string name;
  uint16_t nameId = 0;
  uint16_t language = 0;
  Bytes data;
};

// A PE image (PE32+ for x86-64, PE32 for i386) whose .rsrc section holds
// the resources given, grouped by type and name in the order given.
inline Bytes peWithResources(uint16_t machine, const std::vector<PeResource>& resources) {
  using Key = std::pair<std::u16string, uint16_t>;
  auto key = [](const std::u16string& text, uint16_t id) { return Key{text, text.empty() ? id : 0}; };
  struct Name { Key id; std::vector<const PeResource*> langs; };
  struct Type { Key id; std::vector<Name> names; };
  std::vector<Type> types;
  for (const PeResource& r : resources) {
    Key t = key(r.typeName, r.typeId), n = key(r.name, r.nameId);
    auto ti = std::find_if(types.begin(), types.end(), [&](const Type& x) { return x.id == t; });
    if (ti == types.end()) ti = types.insert(types.end(), Type{t, {}});
    auto ni = std::find_if(ti->names.begin(), ti->names.end(), [&](const Name& x) { return x.id == n; });
    if (ni == ti->names.end()) ni = ti->names.insert(ti->names.end(), Name{n, {}});
    ni->langs.push_back(&r);
  }
  // Directories first, then data entries, strings and data.
  size_t size = 16 + 8 * types.size();
  for (const Type& t : types) {
    size += 16 + 8 * t.names.size();
    for (const Name& n : t.names) size += 16 + 8 * n.langs.size();
  }
  const size_t dataEntries = size;
  size += 16 * resources.size();
  Bytes tree(size, 0);
  const uint32_t sectionRva = 0x1000;
  auto addString = [&](const std::u16string& text) {
    size_t at = tree.size();
    put16(tree, at, static_cast<uint16_t>(text.size()));
    for (char16_t c : text) put16(tree, tree.size(), static_cast<uint16_t>(c));
    return static_cast<uint32_t>(at) | 0x80000000u;
  };
  auto idField = [&](const Key& k) { return k.first.empty() ? uint32_t{k.second} : addString(k.first); };
  auto directory = [&](size_t at, size_t count) { put16(tree, at + 14, static_cast<uint16_t>(count)); };
  size_t next = 16 + 8 * types.size(), entry = dataEntries;
  std::vector<std::pair<size_t, const PeResource*>> leaves;
  directory(0, types.size());
  for (size_t ti = 0; ti < types.size(); ++ti) {
    const size_t typeDir = next;
    put32(tree, 16 + ti * 8, idField(types[ti].id));
    put32(tree, 16 + ti * 8 + 4, 0x80000000u | static_cast<uint32_t>(typeDir));
    directory(typeDir, types[ti].names.size());
    next += 16 + 8 * types[ti].names.size();
    for (size_t ni = 0; ni < types[ti].names.size(); ++ni) {
      const Name& n = types[ti].names[ni];
      const size_t nameDir = next;
      put32(tree, typeDir + 16 + ni * 8, idField(n.id));
      put32(tree, typeDir + 16 + ni * 8 + 4, 0x80000000u | static_cast<uint32_t>(nameDir));
      directory(nameDir, n.langs.size());
      next += 16 + 8 * n.langs.size();
      for (size_t li = 0; li < n.langs.size(); ++li) {
        put32(tree, nameDir + 16 + li * 8, n.langs[li]->language);
        put32(tree, nameDir + 16 + li * 8 + 4, static_cast<uint32_t>(entry));
        leaves.emplace_back(entry, n.langs[li]);
        entry += 16;
      }
    }
  }
  for (const auto& [at, r] : leaves) {
    pad4(tree);
    put32(tree, at, sectionRva + static_cast<uint32_t>(tree.size()));
    put32(tree, at + 4, static_cast<uint32_t>(r->data.size()));
    tree.insert(tree.end(), r->data.begin(), r->data.end());
  }
  pad4(tree);

  const bool wide = machine != 0x014C;
  const size_t optionalSize = wide ? 240 : 224;
  Bytes b(0x200, 0);
  b[0] = 'M';
  b[1] = 'Z';
  put32(b, 0x3C, 0x40);
  put32(b, 0x40, 0x00004550);
  put16(b, 0x44, machine);
  put16(b, 0x46, 1);
  put16(b, 0x54, static_cast<uint16_t>(optionalSize));
  put16(b, 0x56, 0x2022);  // DLL, executable
  const size_t opt = 0x58;
  put16(b, opt, wide ? 0x20B : 0x10B);
  const size_t countField = wide ? 108 : 92;
  put32(b, opt + countField, 16);
  put32(b, opt + countField + 4 + 16, sectionRva);
  put32(b, opt + countField + 4 + 20, static_cast<uint32_t>(tree.size()));
  const size_t section = opt + optionalSize;
  const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  for (int i = 0; i < 8; ++i) b[section + i] = static_cast<uint8_t>(name[i]);
  put32(b, section + 8, static_cast<uint32_t>(tree.size()));
  put32(b, section + 12, sectionRva);
  put32(b, section + 16, static_cast<uint32_t>(tree.size()));
  put32(b, section + 20, 0x200);
  b.resize(0x200, 0);
  b.insert(b.end(), tree.begin(), tree.end());
  return b;
}

// Text as bytes (UTF-8 as given).
inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The usual fixture: one English table with every key the CSV reads but
// Comments and the build strings.
inline Bytes sampleVersionedImage() {
  Bytes version = versionInfo(
      {{u"040904B0",
        {{u"FileVersion", u"1.2.3.4"}, {u"ProductVersion", u"5.6"},
         {u"FileDescription", u"Sample tool"}, {u"ProductName", u"Sample"}}}},
      {{0x0409, 0x04B0}});
  return peImage(&version);
}

}  // namespace zorel::testing
