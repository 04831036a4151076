// The System plug-in's texts from numbers alone.

#include "zorel/plugins/system/system_texts.h"

#include <gtest/gtest.h>

namespace zorel::system_texts {
namespace {

TEST(SystemTexts, SizesDatesAndTimes) {
  EXPECT_EQ(GbText(8.0f), L"8.00 GB(s)");
  EXPECT_EQ(GbText(0.006f), L"0.01 GB(s)");
  std::tm t{};
  t.tm_mday = 5;
  t.tm_mon = 11;
  t.tm_year = 116;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  EXPECT_EQ(DateText(t), L"5/12/2016");
  EXPECT_EQ(TimeText(t), L"9:5:7");
  EXPECT_EQ(DriveRootOf(L"C:\\Windows"), L"C:\\");
  EXPECT_EQ(DriveRootOf(L"D:\\a\\b"), L"D:\\");
  EXPECT_EQ(DriveRootOf(L"Windows"), L"");
}

TEST(SystemTexts, RequirementTexts) {
  EXPECT_EQ(CpuExpectedText(2000.0f), L"$GEN1003$ 2000 MHz");
  EXPECT_EQ(CpuExpectedText(1.5f), L"$GEN1003$ 1.5 MHz");
  EXPECT_EQ(CpuExpectedText(2000.1f), L"$GEN1003$ 2000.09998 MHz");  // a float's digits
  EXPECT_EQ(CpuExpectedText(3.0e38f), L"$GEN1003$ 3.00000001e+38 MHz");
  EXPECT_EQ(CpuActualText(1800), L"1800 MHz");
  EXPECT_EQ(DiskExpectedText(500), L"$GEN1004$ 500 MB");
  EXPECT_EQ(DiskActualText(300), L"300 MB");
  EXPECT_EQ(MemoryExpectedText(4.0f), L"4.0 GB $GEN1002$");
  EXPECT_EQ(MemoryExpectedText(-1.0f), L"-1.0 GB $GEN1002$");
  EXPECT_EQ(MemoryActualText(8.0f), L"8.0 GB");
  EXPECT_EQ(MemoryActualText(7.99f), L"7.9 GB");  // rounded down
}

}  // namespace
}  // namespace zorel::system_texts
