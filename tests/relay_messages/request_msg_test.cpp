// Bodies of the seven requests: bytes, sizes, decode checks and round trips.
#include <gtest/gtest.h>

#include "relay/messages/card_record.hpp"
#include "relay/messages/log_record.hpp"
#include "relay/messages/relay_messages.hpp"
#include "tests/relay_messages/test_bytes.hpp"

namespace zv {
namespace {

using test::Bytes;
using test::Cat;
using test::DecodeExact;
using test::EncodeBody;
using test::Text;

TEST(LoginMsg, NineByteBodyAndDecodeChecks) {
  CLoginMsg msg;
  EXPECT_EQ(msg.GetType(), 0x0001);
  EXPECT_EQ(msg.Check(), 1);
  EXPECT_EQ(msg.Describe(), "");
  msg.SetUserName("abc");
  msg.SetPassword("xy");
  EXPECT_EQ(msg.GetBodySize(), 9);
  const Bytes body = EncodeBody(msg);
  EXPECT_EQ(body, (Bytes{4, 'a', 'b', 'c', 0, 3, 'x', 'y', 0}));
  CLoginMsg back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetUserName(), "abc");
  EXPECT_EQ(back.GetPassword(), "xy");
  // Empty name and password: 01 00 01 00.
  CLoginMsg empty;
  EXPECT_EQ(EncodeBody(empty), (Bytes{1, 0, 1, 0}));
  ASSERT_EQ(DecodeExact(back, Bytes{1, 0, 1, 0}), 1);
  EXPECT_EQ(back.GetUserName(), "");
  for (size_t n = 0; n < body.size(); ++n) {
    CLoginMsg m;
    EXPECT_EQ(DecodeExact(m, Bytes(body.begin(), body.begin() + n)), 0) << n;
  }
  EXPECT_EQ(back.Decode(body.data(), -1), 0);
}

TEST(LoginMsg, LongestTextsSurviveRoundTrip) {
  CLoginMsg msg;
  msg.SetUserName(std::string(254, 'u'));
  msg.SetPassword(std::string(254, 'p'));
  EXPECT_EQ(msg.GetBodySize(), 4 + 254 + 254);
  CLoginMsg back;
  ASSERT_EQ(DecodeExact(back, EncodeBody(msg)), 1);
  EXPECT_EQ(back.GetUserName(), std::string(254, 'u'));
  EXPECT_EQ(back.GetPassword(), std::string(254, 'p'));
}

TEST(HeartbeatMsg, OneByteFlag) {
  CHeartbeatMsg msg;
  EXPECT_EQ(msg.GetAlive(), 0);
  msg.SetAlive(1);
  EXPECT_EQ(EncodeBody(msg), Bytes{1});
  CHeartbeatMsg back;
  EXPECT_EQ(DecodeExact(back, Bytes{}), 0);
  ASSERT_EQ(DecodeExact(back, Bytes{7, 8}), 1);
  EXPECT_EQ(back.GetAlive(), 7);
}

TEST(QueryMsg, FilterOnlyWhenNotEmpty) {
  CQueryMsg msg;
  msg.SetKind(3);
  EXPECT_EQ(EncodeBody(msg), Bytes{3});
  EXPECT_EQ(msg.Describe(), "3,");
  msg.SetFilter("abc");
  EXPECT_EQ(msg.GetBodySize(), 6);
  EXPECT_EQ(EncodeBody(msg), (Bytes{3, 4, 'a', 'b', 'c', 0}));
  CQueryMsg back;
  ASSERT_EQ(DecodeExact(back, EncodeBody(msg)), 1);
  EXPECT_EQ(back.GetKind(), 3);
  EXPECT_EQ(back.GetFilter(), "abc");
  EXPECT_EQ(DecodeExact(back, Bytes{}), 0);
  // A filter whose length overruns the body is ignored; decoding still succeeds.
  ASSERT_EQ(DecodeExact(back, Bytes{2, 9, 'a', 'b'}), 1);
  EXPECT_EQ(back.GetKind(), 2);
  EXPECT_EQ(back.GetFilter(), "");
  ASSERT_EQ(DecodeExact(back, Bytes{4, 1}), 1);
  EXPECT_EQ(back.GetFilter(), "");
}

TEST(RecordOpMsg, OperationAndEnvelope) {
  CRecordOpMsg msg;
  EXPECT_EQ(msg.GetBodySize(), 1);
  msg.SetOperation(2);
  EXPECT_EQ(EncodeBody(msg), Bytes{0});  // nothing is written without a record
  EXPECT_EQ(msg.Check(), 0);
  EXPECT_EQ(msg.Describe(), "2,0,,");

  auto card = std::make_unique<CCardRecord>();
  card->SetDeviceID("A01");
  int envelope_length = 0;
  const uint8_t* envelope = card->MakeEnvelope(envelope_length);
  const Bytes env(envelope, envelope + envelope_length);
  msg.SetRecord(std::move(card));
  EXPECT_EQ(msg.GetBodySize(), 20);
  const Bytes body = EncodeBody(msg);
  EXPECT_EQ(body, Cat({{2}, env}));
  EXPECT_EQ(msg.Check(), 1);
  EXPECT_EQ(msg.Describe(), "2,3,A01,");

  CRecordOpMsg back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetOperation(), 2);
  ASSERT_NE(back.GetRecord(), nullptr);
  EXPECT_EQ(back.GetRecord()->GetKind(), kCardKind);
  EXPECT_EQ(back.GetRecord()->GetKey(), "A01");
  for (size_t n = 0; n < body.size(); ++n) {
    CRecordOpMsg m;
    EXPECT_EQ(DecodeExact(m, Bytes(body.begin(), body.begin() + n)), 0) << n;
  }
}

TEST(RecordOpMsg, DecodeRefusesBadKindSizeAndBody) {
  CCardRecord card;
  card.SetDeviceID("A01");
  int length = 0;
  const uint8_t* p = card.MakeEnvelope(length);
  const Bytes good = Cat({{1}, Bytes(p, p + length)});
  CRecordOpMsg msg;
  Bytes b = good;
  b[1] = 9;  // no such kind
  EXPECT_EQ(DecodeExact(msg, b), 0);
  EXPECT_EQ(msg.GetRecord(), nullptr);
  b = good;
  b[2] = 0;  // n = 0
  EXPECT_EQ(DecodeExact(msg, b), 0);
  b = good;
  b[5] = 0x80;  // n negative
  EXPECT_EQ(DecodeExact(msg, b), 0);
  b = good;
  b[2] = 15;  // n one beyond the body
  EXPECT_EQ(DecodeExact(msg, b), 0);
  b = good;
  b[6] = 50;  // record body refused
  EXPECT_EQ(DecodeExact(msg, b), 0);
  // A successful decode replaces the record held so far.
  ASSERT_EQ(DecodeExact(msg, good), 1);
  EXPECT_EQ(msg.GetRecord()->GetKey(), "A01");
}

TEST(RecordOpMsg, DeletingALogRecordIsNotAllowed) {
  CRecordOpMsg msg;
  msg.SetOperation(kRecordDelete);
  msg.SetRecord(std::make_unique<CLogRecord>());
  EXPECT_EQ(msg.Check(), 0);
  msg.SetOperation(kRecordAdd);
  EXPECT_EQ(msg.Check(), 1);
  msg.SetOperation(kRecordDelete);
  msg.SetRecord(std::make_unique<CCardRecord>());
  EXPECT_EQ(msg.Check(), 1);
}

TEST(CommPacketMsg, DeviceRouteAndData) {
  CCommPacketMsg msg;
  msg.SetDeviceID("123456");
  msg.SetRoute(kRouteTcp);
  const uint8_t packet[] = {0x68, 0x32, 1, 2, 3};
  msg.SetData(packet, 5);
  EXPECT_EQ(msg.GetBodySize(), 6 + 3 + 5);
  const Bytes body = EncodeBody(msg);
  EXPECT_EQ(body, Cat({{7}, Text("123456"), {0, 1, 0x68, 0x32, 1, 2, 3}}));
  EXPECT_EQ(msg.Describe(), "123456,5,");
  CCommPacketMsg back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetDeviceID(), "123456");
  EXPECT_EQ(back.GetRoute(), 1);
  EXPECT_EQ(back.GetData(), Bytes(packet, packet + 5));
  // No data after the route is allowed.
  ASSERT_EQ(DecodeExact(back, Bytes{2, 'A', 0, 2}), 1);
  EXPECT_TRUE(back.GetData().empty());
  EXPECT_EQ(back.GetRoute(), 2);
  EXPECT_EQ(DecodeExact(back, Bytes{2, 'A', 0}), 0);
  EXPECT_EQ(DecodeExact(back, Bytes{5, 'A', 0, 2, 9}), 0);
}

TEST(CommPacketMsg, SetDataCopiesAndReplaces) {
  CCommPacketMsg msg;
  Bytes source{1, 2, 3};
  msg.SetData(source.data(), 3);
  source[0] = 9;
  EXPECT_EQ(msg.GetData(), (Bytes{1, 2, 3}));
  msg.SetData(source.data(), 1);
  EXPECT_EQ(msg.GetData(), Bytes{9});
  msg.SetData(source.data(), -1);
  EXPECT_TRUE(msg.GetData().empty());
  msg.SetData(nullptr, 3);
  EXPECT_TRUE(msg.GetData().empty());
}

TEST(LockCardMsg, DeviceAndLock) {
  CLockCardMsg msg;
  msg.SetDeviceID("AB");
  msg.SetLock(1);
  EXPECT_EQ(msg.GetBodySize(), 5);
  EXPECT_EQ(EncodeBody(msg), (Bytes{3, 'A', 'B', 0, 1}));
  EXPECT_EQ(msg.Describe(), "AB,1,");
  CLockCardMsg back;
  ASSERT_EQ(DecodeExact(back, EncodeBody(msg)), 1);
  EXPECT_EQ(back.GetDeviceID(), "AB");
  EXPECT_EQ(back.GetLock(), 1);
  EXPECT_EQ(DecodeExact(back, Bytes{3, 'A', 'B', 0}), 0);
  EXPECT_EQ(DecodeExact(back, Bytes{1, 0}), 0);
}

TEST(CheckNameMsg, OrganizationOnlyForUsersAndCards) {
  CCheckNameMsg msg;
  msg.SetKind(1);
  msg.SetName("Org");
  msg.SetOrganization("ignored");
  EXPECT_EQ(msg.GetBodySize(), 6);
  EXPECT_EQ(EncodeBody(msg), Cat({{1, 4}, Text("Org"), {0}}));
  EXPECT_EQ(msg.Describe(), "1,Org,ignored,");
  msg.SetKind(2);
  msg.SetName("u");
  msg.SetOrganization("Org");
  EXPECT_EQ(msg.GetBodySize(), 1 + 3 + 5);
  const Bytes body = EncodeBody(msg);
  EXPECT_EQ(body, Cat({{2, 2, 'u', 0, 4}, Text("Org"), {0}}));
  CCheckNameMsg back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetKind(), 2);
  EXPECT_EQ(back.GetName(), "u");
  EXPECT_EQ(back.GetOrganization(), "Org");
  // Organization cut short or missing altogether: decoded without it.
  CCheckNameMsg cut;
  ASSERT_EQ(DecodeExact(cut, Bytes(body.begin(), body.end() - 1)), 1);
  EXPECT_EQ(cut.GetOrganization(), "");
  ASSERT_EQ(DecodeExact(cut, Bytes{3, 2, 'u', 0}), 1);
  EXPECT_EQ(cut.GetName(), "u");
  EXPECT_EQ(DecodeExact(cut, Bytes{3, 2, 'u'}), 0);
  EXPECT_EQ(DecodeExact(cut, Bytes{3}), 0);
}

}  // namespace
}  // namespace zv
