#include "tool/codec/packet.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace tarvo {
namespace {

TEST(Packet, ChecksumOfResetToController1) {
  uint8_t p[8] = {0x68, 0x32, 0x01, 0x2D, 0x01, 0x00};
  EXPECT_EQ(AppendChecksum(p, 6), 8u);
  EXPECT_EQ(p[6], 0xC9);
  EXPECT_EQ(p[7], 0x00);
}

TEST(Packet, ChecksumWrapsAtSixteenBits) {
  std::vector<uint8_t> p(300, 0xFF);  // 298 * 255 = 75990 -> 0x28D6
  AppendChecksum(p.data(), 298);
  EXPECT_EQ(p[298], 0xD6);
  EXPECT_EQ(p[299], 0x28);
}

TEST(Packet, CheckAcceptsBothStartBytesAndRejectsShortOrWrongSums) {
  uint8_t reply[8] = {0xE8, 0x32, 0x01, 0x29, 0x01, 0x01};
  AppendChecksum(reply, 6);
  EXPECT_TRUE(CheckPacket(reply, 8));
  reply[0] = 0x68;
  AppendChecksum(reply, 6);
  EXPECT_TRUE(CheckPacket(reply, 8));
  reply[0] = 0x69;
  AppendChecksum(reply, 6);
  EXPECT_FALSE(CheckPacket(reply, 8));  // neither start byte
  reply[0] = 0xE8;
  AppendChecksum(reply, 6);
  reply[7] ^= 1;
  EXPECT_FALSE(CheckPacket(reply, 8));  // sum differs
  uint8_t tiny[5] = {0xE8, 0, 0, 0xE8, 0};
  EXPECT_FALSE(CheckPacket(tiny, 5));  // five bytes or fewer never pass
  EXPECT_FALSE(CheckPacket(nullptr, 8));
}

}  // namespace
}  // namespace tarvo
