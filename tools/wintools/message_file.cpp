// The message file eventcreate registers its sources with, written by the
// build (`zorel-wintools --write-message-file PATH`): a PE32+ data file
// whose only resource is a message table (type 11, name 1, language 0x409)
// with one block for the ids 1 to 1000, every entry the UTF-16 text "%1",
// so each id formats to exactly its first insertion string.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "wintools.h"

namespace zorel::wintools {
namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(Bytes& b, size_t at, uint32_t v) {
  put16(b, at, static_cast<uint16_t>(v));
  put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

constexpr uint32_t kLowId = 1, kHighId = 1000;
constexpr uint32_t kSectionRva = 0x1000, kFileAlignment = 0x200;

Bytes messageTable() {
  Bytes t;
  put32(t, 0, 1);  // one block
  put32(t, 4, kLowId);
  put32(t, 8, kHighId);
  put32(t, 12, 16);  // its entries follow the block
  for (uint32_t id = kLowId; id <= kHighId; ++id) {
    const size_t at = t.size();
    put16(t, at, 12);    // Length: header, "%1", NUL, padding to 4
    put16(t, at + 2, 1);  // UTF-16
    put16(t, at + 4, u'%');
    put16(t, at + 6, u'1');
    put32(t, at + 8, 0);
  }
  return t;
}

// The .rsrc section: three one-entry directories (type, name, language),
// the data entry, then the table.
Bytes resourceSection() {
  const Bytes table = messageTable();
  Bytes s(16 * 3 + 8 * 3 + 16, 0);
  put16(s, 14, 1);
  put32(s, 16, 11);  // RT_MESSAGETABLE
  put32(s, 20, 0x80000000u | 24);
  put16(s, 24 + 14, 1);
  put32(s, 24 + 16, 1);
  put32(s, 24 + 20, 0x80000000u | 48);
  put16(s, 48 + 14, 1);
  put32(s, 48 + 16, 0x409);
  put32(s, 48 + 20, 72);
  put32(s, 72, kSectionRva + 88);
  put32(s, 76, static_cast<uint32_t>(table.size()));
  s.insert(s.end(), table.begin(), table.end());
  return s;
}

}  // namespace

int writeMessageFile(const std::string& path) {
  const Bytes rsrc = resourceSection();
  const uint32_t rawSize = (static_cast<uint32_t>(rsrc.size()) + kFileAlignment - 1) & ~(kFileAlignment - 1);
  Bytes b(kFileAlignment, 0);
  b[0] = 'M';
  b[1] = 'Z';
  put32(b, 0x3C, 0x40);
  put32(b, 0x40, 0x00004550);  // "PE\0\0"
  put16(b, 0x44, 0x8664);      // x86-64
  put16(b, 0x46, 1);           // one section
  put16(b, 0x54, 240);         // optional header size
  put16(b, 0x56, 0x2022);      // executable, large address aware, DLL
  const size_t opt = 0x58;
  put16(b, opt, 0x20B);                      // PE32+
  put32(b, opt + 32, 0x1000);                // SectionAlignment
  put32(b, opt + 36, kFileAlignment);        // FileAlignment
  put16(b, opt + 48, 6);                     // subsystem version 6.0
  put32(b, opt + 56, kSectionRva + ((rawSize + 0xFFF) & ~0xFFFu));  // SizeOfImage
  put32(b, opt + 60, kFileAlignment);        // SizeOfHeaders
  put16(b, opt + 68, 2);                     // Windows GUI subsystem
  put32(b, opt + 108, 16);                   // data directories
  put32(b, opt + 112 + 2 * 8, kSectionRva);  // resource directory
  put32(b, opt + 112 + 2 * 8 + 4, static_cast<uint32_t>(rsrc.size()));
  const size_t section = opt + 240;
  const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  for (int i = 0; i < 8; ++i) b[section + i] = static_cast<uint8_t>(name[i]);
  put32(b, section + 8, static_cast<uint32_t>(rsrc.size()));
  put32(b, section + 12, kSectionRva);
  put32(b, section + 16, rawSize);
  put32(b, section + 20, kFileAlignment);
  put32(b, section + 36, 0x40000040u);  // initialised data, readable
  b.insert(b.end(), rsrc.begin(), rsrc.end());
  b.resize(kFileAlignment + rawSize, 0);
  const std::string tmp = path + ".tmp";
  std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  out.close();
  if (!out || std::rename(tmp.c_str(), path.c_str()) != 0) {
    err(L"cannot write the message file\n");
    return 1;
  }
  return 0;
}

}  // namespace zorel::wintools
