// The answers' Process against a real account database and installed tables:
// every result code, the user type scopes, the organization counters and the
// cascading delete.
#include <gtest/gtest.h>

#include <thread>

#include "recording_target.hpp"
#include "relay/messages/log_record.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/relay_messages.hpp"
#include "relay/server/account_db.hpp"
#include "test_db.hpp"

namespace zv {
namespace {

class Handlers : public ::testing::TestWithParam<test::Backend> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(HasFailure()) << "the test has no database";
    db.AddOrganization("Acme", 5, 3);
    db.AddOrganization("Other");
    db.AddUser("root", "r", 1, "Acme");
    db.AddUser("alice", "a", 2, "Acme");
    db.AddUser("olga", "o", 3, "Other");
    db.AddUser("odd", "d", 7, "Acme");
    db.AddCard("ABC123", "Acme");
    db.AddCard("XYZ999", "Other");
    SetCounters("Acme", 4, 1);
    SetCounters("Other", 1, 1);
  }

  void SetCounters(const std::string& org, int users, int cards) {
    CAccountDb a;
    ASSERT_EQ(a.ExecuteSql(CSqlStatement{
                  "UPDATE [Organization] SET UserNum = " + std::to_string(users) +
                      ", CardNum = " + std::to_string(cards) + " WHERE OrganizationName = ?",
                  {org}}),
              1);
  }
  long Users(const std::string& org) {
    return db.Scalar("SELECT UserNum AS v FROM [Organization] WHERE OrganizationName = ?", org);
  }
  long Cards(const std::string& org) {
    return db.Scalar("SELECT CardNum AS v FROM [Organization] WHERE OrganizationName = ?", org);
  }
  long Count(const std::string& table) { return db.Scalar("SELECT count(*) AS v FROM " + table); }

  // Logs `name` in on a fresh connection user.
  void LogIn(CUserRecord& user, const std::string& name, const std::string& password) {
    CLoginMsg login;
    login.SetUserName(name);
    login.SetPassword(password);
    CLoginAckMsg ack;
    ack.Process(login, user);
    EXPECT_EQ(ack.GetResult(), kLoginOk) << name;
  }

  std::unique_ptr<CQueryAckMsg> Query(CUserRecord& user, int kind, const std::string& key) {
    CQueryMsg q;
    q.SetKind(static_cast<uint8_t>(kind));
    q.SetFilter(key);
    auto ack = std::make_unique<CQueryAckMsg>();
    ack->Process(q, user);
    return ack;
  }

  std::vector<std::string> Keys(const CQueryAckMsg& ack) {
    std::vector<std::string> keys;
    if (ack.GetRecords())
      for (const auto& r : ack.GetRecords()->Records()) keys.push_back(r->GetKey());
    return keys;
  }

  uint8_t RecordOp(CUserRecord& user, uint8_t operation, std::unique_ptr<CRecord> record) {
    CRecordOpMsg op;
    op.SetOperation(operation);
    op.SetRecord(std::move(record));
    CRecordOpAckMsg ack;
    ack.Process(op, user);
    return ack.GetResult();
  }

  static std::unique_ptr<CRecord> NewUser(const std::string& name, int type,
                                          const std::string& org) {
    auto u = std::make_unique<CUserRecord>();
    u->SetName(name);
    u->SetPassword("pw");
    u->SetType(static_cast<uint8_t>(type));
    u->SetOrganizationName(org);
    return u;
  }
  static std::unique_ptr<CRecord> NewCard(const std::string& id, const std::string& org) {
    auto c = std::make_unique<CCardRecord>();
    c->SetDeviceID(id);
    c->SetOrganizationName(org);
    return c;
  }

  uint8_t CheckName(CUserRecord& user, int kind, const std::string& name, const std::string& org) {
    CCheckNameMsg m;
    m.SetKind(static_cast<uint8_t>(kind));
    m.SetName(name);
    m.SetOrganization(org);
    CCheckNameAckMsg ack;
    ack.Process(m, user);
    EXPECT_EQ(ack.GetName(), name);
    return ack.GetResult();
  }

  test::TempDatabase db{GetParam()};
  test::InstalledTables tables;
};

TEST_P(Handlers, LoginResultsAndWhatTheConnectionLearns) {
  CUserRecord user;
  CLoginMsg login;
  CLoginAckMsg none;
  login.SetUserName("nobody");
  none.Process(login, user);
  EXPECT_EQ(none.GetResult(), kLoginNoSuchUser);
  EXPECT_EQ(user.GetName(), "");

  login.SetUserName("alice");
  login.SetPassword("A");  // the password compares with case
  CLoginAckMsg wrong;
  wrong.Process(login, user);
  EXPECT_EQ(wrong.GetResult(), kLoginWrongPassword);
  EXPECT_EQ(user.GetName(), "");

  login.SetPassword("a");
  CLoginAckMsg ok;
  ok.Process(login, user);
  EXPECT_EQ(ok.GetResult(), kLoginOk);
  EXPECT_EQ(user.GetName(), "alice");
  EXPECT_EQ(user.GetOrganizationName(), "Acme");
  EXPECT_EQ(user.GetType(), 2);
  EXPECT_EQ(ok.GetUser().GetOnLine(), 1);
  EXPECT_GT(ok.GetUser().GetLastLoginTime(), 40000.0);
  EXPECT_EQ(db.Scalar("SELECT OnLine AS v FROM [User] WHERE Name = ?", "alice"), 1);
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM [User] WHERE Name = ? AND LastLoginTime > 40000",
                      "alice"),
            1);

  // Someone is connected as ALICE: already online wins over the wrong password.
  test::TestConnection session("ALICE", "Acme");
  tables.users->Add(1, &session);
  login.SetPassword("wrong");
  CUserRecord second;
  CLoginAckMsg online;
  online.Process(login, second);
  EXPECT_EQ(online.GetResult(), kLoginAlreadyOnline);
  EXPECT_EQ(second.GetName(), "");

  // A request of another type leaves the answer as constructed.
  CQueryMsg other;
  CLoginAckMsg untouched;
  untouched.Process(other, second);
  EXPECT_EQ(untouched.GetResult(), 0);
}

TEST_P(Handlers, QueriesFollowTheUserTypeScopes) {
  CUserRecord anonymous;
  auto refused = Query(anonymous, 3, "");
  EXPECT_EQ(refused->GetStatus(), kQueryRefused);
  EXPECT_EQ(refused->GetRecords(), nullptr);

  CUserRecord alice;
  LogIn(alice, "alice", "a");
  auto own_org = Query(alice, 1, "");
  EXPECT_EQ(own_org->GetStatus(), kQueryOk);
  EXPECT_EQ(Keys(*own_org), (std::vector<std::string>{"Acme"}));
  EXPECT_EQ(Query(alice, 1, "Other")->GetStatus(), kQueryTableNotAllowed);
  EXPECT_EQ(Query(alice, 1, "acme")->GetStatus(), kQueryTableNotAllowed);  // case matters
  EXPECT_EQ(Keys(*Query(alice, 1, "Acme")), (std::vector<std::string>{"Acme"}));
  EXPECT_EQ(Keys(*Query(alice, 2, "")), (std::vector<std::string>{"root", "alice", "odd"}));
  auto foreign_card = Query(alice, 3, "XYZ999");
  EXPECT_EQ(foreign_card->GetStatus(), kQueryOk);  // ran, found nothing
  EXPECT_TRUE(Keys(*foreign_card).empty());
  EXPECT_EQ(Query(alice, 9, "x")->GetStatus(), kQueryTableNotAllowed);

  CUserRecord odd;
  LogIn(odd, "odd", "d");
  EXPECT_EQ(Query(odd, 3, "")->GetStatus(), kQueryRefused);
  EXPECT_EQ(Query(odd, 3, "ABC123")->GetStatus(), kQueryRefused);

  CUserRecord root;
  LogIn(root, "root", "r");
  EXPECT_EQ(Keys(*Query(root, 1, "")), (std::vector<std::string>{"Acme", "Other"}));
  EXPECT_EQ(Keys(*Query(root, 2, "olga")), (std::vector<std::string>{"olga"}));
  EXPECT_EQ(Query(root, 7, "x")->GetStatus(), kQueryTableNotAllowed);
  auto kind = Query(root, 3, "XYZ999");
  EXPECT_EQ(kind->GetKind(), 3);
  EXPECT_EQ(Keys(*kind), (std::vector<std::string>{"XYZ999"}));
}

TEST_P(Handlers, CardQueriesMergeConnectedCardsThatAreNotStored) {
  test::TestConnection stored("ABC123", "Acme"), live_acme("LIVE01", "Acme"),
      live_other("LIVE02", "Other"), offline("LIVE03", "Acme", 0);
  tables.cards->Add(1, &stored);
  tables.cards->Add(2, &live_acme);
  tables.cards->Add(3, &live_other);
  tables.cards->Add(4, &offline);

  CUserRecord root;
  LogIn(root, "root", "r");
  EXPECT_EQ(Keys(*Query(root, 3, "")),
            (std::vector<std::string>{"ABC123", "XYZ999", "LIVE01", "LIVE02"}));
  EXPECT_EQ(Keys(*Query(root, 3, "LIVE02")), (std::vector<std::string>{"LIVE02"}));
  EXPECT_EQ(Keys(*Query(root, 3, "ABC123")), (std::vector<std::string>{"ABC123"}));

  CUserRecord alice;
  LogIn(alice, "alice", "a");
  EXPECT_EQ(Keys(*Query(alice, 3, "")), (std::vector<std::string>{"ABC123", "LIVE01"}));
  EXPECT_TRUE(Keys(*Query(alice, 3, "LIVE02")).empty());
}

TEST_P(Handlers, AddingAndDeletingKeepTheCountersInStep) {
  CUserRecord root;
  LogIn(root, "root", "r");
  EXPECT_EQ(RecordOp(root, kRecordAdd, NewUser("newbie", 2, "Acme")), 0);
  EXPECT_EQ(Users("Acme"), 5);
  // A second add of the same name is refused and counts nothing.
  EXPECT_EQ(RecordOp(root, kRecordAdd, NewUser("newbie", 2, "Acme")), 1);
  EXPECT_EQ(Users("Acme"), 5);

  EXPECT_EQ(RecordOp(root, kRecordAdd, NewCard("NEW001", "Other")), 0);
  EXPECT_EQ(Cards("Other"), 2);

  // The counter of the organization the stored row belongs to goes down,
  // whatever organization the request names, and only when a row went away.
  EXPECT_EQ(RecordOp(root, kRecordDelete, NewUser("newbie", 2, "Other")), 0);
  EXPECT_EQ(Users("Acme"), 4);
  EXPECT_EQ(Users("Other"), 1);
  EXPECT_EQ(RecordOp(root, kRecordDelete, NewUser("newbie", 2, "Acme")), 0);
  EXPECT_EQ(Users("Acme"), 4);

  EXPECT_EQ(RecordOp(root, kRecordDelete, NewCard("NEW001", "Other")), 0);
  EXPECT_EQ(Cards("Other"), 1);

  auto log = std::make_unique<CLogRecord>();
  log->SetMsgDescribe("note");
  EXPECT_EQ(RecordOp(root, kRecordAdd, std::move(log)), 0);
  EXPECT_EQ(Count("[Log]"), 1);

  // Modify overwrites the stored row; a row that does not exist is not done.
  auto changed = NewCard("ABC123", "Acme");
  static_cast<CCardRecord&>(*changed).SetOnLine(1);
  EXPECT_EQ(RecordOp(root, kRecordModify, std::move(changed)), 0);
  EXPECT_EQ(db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = ?", "ABC123"), 1);
  EXPECT_EQ(RecordOp(root, kRecordModify, NewCard("GHOST1", "Acme")), 1);
  EXPECT_EQ(RecordOp(root, 9, NewCard("ABC123", "Acme")), 1);

  CUserRecord anonymous;
  EXPECT_EQ(RecordOp(anonymous, kRecordAdd, NewUser("sneaky", 1, "Acme")), 1);
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM [User] WHERE Name = ?", "sneaky"), 0);
}

TEST_P(Handlers, MovingAUserOrCardToAnotherOrganizationMovesItsCount) {
  CUserRecord root;
  LogIn(root, "root", "r");
  const long acme_users = Users("Acme"), other_users = Users("Other");
  const long acme_cards = Cards("Acme"), other_cards = Cards("Other");
  EXPECT_EQ(RecordOp(root, kRecordAdd, NewUser("mover", 2, "Acme")), 0);
  EXPECT_EQ(RecordOp(root, kRecordModify, NewUser("mover", 2, "Other")), 0);
  EXPECT_EQ(Users("Acme"), acme_users);
  EXPECT_EQ(Users("Other"), other_users + 1);
  // A modify that keeps the organization, or finds no row, counts nothing.
  EXPECT_EQ(RecordOp(root, kRecordModify, NewUser("mover", 3, "Other")), 0);
  EXPECT_EQ(RecordOp(root, kRecordModify, NewUser("nobody", 2, "Acme")), 1);
  EXPECT_EQ(Users("Other"), other_users + 1);
  EXPECT_EQ(Users("Acme"), acme_users);

  EXPECT_EQ(RecordOp(root, kRecordModify, NewCard("ABC123", "Other")), 0);
  EXPECT_EQ(Cards("Acme"), acme_cards - 1);
  EXPECT_EQ(Cards("Other"), other_cards + 1);
  // Deleting it afterwards takes it off the organization it now belongs to.
  EXPECT_EQ(RecordOp(root, kRecordDelete, NewCard("ABC123", "Other")), 0);
  EXPECT_EQ(Cards("Other"), other_cards);
  EXPECT_EQ(Cards("Acme"), acme_cards - 1);
}

TEST_P(Handlers, CountersStayTrueWhenConnectionsMoveTheSameRowAtOnce) {
  // Two connections on two threads move one card back and forth between the
  // organizations at the same time: however their steps interleave, each
  // organization's counter must still equal its rows.
  CUserRecord root;
  LogIn(root, "root", "r");
  ASSERT_EQ(RecordOp(root, kRecordAdd, NewCard("RACE01", "Acme")), 0);
  auto rows = [&](const std::string& org) {
    return db.Scalar("SELECT count(*) AS v FROM [Card] WHERE OrganizationName = ?", org);
  };
  const long acme_offset = Cards("Acme") - rows("Acme");
  const long other_offset = Cards("Other") - rows("Other");
  auto mover = [&](const std::string& to) {
    CUserRecord user;
    LogIn(user, "root", "r");
    for (int i = 0; i < 200; ++i) RecordOp(user, kRecordModify, NewCard("RACE01", to));
  };
  std::thread a(mover, "Other"), b(mover, "Acme");
  a.join();
  b.join();
  EXPECT_EQ(Cards("Acme") - rows("Acme"), acme_offset);
  EXPECT_EQ(Cards("Other") - rows("Other"), other_offset);
}

TEST_P(Handlers, AddingACardFollowsItsLiveConnection) {
  test::TestConnection elsewhere("LIVE02", "Other"), here("LIVE01", "Acme");
  tables.cards->Add(1, &elsewhere);
  tables.cards->Add(2, &here);
  CUserRecord root;
  LogIn(root, "root", "r");
  // Connected under another organization: nothing changes, result stays 1.
  EXPECT_EQ(RecordOp(root, kRecordAdd, NewCard("LIVE02", "Acme")), 1);
  EXPECT_EQ(Cards("Acme"), 1);
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM [Card] WHERE DeviceID = ?", "LIVE02"), 0);
  // Connected under its own organization: stored online.
  EXPECT_EQ(RecordOp(root, kRecordAdd, NewCard("LIVE01", "Acme")), 0);
  EXPECT_EQ(Cards("Acme"), 2);
  EXPECT_EQ(db.Scalar("SELECT OnLine AS v FROM [Card] WHERE DeviceID = ?", "LIVE01"), 1);
}

TEST_P(Handlers, DeletingAnOrganizationTakesItsRowsAndConnectionsAlong) {
  test::TestConnection olga_session("olga", "Other"), card("XYZ999", "Other"),
      keep("ABC123", "Acme");
  tables.users->Add(1, &olga_session);
  tables.cards->Add(2, &card);
  tables.cards->Add(3, &keep);
  CAccountDb a;
  CLogRecord entry;
  entry.SetOrganizationName("Other");
  ASSERT_EQ(a.InsertRecord(&entry), 1);

  CUserRecord root;
  LogIn(root, "root", "r");
  auto org = std::make_unique<COrganizationRecord>();
  org->SetOrganizationName("Other");
  EXPECT_EQ(RecordOp(root, kRecordDelete, std::move(org)), 0);
  EXPECT_EQ(Count("[Organization]"), 1);
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM [User] WHERE OrganizationName = 'Other'"), 0);
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM [Card] WHERE OrganizationName = 'Other'"), 0);
  EXPECT_EQ(Count("[Log]"), 0);
  EXPECT_EQ(olga_session.closes, 1);
  EXPECT_EQ(card.closes, 1);
  EXPECT_EQ(keep.closes, 0);
  EXPECT_EQ(Count("[Card]"), 1);
}

// A record operation whose last statement fails (here refused by a trigger)
// leaves none of its earlier statements behind and is answered "not done".
TEST_P(Handlers, AnOperationThatFailsHalfWayLeavesNothingBehind) {
  CUserRecord root;
  LogIn(root, "root", "r");
  db.RefuseChanges("[Organization]", "UPDATE");
  EXPECT_EQ(RecordOp(root, kRecordAdd, NewUser("newbie", 2, "Acme")), 1);
  EXPECT_EQ(RecordOp(root, kRecordAdd, NewCard("NEW001", "Acme")), 1);
  EXPECT_EQ(Count("[User]"), 4);
  EXPECT_EQ(Count("[Card]"), 2);
  EXPECT_EQ(Users("Acme"), 4);
  EXPECT_EQ(Cards("Acme"), 1);

  db.RefuseChanges("[Organization]", "DELETE");
  auto org = std::make_unique<COrganizationRecord>();
  org->SetOrganizationName("Other");
  EXPECT_EQ(RecordOp(root, kRecordDelete, std::move(org)), 1);
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM [User] WHERE OrganizationName = 'Other'"), 1);
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM [Card] WHERE OrganizationName = 'Other'"), 1);
  EXPECT_EQ(Count("[Organization]"), 2);
}

TEST_P(Handlers, OwnOrganizationUsersManageOnlyTheirOwnRecords) {
  CUserRecord alice;
  LogIn(alice, "alice", "a");
  EXPECT_EQ(RecordOp(alice, kRecordAdd, NewUser("helper", 3, "Acme")), 0);
  EXPECT_EQ(RecordOp(alice, kRecordAdd, NewUser("boss", 1, "Acme")), 1);  // no promotion
  EXPECT_EQ(RecordOp(alice, kRecordAdd, NewUser("spy", 2, "Other")), 1);
  EXPECT_EQ(RecordOp(alice, kRecordDelete, NewCard("XYZ999", "Other")), 1);
  // Naming her own organization does not reach another organization's row.
  EXPECT_EQ(RecordOp(alice, kRecordModify, NewCard("XYZ999", "Acme")), 1);
  auto org = std::make_unique<COrganizationRecord>();
  org->SetOrganizationName("Acme");
  org->SetMaxUserNum(1000);
  EXPECT_EQ(RecordOp(alice, kRecordModify, std::move(org)), 1);
  EXPECT_EQ(
      db.Scalar("SELECT MaxUserNum AS v FROM [Organization] WHERE OrganizationName = ?", "Acme"),
      5);
  EXPECT_EQ(db.Scalar("SELECT count(*) AS v FROM [Card] WHERE OrganizationName = 'Other'"), 1);
  EXPECT_EQ(RecordOp(alice, kRecordDelete, NewUser("helper", 3, "Acme")), 0);

  CUserRecord odd;
  LogIn(odd, "odd", "d");
  EXPECT_EQ(RecordOp(odd, kRecordAdd, NewCard("ODD001", "Acme")), 1);
}

TEST_P(Handlers, NameChecksReportFreeTakenAndFull) {
  CUserRecord anonymous;
  CCheckNameMsg m;
  m.SetKind(2);
  m.SetName("x");
  CCheckNameAckMsg untouched;
  untouched.Process(m, anonymous);
  EXPECT_EQ(untouched.GetResult(), 1);
  EXPECT_EQ(untouched.GetName(), "");

  CUserRecord root;
  LogIn(root, "root", "r");
  EXPECT_EQ(CheckName(root, 1, "Fresh", ""), kNameFree);
  EXPECT_EQ(CheckName(root, 1, "Acme", ""), kNameTaken);
  EXPECT_EQ(CheckName(root, 2, "alice", "Acme"), kNameTaken);
  EXPECT_EQ(CheckName(root, 2, "newname", "Acme"), kNameFree);
  EXPECT_EQ(CheckName(root, 2, "newname", "Nowhere"), kNameOrganizationFull);
  EXPECT_EQ(CheckName(root, 3, "NEW001", "Acme"), kNameFree);
  // Names compare without case, on every backend.
  EXPECT_EQ(CheckName(root, 1, "ACME", ""), kNameTaken);
  EXPECT_EQ(CheckName(root, 2, "Alice", "Acme"), kNameTaken);
  EXPECT_EQ(CheckName(root, 3, "abc123", "Acme"), kNameTaken);
  EXPECT_EQ(CheckName(root, 2, "newname", "acme"), kNameFree);
  SetCounters("Acme", 5, 3);  // UserNum = MaxUserNum, CardNum = MaxCardNum
  EXPECT_EQ(CheckName(root, 2, "newname", "Acme"), kNameOrganizationFull);
  EXPECT_EQ(CheckName(root, 3, "NEW001", "Acme"), kNameOrganizationFull);
  EXPECT_EQ(CheckName(root, 4, "anything", "Acme"), 1);
}

TEST_P(Handlers, NamesWithQuotesAndOfFullLengthAreJustNames) {
  // Every statement binds its texts: quotes, keywords and the longest names
  // a counted string carries change nothing else in the database.
  const std::string org = "O'Hara's \"Best\"'; DROP TABLE [User];--";
  std::string name = "d'Artagnan' OR '1'='1";
  name += std::string(254 - name.size(), '\'');
  const std::string card = "C'1' OR 1=1--";
  CUserRecord root;
  LogIn(root, "root", "r");
  auto o = std::make_unique<COrganizationRecord>();
  o->SetOrganizationName(org);
  o->SetMaxUserNum(10);
  o->SetMaxCardNum(10);
  ASSERT_EQ(RecordOp(root, kRecordAdd, std::move(o)), 0);
  EXPECT_EQ(CheckName(root, 2, name, org), kNameFree);
  ASSERT_EQ(RecordOp(root, kRecordAdd, NewUser(name, 2, org)), 0);
  ASSERT_EQ(RecordOp(root, kRecordAdd, NewCard(card, org)), 0);
  EXPECT_EQ(CheckName(root, 2, name, org), kNameTaken);
  EXPECT_EQ(CheckName(root, 3, card, org), kNameTaken);
  EXPECT_EQ(Users(org), 1);
  EXPECT_EQ(Cards(org), 1);

  CUserRecord quoted;
  CLoginMsg login;
  login.SetUserName(name);
  login.SetPassword("pw");
  CLoginAckMsg ack;
  ack.Process(login, quoted);
  EXPECT_EQ(ack.GetResult(), kLoginOk);
  EXPECT_EQ(quoted.GetOrganizationName(), org);
  EXPECT_EQ(Keys(*Query(quoted, kCardKind, "")), std::vector<std::string>{card});
  EXPECT_EQ(Keys(*Query(root, kUserKind, name)), std::vector<std::string>{name});

  const long users_before = Count("[User]");
  auto gone = std::make_unique<COrganizationRecord>();
  gone->SetOrganizationName(org);
  EXPECT_EQ(RecordOp(root, kRecordDelete, std::move(gone)), 0);
  EXPECT_EQ(Count("[User]"), users_before - 1);
  EXPECT_EQ(Count("[Card]"), 2);
  EXPECT_EQ(Count("[Organization]"), 2);
  EXPECT_EQ(Users("Acme"), 4);
}

TEST_P(Handlers, PacketsAndLocksGoThroughTheRegistry) {
  test::TestConnection card("ABC123", "Acme");
  tables.cards->Add(1, &card);
  CUserRecord alice;
  LogIn(alice, "alice", "a");
  const uint8_t packet[] = {0x68, 0x32, 0x01};

  CCommPacketMsg send;
  send.SetDeviceID("ABC123");
  send.SetRoute(kRouteTcp);
  send.SetData(packet, sizeof packet);
  CCommPacketAckMsg not_locked;
  not_locked.Process(send, alice);
  EXPECT_EQ(not_locked.GetStatus(), kForwardNotLocked);

  CLockCardMsg lock;
  lock.SetDeviceID("ABC123");
  lock.SetLock(1);
  CLockCardAckMsg locked;
  locked.Process(lock, alice);
  EXPECT_EQ(locked.GetResult(), 1);

  CCommPacketAckMsg sent;
  sent.Process(send, alice);
  EXPECT_EQ(sent.GetStatus(), kForwardSent);
  EXPECT_EQ(card.target.pieces.size(), 1u);

  send.SetRoute(3);
  CCommPacketAckMsg other_route;
  other_route.Process(send, alice);
  EXPECT_EQ(other_route.GetStatus(), 0);

  CCommPacketMsg empty;
  empty.SetDeviceID("ABC123");
  empty.SetRoute(kRouteTcp);
  CCommPacketAckMsg no_data;
  no_data.Process(empty, alice);
  EXPECT_EQ(no_data.GetStatus(), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, Handlers,
                         ::testing::Values(test::Backend::kSqlite, test::Backend::kPostgres),
                         test::BackendName);

}  // namespace
}  // namespace zv
