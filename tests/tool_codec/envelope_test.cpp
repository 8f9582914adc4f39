// Relay envelopes, gateway messages and stream reception: the pure
// wrapping code of the media.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "tool/codec/gateway_frame.hpp"
#include "tool/codec/packet.hpp"
#include "tool/codec/relay_envelope.hpp"
#include "tool/codec/stream_framing.hpp"
#include "tool/codec/stream_receive.hpp"

namespace tarvo {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Packet(uint8_t start, size_t payload, uint8_t fill = 0x42) {
  Bytes p(5 + payload + 2, fill);
  p[0] = start;
  p[1] = 0x32;
  p[2] = 0xFF;
  p[3] = 0x29;
  p[4] = 0x01;
  AppendChecksum(p.data(), p.size() - 2);
  return p;
}

Bytes RouteOne(const std::string& id, const Bytes& packet, int declared = -1) {
  size_t l = declared < 0 ? packet.size() + 6 : static_cast<size_t>(declared);
  Bytes out = {static_cast<uint8_t>(l), static_cast<uint8_t>(l >> 8)};
  out.insert(out.end(), id.begin(), id.end());
  out.insert(out.end(), packet.begin(), packet.end());
  return out;
}

Bytes RouteTwo(const std::string& digits, const Bytes& packet, bool end = true) {
  Bytes out = {0xA5};
  out.insert(out.end(), digits.begin(), digits.end());
  AppendEscaped(packet.data(), packet.size(), out);
  if (end) out.push_back(0xAE);
  return out;
}

TEST(RouteOneEnvelope, RequestLayout) {
  Bytes p = Packet(0x68, 1);
  Bytes env;
  ASSERT_TRUE(EncodeRouteOneRequest(p.data(), p.size(), &env));
  ASSERT_EQ(env.size(), p.size() + 8);
  EXPECT_EQ(env[0], p.size() + 6);
  EXPECT_EQ(env[1], 0);
  EXPECT_EQ(Bytes(env.begin() + 2, env.begin() + 8), Bytes(6, 0x01));
  EXPECT_EQ(Bytes(env.begin() + 8, env.end()), p);
  Bytes huge(0xFFFA, 0);
  EXPECT_FALSE(EncodeRouteOneRequest(huge.data(), huge.size(), &env));
}

TEST(RouteOneEnvelope, ReplyAcceptedOnlyForThisCardAndAReplyPacket) {
  Bytes p = Packet(0xE8, 4);
  uint8_t out[600] = {};
  Bytes env = RouteOne("AbC123", p);
  EXPECT_EQ(DecodeRouteOneReply(env.data(), env.size(), "AbC123", out, sizeof out), p.size());
  EXPECT_EQ(Bytes(out, out + p.size()), p);
  // Case differs: another card.
  EXPECT_EQ(DecodeRouteOneReply(env.data(), env.size(), "ABC123", out, sizeof out), 0u);
  // Not a reply packet.
  Bytes q = RouteOne("AbC123", Packet(0x68, 4));
  EXPECT_EQ(DecodeRouteOneReply(q.data(), q.size(), "AbC123", out, sizeof out), 0u);
  // Fewer than 15 bytes.
  Bytes s = RouteOne("AbC123", Bytes{0xE8, 1, 2, 3, 4, 5});
  EXPECT_EQ(DecodeRouteOneReply(s.data(), s.size(), "AbC123", out, sizeof out), 0u);
  // Declared length beyond what arrived, or no packet at all.
  Bytes l = RouteOne("AbC123", p, static_cast<int>(p.size() + 7));
  EXPECT_EQ(DecodeRouteOneReply(l.data(), l.size(), "AbC123", out, sizeof out), 0u);
  Bytes z = RouteOne("AbC123", p, 6);
  EXPECT_EQ(DecodeRouteOneReply(z.data(), z.size(), "AbC123", out, sizeof out), 0u);
  // Packet larger than the capacity.
  EXPECT_EQ(DecodeRouteOneReply(env.data(), env.size(), "AbC123", out, p.size() - 1), 0u);
}

TEST(RouteTwoEnvelope, RequestIsEscapedBehindTheDigits) {
  Bytes p = {0x68, 0x32, 0xFF, 0xA5, 0x01, 0xAA, 0xAE};
  Bytes env;
  ASSERT_TRUE(EncodeRouteTwoRequest("123456", p.data(), p.size(), &env));
  EXPECT_EQ(env, (Bytes{0xA5, '1', '2', '3', '4', '5', '6', 0x68, 0x32, 0xFF, 0xAA, 0x05, 0x01,
                        0xAA, 0x0A, 0xAA, 0x0E, 0xAE}));
}

TEST(RouteTwoEnvelope, ReplyDigitsMustMatchExactly) {
  Bytes p = Packet(0xE8, 2, 0xA5);  // payload needs escapes
  uint8_t out[300] = {};
  Bytes env = RouteTwo("123456", p);
  EXPECT_EQ(DecodeRouteTwoReply(env.data(), env.size(), "123456", out, sizeof out), p.size());
  EXPECT_EQ(Bytes(out, out + p.size()), p);
  EXPECT_EQ(DecodeRouteTwoReply(env.data(), env.size(), "1234567", out, sizeof out), 0u);
  EXPECT_EQ(DecodeRouteTwoReply(env.data(), env.size(), "12345", out, sizeof out), 0u);
  // No end byte.
  Bytes open = RouteTwo("123456", p, false);
  EXPECT_EQ(DecodeRouteTwoReply(open.data(), open.size(), "123456", out, sizeof out), 0u);
  // Only digits.
  Bytes digits = RouteTwo("123456789012345", {});
  EXPECT_EQ(DecodeRouteTwoReply(digits.data(), digits.size(), "123456789012345", out, sizeof out),
            0u);
  // Not a reply packet.
  Bytes req = RouteTwo("123456", Packet(0x68, 2));
  EXPECT_EQ(DecodeRouteTwoReply(req.data(), req.size(), "123456", out, sizeof out), 0u);
  // Decoded body shorter than 13 bytes.
  Bytes tiny = RouteTwo("123456", Bytes{0xE8, 1, 2, 3, 4, 5});
  tiny.insert(tiny.begin(), 3, 0x00);  // padding so that 15 bytes arrive
  EXPECT_EQ(DecodeRouteTwoReply(tiny.data(), tiny.size(), "123456", out, sizeof out), 0u);
  // Garbage in front is dropped by the start byte.
  Bytes g = env;
  g.insert(g.begin(), {0x01, 0x02, 0xA5, 0x03});
  EXPECT_EQ(DecodeRouteTwoReply(g.data(), g.size(), "123456", out, sizeof out), p.size());
  EXPECT_EQ(DecodeRouteTwoReply(env.data(), env.size(), "123456", out, p.size() - 1), 0u);
}

DccMessage Data(uint8_t type, const Bytes& data) {
  DccMessage m{};
  m.type = type;
  m.length[0] = static_cast<uint8_t>(data.size());
  m.length[1] = static_cast<uint8_t>(data.size() >> 8);
  if (!data.empty()) std::memcpy(m.data, data.data(), data.size());
  return m;
}

TEST(GatewayFrame, BuildsTheRecordAndRefusesWhatDoesNotFit) {
  Bytes p = Packet(0x68, 1, 0x01);
  DccMessage m;
  ASSERT_TRUE(BuildGatewayMessage("123456789012345", p.data(), p.size(), &m));
  EXPECT_STREQ(m.id, "123456789012345");
  EXPECT_EQ(m.type, 0);
  EXPECT_EQ(m.zero, 0);
  EXPECT_EQ(m.length[0], 10);
  EXPECT_EQ(m.length[1], 0);
  EXPECT_FALSE(BuildGatewayMessage(std::string(32, '1'), p.data(), p.size(), &m));
  Bytes big(1000, 0xA5);  // 2000 escaped bytes
  EXPECT_FALSE(BuildGatewayMessage("1", big.data(), big.size(), &m));
}

TEST(GatewayFrame, DecodesWithAndWithoutEndByte) {
  uint8_t out[100];
  std::memset(out, 0x77, sizeof out);
  DccMessage m = Data(0, {0xA5, 0xE8, 0xAA, 0x05, 0xAA, 0x0E, 0xAA, 0x0A, 0xAE, 0x11});
  EXPECT_EQ(DecodeGatewayMessage(m, out, sizeof out), 4u);
  EXPECT_EQ(Bytes(out, out + 5), (Bytes{0xE8, 0xA5, 0xAE, 0xAA, 0x00}));
  DccMessage open = Data(0, {0x01, 0xA5, 0xE8, 0x02});
  EXPECT_EQ(DecodeGatewayMessage(open, out, sizeof out), 2u);
  EXPECT_EQ(DecodeGatewayMessage(Data(4, {0xA5, 0xE8, 0xAE}), out, sizeof out), 0u);
  EXPECT_EQ(DecodeGatewayMessage(Data(0, {}), out, sizeof out), 0u);
  DccMessage lying = Data(0, {0xA5, 0xE8});
  lying.length[0] = 0xFF;
  lying.length[1] = 0xFF;
  EXPECT_EQ(DecodeGatewayMessage(lying, out, sizeof out), 0u);
  Bytes longer(50, 0x33);
  longer.insert(longer.begin(), 0xA5);
  EXPECT_EQ(DecodeGatewayMessage(Data(0, longer), out, 10), 0u);
}

// A byte source that hands out queued chunks and reports an empty read
// between them, as the serial ring does.
struct ChunkSource {
  std::deque<Bytes> chunks;
  Bytes current;
  size_t pos = 0;
  int empty_reads = 0;
  int operator()(uint8_t* out) {
    if (pos == current.size()) {
      if (chunks.empty()) {
        ++empty_reads;
        return 0;
      }
      current = chunks.front();
      chunks.pop_front();
      pos = 0;
      if (current.empty()) {
        ++empty_reads;
        return 0;
      }
    }
    *out = current[pos++];
    return 1;
  }
};

TEST(StreamReceive, RestartsOnStartByteAndTerminates) {
  ChunkSource src;
  src.chunks = {{0xA5, 0x11, 0x22, 0xA5, 0x68}, {0x01, 0xAA, 0x05, 0xAE, 0x99}};
  uint8_t out[16];
  std::memset(out, 0x77, sizeof out);
  ByteSource next = [&](uint8_t* b) { return src(b); };
  EXPECT_EQ(ReceiveStreamPacket(next, 3, out, sizeof out), 3u);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{0x68, 0x01, 0xA5, 0x00}));
}

TEST(StreamReceive, IdleReadsAreCountedAcrossTheWholeReply) {
  ChunkSource src;
  // Two silences between pieces use up two of the three idle reads; the
  // third ends the reply although bytes were arriving.
  src.chunks = {{0xA5, 0x01}, {}, {0x02}, {}, {0x03}};
  uint8_t out[16];
  ByteSource next = [&](uint8_t* b) { return src(b); };
  EXPECT_EQ(ReceiveStreamPacket(next, 3, out, sizeof out), 0u);
  EXPECT_EQ(src.empty_reads, 3);
}

TEST(StreamReceive, EmptyFrameAndOverlongFrameGiveNothing) {
  uint8_t out[4];
  ChunkSource a;
  a.chunks = {{0xA5, 0xAE}};
  ByteSource na = [&](uint8_t* b) { return a(b); };
  EXPECT_EQ(ReceiveStreamPacket(na, 3, out, sizeof out), 0u);
  ChunkSource b;
  b.chunks = {{0xA5, 1, 2, 3, 4, 5, 0xAE}};
  ByteSource nb = [&](uint8_t* x) { return b(x); };
  EXPECT_EQ(ReceiveStreamPacket(nb, 3, out, sizeof out), 0u);
  // Exactly the capacity fits; no room is left for the zero byte.
  ChunkSource c;
  c.chunks = {{0xA5, 1, 2, 3, 4, 0xAE}};
  ByteSource nc = [&](uint8_t* x) { return c(x); };
  EXPECT_EQ(ReceiveStreamPacket(nc, 3, out, sizeof out), 4u);
}

}  // namespace
}  // namespace tarvo
