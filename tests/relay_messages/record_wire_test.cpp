// Wire form of the four account records, their envelope, copy and factory.
#include <gtest/gtest.h>

#include "relay/messages/card_record.hpp"
#include "relay/messages/log_record.hpp"
#include "relay/messages/ole_date.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/user_record.hpp"
#include "tests/relay_messages/test_bytes.hpp"

namespace zv {
namespace {

using test::Bytes;
using test::Cat;
using test::DecodeExact;
using test::EncodeBody;
using test::Text;

double Date(int y, int mo, int d, int h, int mi, int s) {
  double v = 0;
  EXPECT_TRUE(PartsToOleDate({y, mo, d, h, mi, s}, v));
  return v;
}

// Every strictly shorter prefix of a valid body must be refused.
template <class T>
void ExpectEveryTruncationRefused(const Bytes& body) {
  for (size_t n = 0; n < body.size(); ++n) {
    T record;
    EXPECT_EQ(DecodeExact(record, Bytes(body.begin(), body.begin() + n)), 0) << "length " << n;
  }
}

TEST(RecordFactory, CreatesTheFourKindsWithInitialValues) {
  for (int kind = 1; kind <= 4; ++kind) {
    auto record = CreateRecord(kind);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->GetKind(), kind);
    EXPECT_EQ(record->GetOrganizationName(), "");
  }
  EXPECT_FALSE(CreateRecord(0));
  EXPECT_FALSE(CreateRecord(5));
  EXPECT_FALSE(CreateRecord(-1));

  COrganizationRecord org;
  EXPECT_EQ(org.GetMaxCardNum(), 100);
  EXPECT_EQ(org.GetMaxUserNum(), 10);
  EXPECT_EQ(org.GetCardNum(), 0);
  EXPECT_EQ(org.GetUserNum(), 0);
  const double before = OleDateNow();
  CUserRecord user;
  CCardRecord card;
  CLogRecord log;
  const double after = OleDateNow();
  for (double t : {user.GetRegTime(), card.GetRegTime(), log.GetTime()}) {
    EXPECT_GE(t, before);
    EXPECT_LE(t, after);
  }
  EXPECT_EQ(user.GetLastLoginTime(), 0.0);
  EXPECT_EQ(user.GetType(), 0);
  EXPECT_EQ(log.GetID(), 0);
}

TEST(OrganizationRecord, BodyCarriesCountersInWireOrder) {
  COrganizationRecord org;
  org.SetOrganizationName("Acme");
  org.SetPassword("pw");
  org.SetCardNum(1);
  org.SetMaxCardNum(2);
  org.SetUserNum(3);
  org.SetMaxUserNum(-4);
  const Bytes body = EncodeBody(org);
  EXPECT_EQ(org.GetBodySize(), 4 + 2 + 20);
  EXPECT_EQ(body, Cat({{5},
                       Text("Acme"),
                       {0, 3},
                       Text("pw"),
                       {0},
                       {2, 0, 0, 0, 0xFC, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 3, 0, 0, 0}}));
  COrganizationRecord back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetOrganizationName(), "Acme");
  EXPECT_EQ(back.GetPassword(), "pw");
  EXPECT_EQ(back.GetCardNum(), 1);
  EXPECT_EQ(back.GetMaxCardNum(), 2);
  EXPECT_EQ(back.GetUserNum(), 3);
  EXPECT_EQ(back.GetMaxUserNum(), -4);
  ExpectEveryTruncationRefused<COrganizationRecord>(body);
}

TEST(OrganizationRecord, CountedLengthsBeyondTheBodyAreRefused) {
  // 20 bytes, but the name claims 10 characters: needs 11 + 2 + 16.
  Bytes body(20, 0);
  body[0] = 11;
  COrganizationRecord org;
  EXPECT_EQ(DecodeExact(org, body), 0);
  body[0] = 1;
  body[2] = 200;  // password length
  EXPECT_EQ(DecodeExact(org, body), 0);
}

TEST(UserRecord, LayoutWithAndWithoutLastLogin) {
  CUserRecord user;
  user.SetName("bob");
  user.SetPassword("pw");
  user.SetType(2);
  user.SetOrganizationName("Org");
  user.SetOnLine(1);
  user.SetRegTime(Date(2012, 5, 17, 8, 30, 59));
  EXPECT_EQ(user.GetBodySize(), 3 + 2 + 3 + 20);
  const Bytes fixed = Cat(
      {{4}, Text("bob"), {0, 3}, Text("pw"), {0, 2, 4}, Text("Org"), {0, 1, 12, 5, 17, 8, 30, 59}});
  // Never logged in: the second date stays six zero bytes and decodes as none.
  Bytes body = EncodeBody(user);
  EXPECT_EQ(body, Cat({fixed, {0, 0, 0, 0, 0, 0}}));
  CUserRecord back;
  back.SetLastLoginTime(5.0);
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetLastLoginTime(), 5.0);  // a zero year byte leaves it alone
  CUserRecord fresh;
  ASSERT_EQ(DecodeExact(fresh, body), 1);
  EXPECT_EQ(fresh.GetLastLoginTime(), 0.0);
  EXPECT_EQ(fresh.GetName(), "bob");
  EXPECT_EQ(fresh.GetPassword(), "pw");
  EXPECT_EQ(fresh.GetType(), 2);
  EXPECT_EQ(fresh.GetOrganizationName(), "Org");
  EXPECT_EQ(fresh.GetOnLine(), 1);
  EXPECT_DOUBLE_EQ(fresh.GetRegTime(), user.GetRegTime());

  user.SetLastLoginTime(Date(2026, 12, 7, 21, 0, 1));
  body = EncodeBody(user);
  EXPECT_EQ(body, Cat({fixed, {26, 12, 7, 21, 0, 1}}));
  ASSERT_EQ(DecodeExact(fresh, body), 1);
  EXPECT_DOUBLE_EQ(fresh.GetLastLoginTime(), user.GetLastLoginTime());
  ExpectEveryTruncationRefused<CUserRecord>(body);
}

TEST(UserRecord, DateThatCannotConvertTravelsAsItsMarker) {
  CUserRecord user;
  user.SetRegTime(1e300);
  const Bytes body = EncodeBody(user);
  EXPECT_EQ(Bytes(body.end() - 12, body.end() - 6), (Bytes{47, 255, 255, 255, 255, 255}));
  CUserRecord back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetRegTime(), 0.0);
}

TEST(CardRecord, FourteenByteBodyAndNineteenByteEnvelope) {
  CCardRecord card;
  card.SetDeviceID("A01");
  card.SetOnLine(1);
  card.SetRegTime(Date(2012, 1, 2, 3, 4, 5));
  EXPECT_EQ(card.GetBodySize(), 14);
  const Bytes body = EncodeBody(card);
  EXPECT_EQ(body, Cat({{4}, Text("A01"), {0, 1, 0, 1, 12, 1, 2, 3, 4, 5}}));
  int length = -1;
  const uint8_t* envelope = card.MakeEnvelope(length);
  ASSERT_EQ(length, 19);
  EXPECT_EQ(Bytes(envelope, envelope + 5), (Bytes{3, 0x0E, 0, 0, 0}));
  EXPECT_EQ(Bytes(envelope + 5, envelope + 19), body);
  CCardRecord back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetDeviceID(), "A01");
  EXPECT_EQ(back.GetOrganizationName(), "");
  EXPECT_EQ(back.GetOnLine(), 1);
  EXPECT_DOUBLE_EQ(back.GetRegTime(), card.GetRegTime());
  ExpectEveryTruncationRefused<CCardRecord>(body);
}

TEST(LogRecord, LayoutKeyAndTruncation) {
  CLogRecord log;
  log.SetID(0x01020304);
  log.SetTime(Date(2013, 6, 7, 8, 9, 10));
  log.SetOrganizationName("O");
  log.SetNodeType(7);
  log.SetNodeID("N1");
  log.SetMsgType(0x0506);
  log.SetMsgDescribe("hi");
  EXPECT_EQ(log.GetBodySize(), 1 + 2 + 2 + 19);
  const Bytes body = EncodeBody(log);
  EXPECT_EQ(body, Cat({{4, 3, 2, 1, 13, 6, 7, 8, 9, 10, 2, 'O', 0, 7, 3},
                       Text("N1"),
                       {0, 6, 5, 3},
                       Text("hi"),
                       {0}}));
  CLogRecord back;
  ASSERT_EQ(DecodeExact(back, body), 1);
  EXPECT_EQ(back.GetID(), 0x01020304);
  EXPECT_DOUBLE_EQ(back.GetTime(), log.GetTime());
  EXPECT_EQ(back.GetOrganizationName(), "O");
  EXPECT_EQ(back.GetNodeType(), 7);
  EXPECT_EQ(back.GetNodeID(), "N1");
  EXPECT_EQ(back.GetMsgType(), 0x0506);
  EXPECT_EQ(back.GetMsgDescribe(), "hi");
  EXPECT_EQ(back.GetKey(), "16909060");
  back.SetID(0);
  EXPECT_EQ(back.GetKey(), "");
  back.SetID(-3);
  EXPECT_EQ(back.GetKey(), "-3");
  ExpectEveryTruncationRefused<CLogRecord>(body);
}

TEST(RecordDecode, FieldsBeforeAFailingCheckKeepTheirNewValues) {
  // Name decoded, then the password length runs past the body.
  Bytes body = Cat({{4}, Text("bob"), {0, 250}});
  body.resize(30, 0);
  CUserRecord user;
  EXPECT_EQ(DecodeExact(user, body), 0);
  EXPECT_EQ(user.GetName(), "bob");
  CCardRecord card;
  EXPECT_EQ(card.Decode(body.data(), -5), 0);
}

TEST(RecordEnvelope, EmptyBodyGivesNoEnvelope) {
  // Every real record has a body; check the envelope of a record whose
  // encoder writes nothing through a minimal subclass.
  struct Empty : CCardRecord {
    int GetBodySize() const override { return 0; }
  } empty;
  int length = 9;
  EXPECT_NE(empty.MakeEnvelope(length), nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(EnvelopeSize(empty), 0);
  CCardRecord other;
  EXPECT_EQ(empty.CopyTo(other), 0);
}

TEST(RecordCopy, CopiesSameKindOnly) {
  CCardRecord card;
  card.SetDeviceID("DEV001");
  card.SetOrganizationName("Org");
  card.SetOnLine(1);
  card.SetRegTime(Date(2015, 3, 4, 5, 6, 7));
  CCardRecord copy;
  ASSERT_EQ(card.CopyTo(copy), 1);
  EXPECT_EQ(copy.GetDeviceID(), "DEV001");
  EXPECT_EQ(copy.GetOrganizationName(), "Org");
  EXPECT_EQ(copy.GetOnLine(), 1);
  EXPECT_DOUBLE_EQ(copy.GetRegTime(), card.GetRegTime());
  EXPECT_EQ(card.CopyTo(card), 0);

  CUserRecord user;
  user.SetName("keep");
  EXPECT_EQ(card.CopyTo(user), 0);
  EXPECT_EQ(user.GetName(), "keep");
  EXPECT_EQ(user.GetOrganizationName(), "");
}

TEST(RecordCopy, UserCopyCarriesLoginState) {
  CUserRecord user;
  user.SetName("u");
  user.SetType(1);
  user.SetOnLine(1);
  user.SetLastLoginTime(Date(2020, 2, 29, 23, 59, 59));
  CUserRecord connection_user;
  ASSERT_EQ(user.CopyTo(connection_user), 1);
  EXPECT_EQ(connection_user.GetName(), "u");
  EXPECT_EQ(connection_user.GetType(), 1);
  EXPECT_EQ(connection_user.GetOnLine(), 1);
  EXPECT_DOUBLE_EQ(connection_user.GetLastLoginTime(), user.GetLastLoginTime());
}

}  // namespace
}  // namespace zv
