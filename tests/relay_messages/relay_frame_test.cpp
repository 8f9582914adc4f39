// Building relay frames and taking them off a byte stream.
#include <gtest/gtest.h>

#include <cstring>

#include "common/wire.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/relay_messages.hpp"
#include "relay/messages/relay_packet.hpp"
#include "tests/relay_messages/fake_byte_source.hpp"
#include "tests/relay_messages/test_bytes.hpp"

namespace zv {
namespace {

using test::Bytes;
using test::Cat;
using test::ChunkedSource;
using test::Text;

Bytes Header(uint16_t type, uint32_t length) {
  Bytes h = Text("ZVMSGPUB");
  h.resize(14);
  tarvo::wire::PutLe16(h.data() + 8, type);
  tarvo::wire::PutLe32(h.data() + 10, length);
  return h;
}

Bytes Frame(CRelayPacket& packet) {
  int length = 0;
  const uint8_t* frame = packet.Build(length);
  return frame ? Bytes(frame, frame + length) : Bytes{};
}

TEST(RelayPacket, HeaderOfALoginFrame) {
  CRelayPacket packet(kLoginMsgType);
  auto* login = static_cast<CLoginMsg*>(packet.GetMessage());
  ASSERT_NE(login, nullptr);
  login->SetUserName("abc");
  login->SetPassword("xy");
  const Bytes frame = Frame(packet);
  ASSERT_EQ(frame.size(), 23u);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 14),
            Cat({Text("ZVMSGPUB"), {0x01, 0x00, 0x09, 0x00, 0x00, 0x00}}));
}

TEST(RelayPacket, HeartbeatFrameIsFifteenBytes) {
  CRelayPacket packet(kHeartbeatMsgType);
  static_cast<CHeartbeatMsg*>(packet.GetMessage())->SetAlive(1);
  EXPECT_EQ(Frame(packet), Cat({Text("ZVMSGPUB"), {2, 0, 1, 0, 0, 0, 1}}));
}

TEST(RelayPacket, NoFrameWithoutMessageOrBody) {
  int length = 7;
  CRelayPacket empty;
  EXPECT_EQ(empty.GetMessage(), nullptr);
  EXPECT_EQ(empty.GetType(), 0);
  EXPECT_EQ(empty.Build(length), nullptr);
  EXPECT_EQ(length, 0);
  CRelayPacket unknown(0x0008);
  EXPECT_EQ(unknown.GetMessage(), nullptr);
  CRelayPacket heartbeat_ack(kHeartbeatAckMsgType);
  EXPECT_EQ(heartbeat_ack.GetType(), kHeartbeatAckMsgType);
  length = 7;
  EXPECT_EQ(heartbeat_ack.Build(length), nullptr);
  EXPECT_EQ(length, 0);
}

TEST(RelayPacket, RebuildReplacesTheFrameAndCreateReplacesTheMessage) {
  CRelayPacket packet(kLockCardMsgType);
  auto* lock = static_cast<CLockCardMsg*>(packet.GetMessage());
  lock->SetDeviceID("A");
  const Bytes first = Frame(packet);
  lock->SetDeviceID("ABCDEF");
  int length = 0;
  const uint8_t* second = packet.Build(length);
  EXPECT_EQ(length, static_cast<int>(first.size()) + 5);
  EXPECT_EQ(second[14], 7);
  packet.Create(kQueryMsgType);
  EXPECT_EQ(packet.GetType(), kQueryMsgType);
  packet.Create(0x0F08);
  EXPECT_EQ(packet.GetMessage(), nullptr);
  packet.SetMessage(std::make_unique<CLockCardAckMsg>());
  EXPECT_EQ(packet.GetType(), kLockCardAckMsgType);
}

TEST(RelayPacket, OversizedBodyIsNotBuilt) {
  CRelayPacket packet(kCommPacketAckMsgType);
  auto* ack = static_cast<CCommPacketAckMsg*>(packet.GetMessage());
  Bytes big(static_cast<size_t>(kMaxRelayBody - 1), 0x5A);
  ack->SetData(big.data(), static_cast<int>(big.size()));
  int length = 0;
  ASSERT_NE(packet.Build(length), nullptr);
  EXPECT_EQ(length, kMaxRelayBody + 14);
  big.push_back(0);
  ack->SetData(big.data(), static_cast<int>(big.size()));
  EXPECT_EQ(packet.Build(length), nullptr);
  EXPECT_EQ(length, 0);
}

// Round trip of every framable message through a stream delivered one byte at
// a time, followed by a second frame that must stay intact.
TEST(ReceiveFrame, EveryMessageOneByteAtATime) {
  std::vector<std::unique_ptr<CRelayPacket>> packets;
  for (uint16_t type : {0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0F01, 0x0F03,
                        0x0F04, 0x0F05, 0x0F06, 0x0F07}) {
    packets.push_back(std::make_unique<CRelayPacket>(static_cast<uint16_t>(type)));
  }
  static_cast<CLoginMsg*>(packets[0]->GetMessage())->SetUserName("user");
  auto card = std::make_unique<CCardRecord>();
  card->SetDeviceID("C9");
  static_cast<CRecordOpMsg*>(packets[3]->GetMessage())->SetRecord(std::move(card));
  static_cast<CQueryAckMsg*>(packets[8]->GetMessage())->SetStatus(kQueryOk);
  static_cast<CQueryAckMsg*>(packets[8]->GetMessage())->SetRecords(std::make_unique<CRecordList>());
  const uint8_t data[] = {1, 2, 3, 4, 5, 6};
  static_cast<CCommPacketAckMsg*>(packets[10]->GetMessage())->SetData(data, 6);

  for (auto& sent : packets) {
    const Bytes frame = Frame(*sent);
    ASSERT_FALSE(frame.empty()) << sent->GetType();
    CRelayPacket trailer_packet(kHeartbeatMsgType);
    static_cast<CHeartbeatMsg*>(trailer_packet.GetMessage())->SetAlive(9);
    ChunkedSource source(Cat({frame, Frame(trailer_packet)}), 1);
    CRelayPacket received;
    ASSERT_NE(ReceiveFrame(source, received), 0) << sent->GetType();
    EXPECT_EQ(received.GetType(), sent->GetType());
    EXPECT_EQ(Frame(received), frame) << sent->GetType();
    CRelayPacket next;
    ASSERT_EQ(ReceiveFrame(source, next), 1);
    EXPECT_EQ(static_cast<CHeartbeatMsg*>(next.GetMessage())->GetAlive(), 9);
  }
}

TEST(ReceiveFrame, BadHeadersAreRejectedWithoutReadingTheBody) {
  // Magic differing only in its last byte.
  Bytes wrong_magic = Cat({Header(kLockCardAckMsgType, 1), {1}});
  wrong_magic[7] = 'C';
  ChunkedSource s1(wrong_magic, 64);
  CRelayPacket p1;
  EXPECT_EQ(ReceiveFrame(s1, p1), 0);
  EXPECT_EQ(s1.consumed(), 14u);

  // A type outside the table: rejected, body left on the stream.
  ChunkedSource s2(Cat({Header(0x0008, 3), {1, 2, 3}}), 64);
  CRelayPacket p2;
  EXPECT_EQ(ReceiveFrame(s2, p2), 0);
  EXPECT_EQ(s2.consumed(), 14u);
  EXPECT_EQ(p2.GetMessage(), nullptr);

  // Body length 0 and negative: rejected before any body byte, message kept.
  for (uint32_t length : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    ChunkedSource s(Cat({Header(kCommPacketAckMsgType, length), {5, 1}}), 64);
    CRelayPacket p;
    EXPECT_EQ(ReceiveFrame(s, p), 0);
    EXPECT_EQ(s.consumed(), 14u);
    EXPECT_EQ(p.GetType(), kCommPacketAckMsgType);
  }
}

TEST(ReceiveFrame, OversizedBodyRefusedBeforeAllocatingOrReading) {
  ChunkedSource at_limit(Cat({Header(kCommPacketAckMsgType, kMaxRelayBody + 1u), {5}}), 64);
  CRelayPacket p;
  EXPECT_EQ(ReceiveFrame(at_limit, p), 0);
  EXPECT_EQ(at_limit.consumed(), 14u);
  EXPECT_EQ(at_limit.calls, 1);
  ChunkedSource huge(Cat({Header(kCommPacketAckMsgType, 0x7FFFFFFFu), {5}}), 64);
  EXPECT_EQ(ReceiveFrame(huge, p), 0);
  EXPECT_EQ(huge.consumed(), 14u);
}

TEST(ReceiveFrame, ShortReadsAndSourceFailures) {
  CRelayPacket packet(kLockCardMsgType);
  static_cast<CLockCardMsg*>(packet.GetMessage())->SetDeviceID("123456");
  const Bytes frame = Frame(packet);
  for (size_t cut = 0; cut < frame.size(); ++cut) {
    ChunkedSource ended(Bytes(frame.begin(), frame.begin() + cut), 3);
    CRelayPacket p;
    EXPECT_EQ(ReceiveFrame(ended, p), 0) << cut;
    ChunkedSource failing(frame, 1);
    failing.fail_after = cut;
    CRelayPacket q;
    EXPECT_EQ(ReceiveFrame(failing, q), 0) << cut;
  }
}

TEST(ReceiveFrame, BodyThatItsMessageRefusesIsAFailedReceive) {
  ChunkedSource source(Cat({Header(kQueryAckMsgType, 5), {0, 3, 0, 0, 0}}), 64);
  CRelayPacket p;
  EXPECT_EQ(ReceiveFrame(source, p), 0);
  EXPECT_EQ(p.GetType(), kQueryAckMsgType);
  ChunkedSource source2(Cat({Header(kHeartbeatAckMsgType, 1), {0}}), 64);
  EXPECT_EQ(ReceiveFrame(source2, p), 0);
}

TEST(RelayHeader, ParseChecksMagicAndBounds) {
  uint8_t h[14];
  PutRelayHeader(h, 0x0F05, 7);
  RelayHeader out;
  ASSERT_EQ(ParseRelayHeader(h, out), 1);
  EXPECT_EQ(out.type, 0x0F05);
  EXPECT_EQ(out.body_length, 7);
  PutRelayHeader(h, 0x0F05, 0);
  EXPECT_EQ(ParseRelayHeader(h, out), 0);
  PutRelayHeader(h, 0x0F05, kMaxRelayBody);
  EXPECT_EQ(ParseRelayHeader(h, out), 1);
  PutRelayHeader(h, 0x0F05, kMaxRelayBody + 1);
  EXPECT_EQ(ParseRelayHeader(h, out), 0);
  PutRelayHeader(h, 0x0F05, 7);
  h[0] = 'z';
  EXPECT_EQ(ParseRelayHeader(h, out), 0);
  EXPECT_EQ(kMaxRelayBody, 16 * 1024 * 1024);
}

}  // namespace
}  // namespace zv
