#include "relay/messages/record_list.hpp"

#include <gtest/gtest.h>

#include "common/wire.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/log_record.hpp"
#include "relay/messages/user_record.hpp"
#include "tests/relay_messages/test_bytes.hpp"

namespace zv {
namespace {

using test::Bytes;
using test::Cat;
using test::DecodeExact;
using test::Text;

Bytes Envelope(CRecord& record) {
  int length = 0;
  const uint8_t* p = record.MakeEnvelope(length);
  return Bytes(p, p + length);
}

Bytes Count(uint32_t n) {
  Bytes b(4);
  tarvo::wire::PutLe32(b.data(), n);
  return b;
}

std::unique_ptr<CCardRecord> Card(const std::string& id) {
  auto card = std::make_unique<CCardRecord>();
  card->SetDeviceID(id);
  return card;
}

TEST(RecordList, EmptyListIsFourZeroBytes) {
  CRecordList list;
  EXPECT_EQ(list.GetBodySize(), 4);
  EXPECT_EQ(DecodeExact(list, Bytes{0, 0, 0, 0}), 1);
  EXPECT_EQ(list.GetCount(), 0u);
  EXPECT_EQ(DecodeExact(list, Bytes{0, 0, 0}), 0);
}

TEST(RecordList, DecodesMixedKindsInOrderAndIgnoresTrailingBytes) {
  auto card = Card("C1");
  CUserRecord user;
  user.SetName("u1");
  CLogRecord log;
  log.SetID(9);
  const Bytes data = Cat({Count(3), Envelope(*card), Envelope(user), Envelope(log), {1, 2, 3}});
  CRecordList list;
  ASSERT_EQ(DecodeExact(list, data), 1);
  ASSERT_EQ(list.GetCount(), 3u);
  EXPECT_EQ(list.GetAt(0)->GetKey(), "C1");
  EXPECT_EQ(list.GetAt(1)->GetKind(), kUserKind);
  EXPECT_EQ(list.GetAt(2)->GetKey(), "9");
  EXPECT_EQ(list.GetBodySize(), static_cast<int>(data.size()) - 3);
}

TEST(RecordList, FailureKeepsEarlierRecordsAndDropsTheFailingOne) {
  auto c1 = Card("C1");
  auto c2 = Card("C2");
  const Bytes good = Cat({Envelope(*c1)});
  Bytes bad_kind = Envelope(*c2);
  bad_kind[0] = 5;
  CRecordList list;
  EXPECT_EQ(DecodeExact(list, Cat({Count(2), good, bad_kind})), 0);
  ASSERT_EQ(list.GetCount(), 1u);
  EXPECT_EQ(list.GetAt(0)->GetKey(), "C1");

  // A body that its record refuses.
  Bytes bad_body = Envelope(*c2);
  bad_body[5] = 100;
  CRecordList list2;
  EXPECT_EQ(DecodeExact(list2, Cat({Count(2), good, bad_body})), 0);
  EXPECT_EQ(list2.GetCount(), 1u);
}

TEST(RecordList, LengthsAndCountsThatOverrunTheDataFail) {
  auto c1 = Card("C1");
  const Bytes env = Envelope(*c1);
  CRecordList list;
  // More records announced than present.
  EXPECT_EQ(DecodeExact(list, Cat({Count(2), env})), 0);
  // A count of 0xFFFFFFFF is not an empty list.
  CRecordList list2;
  EXPECT_EQ(DecodeExact(list2, Cat({Count(0xFFFFFFFFu), env})), 0);
  EXPECT_EQ(list2.GetCount(), 1u);
  // Envelope header cut short, and body size beyond the data.
  for (size_t cut = 1; cut < env.size(); ++cut) {
    CRecordList l;
    EXPECT_EQ(DecodeExact(l, Cat({Count(1), Bytes(env.begin(), env.begin() + cut)})), 0) << cut;
  }
  // A negative body size must not move backwards.
  Bytes negative = env;
  tarvo::wire::PutLe32(negative.data() + 1, 0xFFFFFFF0u);
  CRecordList list3;
  EXPECT_EQ(DecodeExact(list3, Cat({Count(1), negative})), 0);
  EXPECT_EQ(list3.GetCount(), 0u);
}

TEST(RecordList, FindMatchesKindAndExactKey) {
  CRecordList list;
  list.Append(Card("Abc"));
  auto user = std::make_unique<CUserRecord>();
  user->SetName("Abc");
  CRecord* user_ptr = user.get();
  list.Append(std::move(user));
  list.Append(nullptr);
  EXPECT_EQ(list.GetCount(), 2u);
  EXPECT_EQ(list.Find(kCardKind, "Abc"), list.GetAt(0));
  EXPECT_EQ(list.Find(kUserKind, "Abc"), user_ptr);
  EXPECT_EQ(list.Find(kCardKind, "abc"), nullptr);
  EXPECT_EQ(list.Find(kLogKind, "Abc"), nullptr);
}

}  // namespace
}  // namespace zv
