// The card side of zvrelayd's card protocol as bytes: registrations, replies
// and the decoding of forwarded UDP datagrams, including hostile ones.
#include "sim/relay_card_codec.hpp"

#include <gtest/gtest.h>

namespace tarvo::sim {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(RelayCardCodec, DeviceIdFormsOfTheTwoKindsOfCards) {
  EXPECT_TRUE(IsTcpCardId("ABC123"));
  EXPECT_FALSE(IsTcpCardId("ABC12"));
  EXPECT_FALSE(IsTcpCardId("ABC1234"));
  EXPECT_FALSE(IsTcpCardId("ABC 12"));
  EXPECT_FALSE(
      IsTcpCardId(std::string("ABC\x00"
                              "12",
                              6)));
  EXPECT_TRUE(IsUdpCardId("1"));
  EXPECT_TRUE(IsUdpCardId(std::string(30, '9')));
  EXPECT_FALSE(IsUdpCardId(std::string(31, '9')));
  EXPECT_FALSE(IsUdpCardId(""));
  EXPECT_FALSE(IsUdpCardId("12a4"));
}

TEST(RelayCardCodec, TcpRegistrationAndReplyCarryTheDeviceIdAndLength) {
  EXPECT_EQ(TcpCardRegistration("ABC123"), (Bytes{6, 0, 'A', 'B', 'C', '1', '2', '3'}));
  Bytes reply(300, 0xE8);
  Bytes framed = TcpCardReply("ABC123", reply);
  ASSERT_EQ(framed.size(), 2u + 6u + 300u);
  EXPECT_EQ(framed[0], (306 & 0xFF));
  EXPECT_EQ(framed[1], (306 >> 8));
  EXPECT_EQ(std::string(framed.begin() + 2, framed.begin() + 8), "ABC123");
  EXPECT_TRUE(std::equal(reply.begin(), reply.end(), framed.begin() + 8));
  // A reply the 16-bit length cannot describe is not sent in a cut form.
  EXPECT_TRUE(TcpCardReply("ABC123", Bytes(0x10000 - 6)).empty());
  EXPECT_EQ(TcpCardReply("ABC123", Bytes(0xFFFF - 6)).size(), 0xFFFFu + 2u);
}

TEST(RelayCardCodec, ZvrelaydsProbeAndChallengeAreAnsweredButPacketsAreNot) {
  Bytes probe = {0, 0, 0, 0, 0, 0, 0xC1, 1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(IsTcpCardControl(probe.data(), probe.size()));
  EXPECT_EQ(TcpCardControlAnswer("ABC123", "", probe.data(), probe.size()),
            (Bytes{0x0F, 0, 'A', 'B', 'C', '1', '2', '3', 0xC2, 1, 2, 3, 4, 5, 6, 7, 8}));
  Bytes challenge = {0, 0, 0, 0, 0, 0, 0xC3};
  for (uint8_t i = 0; i < 16; ++i) challenge.push_back(i);
  // HMAC-SHA256 keyed "s3cret" over the nonce 00..0F and "ABC123".
  const Bytes answer = TcpCardControlAnswer("ABC123", "s3cret", challenge.data(), challenge.size());
  ASSERT_EQ(answer.size(), 41u);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 9),
            (Bytes{0x27, 0, 'A', 'B', 'C', '1', '2', '3', 0xC4}));
  std::string hex;
  for (size_t i = 9; i < answer.size(); ++i) {
    static const char digits[] = "0123456789abcdef";
    hex += digits[answer[i] >> 4];
    hex += digits[answer[i] & 0x0F];
  }
  EXPECT_EQ(hex, "ab2fb94da11a3a453328e0e4f903fa2f4a3600bfb44edfc87f96f5d3dafc37d8");
  // A card without a secret cannot answer; forwarded packets (01 x 6) and
  // frames of another size are the controller's, even with a marker byte.
  EXPECT_TRUE(TcpCardControlAnswer("ABC123", "", challenge.data(), challenge.size()).empty());
  Bytes forwarded = probe;
  forwarded[0] = 1;
  EXPECT_FALSE(IsTcpCardControl(forwarded.data(), forwarded.size()));
  EXPECT_FALSE(IsTcpCardControl(probe.data(), probe.size() - 1));
  Bytes swapped = challenge;
  swapped[6] = 0xC1;
  EXPECT_FALSE(IsTcpCardControl(swapped.data(), swapped.size()));
}

TEST(RelayCardCodec, UdpRepliesEscapeThePacketButNotTheDigits) {
  EXPECT_EQ(UdpCardRegistration("1380"), (Bytes{0xA5, '1', '3', '8', '0', 0xAE}));
  EXPECT_EQ(UdpCardReply("12", {0xE8, 0xA5, 0xAA, 0xAE, 0xA1}),
            (Bytes{0xA5, '1', '2', 0xE8, 0xAA, 0x05, 0xAA, 0x0A, 0xAA, 0x0E, 0xA1, 0xAE}));
}

TEST(RelayCardCodec, ForwardedDatagramIsTakenOnlyWhenAddressedToThisCard) {
  const Bytes packet = {0x68, 0x32, 0xFF, 0x2D, 0xA5, 0xAE, 0xAA};
  Bytes datagram = UdpCardReply("13812345678", packet);  // same shape both ways
  Bytes out;
  ASSERT_TRUE(DecodeUdpCardForward(datagram.data(), datagram.size(), "13812345678", 4096, &out));
  EXPECT_EQ(out, packet);
  // Another card, a shorter or longer DeviceID that shares the prefix.
  EXPECT_FALSE(DecodeUdpCardForward(datagram.data(), datagram.size(), "13812345679", 4096, &out));
  EXPECT_FALSE(DecodeUdpCardForward(datagram.data(), datagram.size(), "1381234567", 4096, &out));
  EXPECT_FALSE(DecodeUdpCardForward(datagram.data(), datagram.size(), "138123456780", 4096, &out));
  EXPECT_TRUE(out.empty());
}

TEST(RelayCardCodec, MalformedOrOversizedDatagramsAreRefused) {
  Bytes out;
  const Bytes registration = UdpCardRegistration("1234");
  EXPECT_FALSE(DecodeUdpCardForward(registration.data(), registration.size(), "1234", 4096, &out))
      << "no packet";
  Bytes no_end = UdpCardReply("1234", {0x68, 1, 2});
  no_end.pop_back();
  EXPECT_FALSE(DecodeUdpCardForward(no_end.data(), no_end.size(), "1234", 4096, &out));
  Bytes no_start = UdpCardReply("1234", {0x68, 1, 2});
  no_start.erase(no_start.begin());
  EXPECT_FALSE(DecodeUdpCardForward(no_start.data(), no_start.size(), "1234", 4096, &out));
  EXPECT_FALSE(DecodeUdpCardForward(nullptr, 0, "1234", 4096, &out));
  Bytes big = UdpCardReply("1234", Bytes(4097, 0x68));
  EXPECT_FALSE(DecodeUdpCardForward(big.data(), big.size(), "1234", 4096, &out));
  Bytes fits = UdpCardReply("1234", Bytes(4096, 0xA5));
  EXPECT_TRUE(DecodeUdpCardForward(fits.data(), fits.size(), "1234", 4096, &out));
  EXPECT_EQ(out.size(), 4096u);
}

}  // namespace
}  // namespace tarvo::sim
