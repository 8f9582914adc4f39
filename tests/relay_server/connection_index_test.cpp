// Finding peers by id in a connection table: renames of a user connection,
// several connections of one id, replaced and removed entries, and thousands
// of cards each reached through its own entry.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "recording_target.hpp"
#include "relay/messages/comm_packet_msg.hpp"
#include "relay/server/tcp_connection_table.hpp"

namespace zv {
namespace {

using test::TestConnection;

// A user connection whose name changes when it logs in.
class RenamingConnection : public CConnection {
 public:
  std::string GetId() const override { return id; }
  std::string GetOrganization() const override { return "Acme"; }
  CTcpSendTarget* GetSendTarget() override { return &target; }
  std::string id;
  test::RecordingTcpTarget target;
};

struct Owner : CUserRecord {
  explicit Owner(const std::string& name) {
    SetName(name);
    SetType(2);
    SetOrganizationName("Acme");
  }
};

const uint8_t kPacket[] = {0x0A, 0x00, 1, 1, 1, 1, 1, 1, 0x68, 0x32};

TEST(ConnectionIndex, ALoginAndASecondLoginMoveTheConnectionToItsNewName) {
  CTcpConnectionTable users(64);
  RenamingConnection c;
  users.Add(7, &c);
  EXPECT_FALSE(users.IsOnline("alice"));

  c.id = "alice";
  EXPECT_TRUE(users.Reindex(7));
  EXPECT_TRUE(users.IsOnline("ALICE"));
  EXPECT_EQ(users.SendToId("Alice", kPacket, sizeof kPacket), 1);
  EXPECT_EQ(c.target.Joined().size(), sizeof kPacket);

  c.id = "bob";
  EXPECT_TRUE(users.Reindex(7));
  EXPECT_FALSE(users.IsOnline("alice"));
  EXPECT_EQ(users.SendToId("alice", kPacket, sizeof kPacket), -1);
  EXPECT_TRUE(users.IsOnline("bob"));

  EXPECT_TRUE(users.Remove(7));
  EXPECT_FALSE(users.IsOnline("bob"));
  EXPECT_FALSE(users.Reindex(7));  // gone: nothing to index
}

TEST(ConnectionIndex, OfSeveralConnectionsOfOneIdTheOldestAnswersUntilItLeaves) {
  CTcpConnectionTable cards(64);
  TestConnection newer("ABC123", "Acme"), older("abc123", "Acme");
  cards.Add(9, &newer);
  cards.Add(4, &older);
  Owner alice("alice");
  ASSERT_EQ(newer.SetLock("alice", 1), kLockGranted);
  ASSERT_EQ(older.SetLock("alice", 1), kLockGranted);

  EXPECT_EQ(cards.ForwardToCard(alice, "ABC123", kPacket, sizeof kPacket), kForwardSent);
  EXPECT_EQ(older.target.Joined().size(), sizeof kPacket);
  EXPECT_TRUE(newer.target.Joined().empty());

  EXPECT_TRUE(cards.DisconnectById("Abc123"));  // the oldest goes first
  EXPECT_EQ(older.closes, 1);
  EXPECT_EQ(newer.closes, 0);
  EXPECT_EQ(cards.ForwardToCard(alice, "ABC123", kPacket, sizeof kPacket), kForwardSent);
  EXPECT_EQ(newer.target.Joined().size(), sizeof kPacket);

  EXPECT_TRUE(cards.Remove(9));
  EXPECT_EQ(cards.ForwardToCard(alice, "ABC123", kPacket, sizeof kPacket), kForwardCardOffline);
  EXPECT_FALSE(cards.IsOnline("abc123"));
}

TEST(ConnectionIndex, LockingStillComparesTheDeviceIdWithCase) {
  CTcpConnectionTable cards(64);
  TestConnection lower("abc123", "Acme"), upper("ABC123", "Acme");
  cards.Add(1, &lower);
  Owner alice("alice");
  uint8_t result = 0xFF;
  EXPECT_FALSE(cards.LockCard(alice, "ABC123", 1, &result));
  cards.Add(2, &upper);
  EXPECT_TRUE(cards.LockCard(alice, "ABC123", 1, &result));
  EXPECT_EQ(result, kLockGranted);
  EXPECT_TRUE(upper.IsLocked());
  EXPECT_FALSE(lower.IsLocked());
}

TEST(ConnectionIndex, AnEntryAddedAgainUnderItsKeyReplacesTheOldOne) {
  CTcpConnectionTable users(64);
  TestConnection first("alice", "Acme"), second("bob", "Acme");
  users.Add(1, &first);
  users.Add(1, &second);
  EXPECT_EQ(users.Size(), 1u);
  EXPECT_FALSE(users.IsOnline("alice"));
  EXPECT_TRUE(users.IsOnline("bob"));
  EXPECT_TRUE(users.Remove(1));
  EXPECT_FALSE(users.IsOnline("bob"));
}

TEST(ConnectionIndex, EachOfThousandsOfCardsGetsExactlyItsOwnPackets) {
  constexpr int kCards = 3000;
  CTcpConnectionTable cards(64);
  std::vector<std::unique_ptr<TestConnection>> all;
  for (int i = 0; i < kCards; ++i) {
    char id[8];
    std::snprintf(id, sizeof id, "%06d", i);
    all.push_back(std::make_unique<TestConnection>(id, "Acme"));
    all.back()->SetLock("alice", 1);
    cards.Add(static_cast<uint64_t>(kCards - i), all.back().get());
  }
  Owner alice("alice");
  for (int i = 0; i < kCards; i += 7) {
    const std::string id = all[static_cast<size_t>(i)]->GetId();
    ASSERT_EQ(cards.ForwardToCard(alice, id, kPacket, sizeof kPacket), kForwardSent) << id;
  }
  for (int i = 0; i < kCards; ++i)
    EXPECT_EQ(all[static_cast<size_t>(i)]->target.Joined().size(), i % 7 == 0 ? sizeof kPacket : 0u)
        << i;
}

}  // namespace
}  // namespace zv
