// The format's arithmetic: data-block checksum, DOS dates, continuation names.

#include "cab_format.h"

#include <gtest/gtest.h>

namespace zorel::cab {
namespace {

TEST(CabChecksum, XorsLittleEndianWordsAndPacksLeftoverBytesHighToLow) {
  const uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x10, 0x20, 0x30};
  // One word 0x04030201, then 0x10 0x20 0x30 packed as 0x00102030.
  EXPECT_EQ(checksum(data, 7, 0), 0x04030201u ^ 0x00102030u);
  EXPECT_EQ(checksum(data, 5, 0), 0x04030201u ^ 0x10u);
  EXPECT_EQ(checksum(data, 6, 0), 0x04030201u ^ 0x1020u);
  EXPECT_EQ(checksum(data, 4, 0xFFFFFFFFu), 0x04030201u ^ 0xFFFFFFFFu);
}

TEST(CabChecksum, BlockChecksumCoversTheSizeFieldsAfterTheData) {
  const uint8_t data[] = {'C', 'K', 0x03, 0x00};
  uint32_t expected = checksum(data, 4, 0) ^ (4u | (1u << 16));
  EXPECT_EQ(blockChecksum(data, 4, 4, 1), expected);
}

TEST(CabDosDate, PacksFieldsAndClampsOutOfRangeYears) {
  DosDateTime t = toDosDateTime(2024, 6, 11, 13, 45, 31);
  EXPECT_EQ(t.date, ((2024 - 1980) << 9) | (6 << 5) | 11);
  EXPECT_EQ(t.time, (13 << 11) | (45 << 5) | 15);  // two-second units
  EXPECT_EQ(toDosDateTime(1970, 1, 1, 0, 0, 0).date, (1 << 5) | 1);
  EXPECT_EQ(toDosDateTime(2200, 1, 1, 0, 0, 0).date, (127 << 9) | (12 << 5) | 31);
}

TEST(CabNextName, NumbersContinuationCabinetsFromTwo) {
  EXPECT_EQ(nextCabinetName("collection.cab", 1), "collection.cab");
  std::string name = "collection.cab";
  for (int n = 2; n <= 101; ++n) {
    name = nextCabinetName(name, n);
    // Each name comes from the one before, so digits must be stripped right.
    EXPECT_EQ(name, "collection" + std::to_string(n) + ".cab") << n;
  }
}

TEST(CabNextName, CutsTheNameAtItsFirstDot) {
  EXPECT_EQ(nextCabinetName("db.backup.cab", 2), "db2.cab");
  EXPECT_EQ(nextCabinetName("db2.cab", 3), "db3.cab");
}

}  // namespace
}  // namespace zorel::cab
