// libFuzzer target: any bytes as a PE file, through the resource walk, the
// version reader, the message-table reader (on the bytes and as a module
// loaded from a file) and the registrar-script parser on every REGISTRY
// resource. Every offset the image gives is hostile; the readers must stay
// inside the bytes (AddressSanitizer sees the input buffer's exact end).
// Properties: a resource found lies inside the image; a version resource
// that reads answers its own translations' string queries.

#include <cwchar>
#include <fstream>

#include "fuzz_support.h"
#include "registrar.h"
#include "zorel/platform/fs/message_table.h"
#include "zorel/platform/fs/pe_resource.h"
#include "zorel/platform/fs/pe_version.h"

namespace zorel::fuzz {
namespace {

using platform::ResourceData;
using platform::ResourceId;

uint32_t Le32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Ids worth asking a message table for: the ends and middle of its first
// blocks, and a few that no table is likely to hold.
std::vector<uint32_t> MessageIds(const ResourceData& table) {
  std::vector<uint32_t> ids = {0, 1, 0xC0000001u};
  if (table.size < 4) return ids;
  const uint32_t blocks = Le32(table.data);
  for (uint32_t b = 0; b < blocks && b < 4 && 4 + 12 * (b + 1) <= table.size; ++b) {
    const uint32_t low = Le32(table.data + 4 + 12 * b), high = Le32(table.data + 8 + 12 * b);
    ids.insert(ids.end(), {low, high, low + (high - low) / 2, high + 1});
  }
  return ids;
}

void WalkResources(const uint8_t* data, size_t size) {
  platform::PeResources pe;
  if (pe.open(data, size) != 0) return;
  const std::vector<uint16_t> languages = {0, 0x0409, 0x0407};
  const std::vector<ResourceId> types = {
      ResourceId::byNumber(platform::RT_VERSION), ResourceId::byNumber(platform::RT_MESSAGETABLE),
      ResourceId::byNumber(6), ResourceId::byName(L"REGISTRY"), ResourceId::byName(L"TYPELIB")};
  for (const ResourceId& type : types) {
    std::vector<ResourceId> names;
    if (pe.names(type, &names) != 0) continue;
    if (names.size() > 64) names.resize(64);
    for (const ResourceId& name : names) {
      for (bool exact : {false, true}) {
        ResourceData found;
        const platform::WinError status = exact ? pe.findExact(type, &name, languages, &found)
                                                : pe.find(type, &name, languages, &found);
        if (status != 0) continue;
        Require(found.data >= data && found.size <= size &&
                    static_cast<size_t>(found.data - data) <= size - found.size,
                "a resource lies outside the image");
        if (type.isNamed && type.name == L"REGISTRY") {
          std::vector<wintools::RegistrarOp> ops;
          std::wstring problem;
          wintools::parseRegistrar(wintools::registrarText(found.data, found.size),
                                   L"C:\\Program Files\\App\\x.dll", &ops, &problem);
        } else if (!type.isNamed && type.number == platform::RT_MESSAGETABLE) {
          for (uint32_t id : MessageIds(found)) {
            std::wstring text;
            platform::findMessageInTable(found.data, found.size, id, &text);
          }
        } else if (!type.isNamed && type.number == platform::RT_VERSION) {
          platform::VersionResource version;
          platform::parseVersionBlock(found.data, found.size, version);
        }
      }
    }
    ResourceData first;
    pe.find(type, nullptr, languages, &first);
  }
}

void ReadVersion(const uint8_t* data, size_t size) {
  platform::VersionResource version;
  if (platform::parseVersionResource(data, size, version) != 0) return;
  for (const platform::VersionStringTable& table : version.stringTables) {
    if (table.key.size() != 8 ||
        table.key.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos)
      continue;
    const uint16_t language = static_cast<uint16_t>(std::wcstoul(table.key.substr(0, 4).c_str(), nullptr, 16));
    const uint16_t codePage = static_cast<uint16_t>(std::wcstoul(table.key.substr(4).c_str(), nullptr, 16));
    for (const auto& [name, value] : table.strings) {
      std::wstring found;
      Require(version.queryString(language, codePage, name, found),
              "a version string the reader listed cannot be queried");
    }
  }
}

void LoadAsModule(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFolder() + "/image.dll";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  platform::MessageModule module;
  if (module.loadHost(path) != 0) return;
  for (uint32_t id : {0u, 1u, 0x40000000u, 0xC0000001u}) {
    for (uint16_t language : {uint16_t(0), uint16_t(0x0409)}) {
      std::wstring text;
      module.findMessage(id, language, &text);
    }
  }
  platform::VersionResource version;
  platform::readFileVersionResource(path, version);
}

}  // namespace
}  // namespace zorel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorel::fuzz;
  WalkResources(data, size);
  ReadVersion(data, size);
  // A version block on its own, as a resource's bytes would hand it over.
  zorel::platform::VersionResource block;
  zorel::platform::parseVersionBlock(data, size, block);
  LoadAsModule(data, size);
  return 0;
}
