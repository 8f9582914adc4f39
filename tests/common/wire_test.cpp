#include "common/wire.hpp"

#include <gtest/gtest.h>

namespace tarvo::wire {
namespace {

TEST(Wire, FieldsKeepTheirByteOrderWhateverTheHost) {
  uint8_t b[4];
  PutLe16(b, 0x1234);
  EXPECT_EQ(b[0], 0x34);
  EXPECT_EQ(b[1], 0x12);
  EXPECT_EQ(GetLe16(b), 0x1234);
  PutLe32(b, 0x89ABCDEF);
  EXPECT_EQ(b[0], 0xEF);
  EXPECT_EQ(b[3], 0x89);
  EXPECT_EQ(GetLe32(b), 0x89ABCDEFu);
  PutBe32(b, 0xC0A80132);  // 192.168.1.50
  EXPECT_EQ(b[0], 0xC0);
  EXPECT_EQ(b[3], 0x32);
  EXPECT_EQ(GetBe32(b), 0xC0A80132u);
}

TEST(Wire, ReaderNeverPassesTheEndAndReportsIt) {
  const uint8_t data[5] = {1, 2, 3, 4, 5};
  Reader r(data, sizeof data);
  EXPECT_EQ(r.U8(), 1);
  EXPECT_EQ(r.Le32(), 0x05040302u);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.Le16(), 0);  // one byte short
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.U8(), 0);  // stays failed
  uint8_t out[2] = {9, 9};
  EXPECT_FALSE(r.Bytes(out, 1));
  EXPECT_EQ(out[0], 9);
}

TEST(Wire, FixedTextStopsAtZeroOrWidth) {
  const uint8_t a[6] = {'A', 'B', 0, 'C', 'D', 'E'};
  EXPECT_EQ(FixedText(a, 6), "AB");
  const uint8_t b[3] = {'X', 'Y', 'Z'};
  EXPECT_EQ(FixedText(b, 3), "XYZ");
}

}  // namespace
}  // namespace tarvo::wire
