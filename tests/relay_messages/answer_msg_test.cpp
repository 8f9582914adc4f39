// Bodies of the seven answers: bytes, sizes, decode checks and round trips.
#include <gtest/gtest.h>

#include "common/wire.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/relay_messages.hpp"
#include "tests/relay_messages/test_bytes.hpp"

namespace zv {
namespace {

using test::Bytes;
using test::Cat;
using test::DecodeExact;
using test::EncodeBody;
using test::Text;

TEST(LoginAckMsg, UserRecordOnlyWithResultOne) {
  CLoginAckMsg msg;
  EXPECT_EQ(msg.GetResult(), 0);
  EXPECT_EQ(EncodeBody(msg), Bytes{0});
  msg.GetUser().SetName("bob");
  msg.SetResult(kLoginWrongPassword);
  EXPECT_EQ(EncodeBody(msg), Bytes{4});
  msg.SetResult(kLoginOk);
  const int n = msg.GetUser().GetBodySize();
  EXPECT_EQ(msg.GetBodySize(), n + 5);
  const Bytes body = EncodeBody(msg);
  EXPECT_EQ(Bytes(body.begin(), body.begin() + 5), (Bytes{1, static_cast<uint8_t>(n), 0, 0, 0}));
  EXPECT_EQ(Bytes(body.begin() + 5, body.end()), EncodeBody(msg.GetUser()));
  CLoginAckMsg back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetResult(), 1);
  EXPECT_EQ(back.GetUser().GetName(), "bob");
}

TEST(LoginAckMsg, DecodeEdgeCases) {
  CLoginAckMsg back;
  EXPECT_EQ(DecodeExact(back, Bytes{}), 0);
  ASSERT_EQ(DecodeExact(back, Bytes{4}), 1);
  EXPECT_EQ(back.GetResult(), 4);
  EXPECT_EQ(back.GetUser().GetName(), "");
  // Result 1 with five bytes or fewer: accepted without a record.
  EXPECT_EQ(DecodeExact(back, Bytes{1, 30, 0, 0, 0}), 1);
  // Record size beyond the body: refused.
  EXPECT_EQ(DecodeExact(back, Bytes{1, 30, 0, 0, 0, 0}), 0);
  // A malformed record inside a well-sized body still leaves the answer.
  EXPECT_EQ(DecodeExact(back, Bytes{1, 2, 0, 0, 0, 9, 9}), 1);
  // A negative record size is handed to the record, which refuses it.
  EXPECT_EQ(DecodeExact(back, Bytes{1, 0xFF, 0xFF, 0xFF, 0xFF, 0}), 1);
}

TEST(HeartbeatAckMsg, EmptyBodyNeverDecodes) {
  CHeartbeatAckMsg msg;
  EXPECT_EQ(msg.GetBodySize(), 0);
  EXPECT_EQ(DecodeExact(msg, Bytes{1, 2, 3}), 0);
}

TEST(QueryAckMsg, StatusKindAndList) {
  CQueryAckMsg msg;
  EXPECT_EQ(msg.GetStatus(), 1);
  EXPECT_EQ(EncodeBody(msg), Bytes{1});
  msg.SetStatus(kQueryOk);
  msg.SetKind(3);
  EXPECT_EQ(EncodeBody(msg), (Bytes{0, 3}));  // no list held
  auto list = std::make_unique<CRecordList>();
  auto card = std::make_unique<CCardRecord>();
  card->SetDeviceID("A01");
  int length = 0;
  const uint8_t* p = card->MakeEnvelope(length);
  const Bytes env(p, p + length);
  list->Append(std::move(card));
  list->Append(std::make_unique<CCardRecord>());
  msg.SetRecords(std::move(list));
  EXPECT_EQ(msg.GetBodySize(), 2 + 4 + 19 + 16);
  const Bytes body = EncodeBody(msg);
  EXPECT_EQ(Bytes(body.begin(), body.begin() + 25), Cat({{0, 3, 2, 0, 0, 0}, env}));
  CQueryAckMsg back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetStatus(), 0);
  EXPECT_EQ(back.GetKind(), 3);
  ASSERT_NE(back.GetRecords(), nullptr);
  ASSERT_EQ(back.GetRecords()->GetCount(), 2u);
  EXPECT_EQ(back.GetRecords()->GetAt(0)->GetKey(), "A01");
  EXPECT_EQ(back.GetRecords()->GetAt(1)->GetKey(), "");
}

TEST(QueryAckMsg, DecodeEdgeCases) {
  CQueryAckMsg back;
  EXPECT_EQ(DecodeExact(back, Bytes{}), 0);
  EXPECT_EQ(DecodeExact(back, Bytes{0, 3, 0, 0, 0}), 0);
  ASSERT_EQ(DecodeExact(back, Bytes{0, 3, 0, 0, 0, 0}), 1);
  ASSERT_NE(back.GetRecords(), nullptr);
  EXPECT_EQ(back.GetRecords()->GetCount(), 0u);
  // A new decode destroys the list held so far.
  ASSERT_EQ(DecodeExact(back, Bytes{1}), 1);
  EXPECT_EQ(back.GetStatus(), 1);
  EXPECT_EQ(back.GetRecords(), nullptr);
  ASSERT_EQ(DecodeExact(back, Bytes{2, 9, 9}), 1);
  EXPECT_EQ(back.GetStatus(), 2);
  EXPECT_EQ(DecodeExact(back, Bytes{0, 3, 1, 0, 0, 0}), 0);  // one record announced, none there
}

TEST(RecordOpAckMsg, KeyAndResult) {
  CRecordOpAckMsg msg;
  EXPECT_EQ(msg.GetResult(), 1);
  msg.SetOperation(1);
  msg.SetKind(2);
  msg.SetKey("bob");
  msg.SetResult(0);
  EXPECT_EQ(msg.GetBodySize(), 8);
  const Bytes body = EncodeBody(msg);
  EXPECT_EQ(body, Cat({{1, 2, 4}, Text("bob"), {0, 0}}));
  CRecordOpAckMsg back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetOperation(), 1);
  EXPECT_EQ(back.GetKind(), 2);
  EXPECT_EQ(back.GetKey(), "bob");
  EXPECT_EQ(back.GetResult(), 0);
  for (size_t n = 0; n < body.size(); ++n) {
    CRecordOpAckMsg m;
    EXPECT_EQ(DecodeExact(m, Bytes(body.begin(), body.begin() + n)), 0) << n;
  }
}

TEST(CommPacketAckMsg, StatusAndCardPacket) {
  CCommPacketAckMsg msg;
  EXPECT_EQ(EncodeBody(msg), Bytes{0});
  msg.SetStatus(kForwardLockedByOther);
  EXPECT_EQ(EncodeBody(msg), Bytes{3});
  const uint8_t packet[] = {0xE8, 1, 2, 3, 4, 5, 6};
  msg.SetData(packet, 7);
  EXPECT_EQ(msg.GetStatus(), 5);
  EXPECT_EQ(msg.GetBodySize(), 8);
  EXPECT_EQ(EncodeBody(msg), Cat({{5}, Bytes(packet, packet + 7)}));
  CCommPacketAckMsg back;
  ASSERT_EQ(DecodeExact(back, EncodeBody(msg)), 1);
  EXPECT_EQ(back.GetData(), Bytes(packet, packet + 7));
  ASSERT_EQ(DecodeExact(back, Bytes{5}), 1);
  EXPECT_EQ(back.GetStatus(), 5);
  EXPECT_TRUE(back.GetData().empty());
  ASSERT_EQ(DecodeExact(back, Bytes{2, 0x41}), 1);
  EXPECT_EQ(back.GetStatus(), 2);
  EXPECT_TRUE(back.GetData().empty());
  EXPECT_EQ(DecodeExact(back, Bytes{}), 0);
}

TEST(LockCardAckMsg, ResultByte) {
  CLockCardAckMsg msg;
  EXPECT_EQ(EncodeBody(msg), Bytes{0});
  msg.SetResult(1);
  EXPECT_EQ(EncodeBody(msg), Bytes{1});
  CLockCardAckMsg back;
  EXPECT_EQ(DecodeExact(back, Bytes{}), 0);
  ASSERT_EQ(DecodeExact(back, Bytes{1}), 1);
  EXPECT_EQ(back.GetResult(), 1);
}

TEST(CheckNameAckMsg, LayoutForOrganizationsAndOthers) {
  CCheckNameAckMsg msg;
  EXPECT_EQ(msg.GetResult(), 1);
  msg.SetKind(1);
  msg.SetName("Org");
  msg.SetOrganization("x");
  EXPECT_EQ(msg.GetBodySize(), 7);
  EXPECT_EQ(EncodeBody(msg), Cat({{1, 4}, Text("Org"), {0, 1}}));
  msg.SetKind(3);
  msg.SetName("D1");
  msg.SetOrganization("Org");
  msg.SetResult(kNameOrganizationFull);
  EXPECT_EQ(msg.GetBodySize(), 2 + 3 + 6);
  const Bytes body = EncodeBody(msg);
  EXPECT_EQ(body, Cat({{3, 3}, Text("D1"), {0, 4}, Text("Org"), {0, 3}}));
  CCheckNameAckMsg back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetKind(), 3);
  EXPECT_EQ(back.GetName(), "D1");
  EXPECT_EQ(back.GetOrganization(), "Org");
  EXPECT_EQ(back.GetResult(), 3);
  CCheckNameAckMsg org_back;
  ASSERT_EQ(DecodeExact(org_back, Cat({{1, 4}, Text("Org"), {0, 0}})), 1);
  EXPECT_EQ(org_back.GetResult(), 0);
}

TEST(CheckNameAckMsg, TruncatedBodiesNeverReadPastTheEnd) {
  const Bytes body = Cat({{3, 3}, Text("D1"), {0, 4}, Text("Org"), {0, 3}});
  for (size_t n = 0; n < body.size(); ++n) {
    CCheckNameAckMsg m;
    const int r = DecodeExact(m, Bytes(body.begin(), body.begin() + n));
    // Without its organization the result is taken from the next byte when
    // one is there; a body ending before any result byte is refused.
    if (n <= 6) {
      EXPECT_EQ(r, 0) << n;
    } else {
      EXPECT_EQ(r, 1) << n;
      EXPECT_EQ(m.GetOrganization(), "");
    }
  }
  CCheckNameAckMsg m;
  ASSERT_EQ(DecodeExact(m, Bytes{3, 3, 'D', '1', 0, 4, 'O'}), 1);
  EXPECT_EQ(m.GetResult(), 'O');
}

TEST(MessageFactory, EveryCodeOfTheTableAndNoOther) {
  const uint16_t codes[] = {0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007,
                            0x0F01, 0x0F02, 0x0F03, 0x0F04, 0x0F05, 0x0F06, 0x0F07};
  for (uint16_t code : codes) {
    auto msg = CreateRelayMsg(code);
    ASSERT_TRUE(msg) << code;
    EXPECT_EQ(msg->GetType(), code);
  }
  for (uint16_t code : {0x0000, 0x0008, 0x0F00, 0x0F08, 0x1001, 0xFFFF}) {
    EXPECT_FALSE(CreateRelayMsg(static_cast<uint16_t>(code))) << code;
  }
  EXPECT_EQ(CreateRelayMsg(0x0F02)->Check(), 0);
  EXPECT_EQ(CreateRelayMsg(0x0F02)->Describe(), "");
}

}  // namespace
}  // namespace zv
