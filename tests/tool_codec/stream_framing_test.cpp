#include "tool/codec/stream_framing.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "tool/codec/packet.hpp"

namespace tarvo {
namespace {

std::vector<uint8_t> Frame(std::vector<uint8_t> packet) {
  std::vector<uint8_t> out(2 * packet.size() + 2);
  out.resize(EncodeStreamFrame(packet.data(), packet.size(), out.data(), out.size()));
  return out;
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& line, size_t cap, bool* complete) {
  std::vector<uint8_t> dst(cap);
  StreamDecoder d(dst.data(), dst.size());
  *complete = false;
  for (uint8_t b : line) {
    if (d.Feed(b) == StreamDecoder::Step::kComplete) {
      *complete = true;
      break;
    }
  }
  dst.resize(std::min(d.count(), cap));
  return dst;
}

TEST(StreamFraming, ResetFramesToController1And170) {
  EXPECT_EQ(Frame({0x68, 0x32, 0x01, 0x2D, 0x01, 0x00, 0xC9, 0x00}),
            (std::vector<uint8_t>{0xA5, 0x68, 0x32, 0x01, 0x2D, 0x01, 0x00, 0xC9, 0x00, 0xAE}));
  uint8_t p[8] = {0x68, 0x32, 0xAA, 0x2D, 0x01, 0x00};
  AppendChecksum(p, 6);  // sum over the unescaped packet: 0x0172
  EXPECT_EQ(
      Frame(std::vector<uint8_t>(p, p + 8)),
      (std::vector<uint8_t>{0xA5, 0x68, 0x32, 0xAA, 0x0A, 0x2D, 0x01, 0x00, 0x72, 0x01, 0xAE}));
}

TEST(StreamFraming, OnlyTheThreeMarkersAreEscaped) {
  EXPECT_EQ(
      Frame({0xA5, 0xAA, 0xAE, 0xA0, 0xAF, 0xAB}),
      (std::vector<uint8_t>{0xA5, 0xAA, 0x05, 0xAA, 0x0A, 0xAA, 0x0E, 0xA0, 0xAF, 0xAB, 0xAE}));
}

TEST(StreamFraming, DecoderRestoresEscapesAndRestartsOnStartByte) {
  bool complete;
  EXPECT_EQ(Decode({0xA5, 0xAA, 0x05, 0xAA, 0x0E, 0xAA, 0x0A, 0xAE}, 16, &complete),
            (std::vector<uint8_t>{0xA5, 0xAE, 0xAA}));
  EXPECT_TRUE(complete);
  EXPECT_EQ(Decode({0xA5, 0x11, 0x22, 0xA5, 0x68, 0x01, 0xAE}, 16, &complete),
            (std::vector<uint8_t>{0x68, 0x01}));
  EXPECT_TRUE(Decode({0xA5, 0xAE}, 16, &complete).empty());
  EXPECT_TRUE(complete);
}

TEST(StreamFraming, EncodeRefusesWhatDoesNotFitAndDecoderNeverWritesPastCapacity) {
  std::vector<uint8_t> packet(10, 0xA5);  // 20 escaped bytes + 2 markers
  std::vector<uint8_t> out(21);
  EXPECT_EQ(EncodeStreamFrame(packet.data(), packet.size(), out.data(), out.size()), 0u);
  out.resize(22);
  EXPECT_EQ(EncodeStreamFrame(packet.data(), packet.size(), out.data(), out.size()), 22u);

  uint8_t dst[4] = {};
  uint8_t guard = 0x5A;
  StreamDecoder d(dst, sizeof dst);
  for (uint8_t b : {0xA5, 1, 2, 3, 4, 5, 6}) d.Feed(static_cast<uint8_t>(b));
  EXPECT_TRUE(d.overflowed());
  EXPECT_EQ(guard, 0x5A);
  EXPECT_EQ(dst[3], 4);
}

TEST(StreamFraming, RoundTripOfEveryByteValue) {
  std::vector<uint8_t> packet(256);
  for (int i = 0; i < 256; ++i) packet[i] = static_cast<uint8_t>(i);
  bool complete;
  EXPECT_EQ(Decode(Frame(packet), 512, &complete), packet);
  EXPECT_TRUE(complete);
}

}  // namespace
}  // namespace tarvo
