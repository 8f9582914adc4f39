// The network medium against a loopback controller: the header, split and
// oversized replies, silence, refused connections.
#include <gtest/gtest.h>

#include <sstream>

#include "link_test_util.hpp"
#include "scripted_tcp_peer.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/packet_io.hpp"
#include "tool/protocol/commands.hpp"

namespace tarvo {
namespace {

using test::Bytes;
using test::ScriptedTcpPeer;

class TcpMediumTest : public ::testing::Test {
 protected:
  void Connect(uint16_t port, uint32_t id_code = 0xC0A80132) {
    link_.comm_type = 2;
    link_.settings.controller_address = 0x7F000001;
    link_.settings.controller_port = port;
    link_.settings.id_code = id_code;
    link_.tcp.timing.receive_timeout_ms = 300;
    link_.tcp.timing.pause_before_connect_ms = 0;
    link_.tcp.timing.pause_after_connect_ms = 0;
    ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 7), 1);
  }
  ConnectionManager link_;
};

TEST(TcpHeader, IdCodeBigEndianLengthLittleEndian) {
  uint8_t h[8];
  PutNetworkHeader(h, 0xC0A80132, 8);
  EXPECT_EQ(Bytes(h, h + 8), (Bytes{0xC0, 0xA8, 0x01, 0x32, 0x08, 0x00, 0x00, 0x00}));
  PutNetworkHeader(h, 0xFFFFFFFF, 0x1234);
  EXPECT_EQ(Bytes(h, h + 8), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x34, 0x12, 0x00, 0x00}));
}

TEST(TcpTimingValues, ProductionValues) {
  TcpTiming t;
  EXPECT_EQ(t.pause_before_connect_ms, 50);
  EXPECT_EQ(t.pause_after_connect_ms, 3);
  EXPECT_EQ(t.connect_timeout_ms, 5000);
  EXPECT_EQ(t.receive_timeout_ms, 10000);
  EXPECT_EQ(t.incomplete_grace_ms, 200);
}

TEST_F(TcpMediumTest, RequestCarriesHeaderAndAnyControllerId) {
  ScriptedTcpPeer peer([](const Bytes& p, const Bytes&) {
    return std::vector<Bytes>{ScriptedTcpPeer::Segment(test::Reply(p[3], {0x01}))};
  });
  Connect(peer.port());
  EXPECT_EQ(link_.controller_id(), 0xFF);
  std::ostringstream trace;
  link_.trace = &trace;
  EXPECT_EQ(ResetController(link_), 1);
  EXPECT_EQ(trace.str(), "TX 8: 68 32 FF 2D 01 00 C7 01\nRX 8: E8 32 FF 2D 01 01 48 02\n");
  ASSERT_EQ(peer.requests().size(), 1u);
  EXPECT_EQ(peer.headers()[0], (Bytes{0xC0, 0xA8, 0x01, 0x32, 0x08, 0x00, 0x00, 0x00}));
  EXPECT_EQ(peer.requests()[0], (Bytes{0x68, 0x32, 0xFF, 0x2D, 0x01, 0x00, 0xC7, 0x01}));
  link_.CloseLink();
  EXPECT_FALSE(link_.tcp.IsOpen());
}

TEST_F(TcpMediumTest, ReplySplitIntoSegmentsIsReassembledByItsHeaderLength) {
  ScriptedTcpPeer peer([](const Bytes& p, const Bytes&) {
    Bytes whole = ScriptedTcpPeer::Segment(test::Reply(p[3], {0x01, 0x10, 0x20, 0x30, 0x40}));
    // Header and two bytes, then the rest.
    return std::vector<Bytes>{Bytes(whole.begin(), whole.begin() + 10),
                              Bytes(whole.begin() + 10, whole.end())};
  });
  Connect(peer.port());
  EXPECT_EQ(GetFreeSpace(link_, kUserDisk), 0x40302010u);
}

TEST_F(TcpMediumTest, WrongHeaderLengthsNeitherCutTheReplyNorCostTheReceiveBound) {
  // Understated (3) and split after the stated length; overstated (900) and
  // split; no length at all. Each reply is taken when its sum holds, well
  // before the 20 s bound.
  for (uint16_t declared : {uint16_t{3}, uint16_t{900}, uint16_t{0}}) {
    ScriptedTcpPeer peer([declared](const Bytes& p, const Bytes&) {
      Bytes whole =
          ScriptedTcpPeer::Segment(test::Reply(p[3], {0x01, 0x10, 0x20, 0x30, 0x40}), declared);
      return std::vector<Bytes>{Bytes(whole.begin(), whole.begin() + 12),
                                Bytes(whole.begin() + 12, whole.end())};
    });
    Connect(peer.port());
    link_.tcp.timing.receive_timeout_ms = 20000;
    int64_t start = platform::MonotonicMs();
    EXPECT_EQ(GetFreeSpace(link_, kUserDisk), 0x40302010u) << declared;
    EXPECT_EQ(GetFreeSpace(link_, kSystemDisk), 0x40302010u) << declared;
    EXPECT_LT(platform::MonotonicMs() - start, 5000) << declared;
    link_.CloseLink();
  }
  // A garbled reply of the stated length costs the short grace, not the bound.
  ScriptedTcpPeer garbled([](const Bytes& p, const Bytes&) {
    Bytes reply = test::Reply(p[3], {0x01, 0x10, 0x20, 0x30, 0x40});
    reply.back() ^= 0x55;
    return std::vector<Bytes>{ScriptedTcpPeer::Segment(reply)};
  });
  Connect(garbled.port());
  link_.tcp.timing.receive_timeout_ms = 20000;
  int64_t start = platform::MonotonicMs();
  GetFreeSpace(link_, kUserDisk);
  EXPECT_FALSE(link_.last_reply.whole);
  EXPECT_EQ(link_.last_reply.length, 12u);
  EXPECT_LT(platform::MonotonicMs() - start, 5000);
}

TEST_F(TcpMediumTest, SilenceIsBoundedAndGivesNoReply) {
  ScriptedTcpPeer peer([](const Bytes&, const Bytes&) { return std::vector<Bytes>{}; });
  Connect(peer.port());
  int64_t start = platform::MonotonicMs();
  EXPECT_EQ(GetFreeSpace(link_, kUserDisk), 0u);
  EXPECT_EQ(OpenFileForRead(link_, "A.TXT", "rb", nullptr), 255);
  EXPECT_LT(platform::MonotonicMs() - start, 3000);
}

TEST_F(TcpMediumTest, OversizedSegmentIsCutAt1500Bytes) {
  ScriptedTcpPeer peer([](const Bytes& p, const Bytes&) {
    Bytes big(1700, 0x33);
    big[0] = 0xE8;
    big[3] = p[3];
    // No usable length in the header: what one receive gives is the reply.
    return std::vector<Bytes>{ScriptedTcpPeer::Segment(big, 0)};
  });
  Connect(peer.port());
  Bytes packet(4, 0x68);
  AppendChecksum(packet.data(), 2);
  ASSERT_EQ(SendPacket(link_, packet.data(), packet.size()), 1);
  Bytes reply(2048, 0);
  size_t n = ReceivePacket(link_, reply.data(), reply.size());
  EXPECT_GT(n, 0u);
  EXPECT_LE(n, kTcpLargestReplyPacket);
  EXPECT_EQ(reply[0], 0xE8);
  EXPECT_EQ(reply[n], 0);  // nothing written past the packet
}

TEST_F(TcpMediumTest, ReplyLongerThanTheCapacityGivesNothing) {
  ScriptedTcpPeer peer([](const Bytes& p, const Bytes&) {
    Bytes payload(200, 0x01);
    return std::vector<Bytes>{ScriptedTcpPeer::Segment(test::Reply(p[3], payload))};
  });
  Connect(peer.port());
  EXPECT_EQ(GetFreeSpace(link_, kUserDisk), 0u);  // capacity 100
}

TEST_F(TcpMediumTest, HeaderOnlyReplyIsNoReply) {
  ScriptedTcpPeer peer([](const Bytes&, const Bytes&) { return std::vector<Bytes>{Bytes(8, 0)}; });
  Connect(peer.port());
  uint8_t entry[64];
  EXPECT_EQ(GetFileInfo(link_, entry, 1, kUserDisk), 0xFFFF);
}

TEST(TcpConnect, RefusedConnectFailsAndLeavesAddressBytesZero) {
  platform::TcpListener l;
  ASSERT_EQ(l.Listen(0x7F000001, 0), 1);
  uint16_t port = l.Port();
  l.Close();
  ConnectionManager link;
  link.comm_type = 2;
  link.settings.controller_address = 0x7F000001;
  link.settings.controller_port = port;
  link.tcp.timing.pause_before_connect_ms = 0;
  EXPECT_EQ(link.OpenLink(kControllerTypeCode, 1), 0);
  EXPECT_EQ(link.type_code(), 0);
  EXPECT_EQ(link.controller_id(), 0);
  link.CloseLink();
  uint8_t r[10];
  EXPECT_EQ(ReceivePacket(link, r, sizeof r), 0u);
}

}  // namespace
}  // namespace tarvo
