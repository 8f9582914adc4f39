// The connection registry: lookups, card locks, forwarding results and their
// order, disconnects, and the case rules of each.
#include <gtest/gtest.h>

#include "recording_target.hpp"
#include "relay/messages/comm_packet_msg.hpp"
#include "relay/server/connection_registry.hpp"

namespace zv {
namespace {

using test::InstalledTables;
using test::TestConnection;

// A connection user as a login leaves it.
struct User : CUserRecord {
  User(const std::string& name, int type, const std::string& org) {
    SetName(name);
    SetType(static_cast<uint8_t>(type));
    SetOrganizationName(org);
  }
};

const uint8_t kPacket[] = {0x0A, 0x00, 1, 1, 1, 1, 1, 1, 0x68, 0x32};

TEST(ConnectionRegistry, WithoutTablesEverythingAnswersNothingFound) {
  auto& r = CConnectionRegistry::Instance();
  r.RemoveTables();
  User u("alice", 1, "Acme");
  EXPECT_FALSE(r.IsUserOnline("alice"));
  std::vector<std::unique_ptr<CCardRecord>> cards;
  r.ListOnlineCards(cards);
  EXPECT_TRUE(cards.empty());
  EXPECT_EQ(r.LockCard(u, "ABC123", 1), 0);
  EXPECT_EQ(r.ForwardToCard(u, kRouteTcp, "ABC123", kPacket, sizeof kPacket), 0);
  EXPECT_EQ(r.ForwardToCard(u, kRouteUdp, "ABC123", kPacket, sizeof kPacket), 0);
  EXPECT_FALSE(r.DisconnectUser("alice"));
  EXPECT_FALSE(r.DisconnectCard("ABC123"));
}

TEST(ConnectionRegistry, UsersAreFoundIgnoringCaseAndOnlineCardsAreCopied) {
  InstalledTables t;
  TestConnection alice("Alice", "Acme"), card1("ABC123", "Acme"), card2("OFF001", "Acme", 0);
  t.users->Add(1, &alice);
  t.cards->Add(2, &card1);
  t.cards->Add(3, &card2);
  auto& r = CConnectionRegistry::Instance();
  EXPECT_TRUE(r.IsUserOnline("ALICE"));
  EXPECT_FALSE(r.IsUserOnline("bob"));
  std::vector<std::unique_ptr<CCardRecord>> cards;
  r.ListOnlineCards(cards);
  ASSERT_EQ(cards.size(), 1u);
  EXPECT_EQ(cards[0]->GetDeviceID(), "ABC123");
  EXPECT_EQ(cards[0]->GetOrganizationName(), "Acme");
}

TEST(ConnectionRegistry, LockRulesForOwnersOthersAndTypes) {
  InstalledTables t;
  TestConnection card("ABC123", "Acme"), foreign("XYZ999", "Other");
  t.cards->Add(1, &card);
  t.cards->Add(2, &foreign);
  auto& r = CConnectionRegistry::Instance();
  User alice("alice", 2, "Acme"), bob("bob", 2, "Acme");
  User root("root", 1, "Elsewhere"), odd("odd", 7, "Acme");

  EXPECT_EQ(r.LockCard(bob, "ABC123", 0), 1);  // unlocking a free card
  EXPECT_EQ(r.LockCard(alice, "ABC123", 1), 1);
  EXPECT_EQ(card.LockOwner(), "alice");
  EXPECT_EQ(r.LockCard(bob, "ABC123", 1), 0);    // held by another
  EXPECT_EQ(r.LockCard(bob, "ABC123", 0), 0);    // not his to unlock
  EXPECT_EQ(r.LockCard(alice, "ABC123", 1), 1);  // the owner again
  EXPECT_EQ(r.LockCard(alice, "ABC123", 0), 1);
  EXPECT_EQ(card.LockOwner(), "");
  EXPECT_FALSE(card.IsLocked());

  EXPECT_EQ(r.LockCard(alice, "abc123", 1), 0);  // locking matches the id with case
  EXPECT_EQ(r.LockCard(alice, "XYZ999", 1), 0);  // another organization
  EXPECT_EQ(r.LockCard(odd, "ABC123", 1), 0);    // a type that locks nothing
  EXPECT_EQ(r.LockCard(root, "XYZ999", 1), 1);   // type 1 locks anything
  EXPECT_EQ(r.LockCard(root, "NOSUCH", 1), 0);
}

TEST(ConnectionRegistry, ForwardingResultsComeInTheirOrder) {
  InstalledTables t;
  TestConnection card("ABC123", "Acme"), foreign("XYZ999", "Other");
  t.cards->Add(1, &card);
  t.cards->Add(2, &foreign);
  auto& r = CConnectionRegistry::Instance();
  User alice("alice", 2, "Acme"), bob("bob", 2, "Acme");
  User root("root", 1, "Elsewhere");

  EXPECT_EQ(r.ForwardToCard(alice, kRouteTcp, "NOSUCH", kPacket, sizeof kPacket), 2);
  EXPECT_EQ(r.ForwardToCard(alice, kRouteTcp, "ABC123", kPacket, sizeof kPacket), 5);
  ASSERT_EQ(r.LockCard(alice, "ABC123", 1), 1);
  EXPECT_EQ(r.ForwardToCard(bob, kRouteTcp, "ABC123", kPacket, sizeof kPacket), 3);
  // Forwarding finds the card whatever the case of its id.
  EXPECT_EQ(r.ForwardToCard(alice, kRouteTcp, "abc123", kPacket, sizeof kPacket), 1);
  ASSERT_EQ(card.target.pieces.size(), 1u);
  EXPECT_EQ(card.target.pieces[0], std::vector<uint8_t>(kPacket, kPacket + sizeof kPacket));

  // A type 1 user sends to any organization's card it holds.
  ASSERT_EQ(r.LockCard(root, "XYZ999", 1), 1);
  EXPECT_EQ(r.ForwardToCard(root, kRouteTcp, "XYZ999", kPacket, sizeof kPacket), 1);
  // Holding the lock is not enough for a foreign type 2 user: result 4.
  User intruder("intruder", 2, "Acme");
  foreign.SetLock("root", 0);
  ASSERT_EQ(foreign.SetLock("intruder", 1), 1);
  EXPECT_EQ(r.ForwardToCard(intruder, kRouteTcp, "XYZ999", kPacket, sizeof kPacket), 4);

  // A connection that can no longer send answers 0, so do other routes.
  card.target.can_send = false;
  EXPECT_EQ(r.ForwardToCard(alice, kRouteTcp, "ABC123", kPacket, sizeof kPacket), 0);
  EXPECT_EQ(r.ForwardToCard(alice, 3, "ABC123", kPacket, sizeof kPacket), 0);
}

TEST(ConnectionRegistry, UdpCardsLockAndForwardToTheirLastAddress) {
  InstalledTables t;
  auto card = std::make_unique<test::TestConnection>("123456", "Acme");
  test::TestConnection* c = card.get();
  EXPECT_TRUE(t.udp->Register(std::move(card), CUdpAddress{0x7F000001, 4000}));
  EXPECT_FALSE(t.udp->Register(std::make_unique<test::TestConnection>("123456", "Acme"),
                               CUdpAddress{0x7F000001, 4001}));
  EXPECT_EQ(t.udp->Size(), 1u);
  auto& r = CConnectionRegistry::Instance();
  User alice("alice", 3, "Acme");
  EXPECT_EQ(r.ForwardToCard(alice, kRouteUdp, "123456", kPacket, sizeof kPacket), 5);
  // The TCP table has no such card, so the UDP table decides the lock.
  EXPECT_EQ(r.LockCard(alice, "123456", 1), 1);
  EXPECT_EQ(c->LockOwner(), "alice");
  EXPECT_EQ(r.ForwardToCard(alice, kRouteUdp, "123456", kPacket, sizeof kPacket), 1);
  EXPECT_EQ(r.ForwardToCard(alice, kRouteTcp, "123456", kPacket, sizeof kPacket), 2);
  ASSERT_EQ(t.udp_socket.addresses.size(), 1u);
  EXPECT_EQ(t.udp_socket.addresses[0], (CUdpAddress{0x7F000001, 4001}));
  std::string owner;
  EXPECT_TRUE(t.udp->LockOwnerOf("123456", &owner));
  EXPECT_EQ(owner, "alice");
  EXPECT_EQ(r.ReleaseLocksOf("alice"), 1);
  EXPECT_FALSE(c->IsLocked());
}

TEST(ConnectionRegistry, DisconnectsNotifyCloseAndDropEntries) {
  InstalledTables t;
  TestConnection alice("alice", "Acme"), bob("bob", "ACME"), carol("carol", "Other");
  TestConnection card1("ABC123", "Acme"), card2("DEF456", "acme"), card3("GHI789", "Other");
  t.users->Add(1, &alice);
  t.users->Add(2, &bob);
  t.users->Add(3, &carol);
  t.cards->Add(4, &card1);
  t.cards->Add(5, &card2);
  t.cards->Add(6, &card3);
  t.udp->Register(std::make_unique<test::TestConnection>("777777", "Acme"), CUdpAddress{1, 2});
  auto& r = CConnectionRegistry::Instance();

  EXPECT_TRUE(r.DisconnectUser("ALICE"));
  EXPECT_EQ(alice.closes, 1);
  EXPECT_TRUE(alice.target.closed);
  EXPECT_FALSE(r.DisconnectUser("alice"));

  // Organizations match without regard to case, and the walk goes on after
  // each closed entry.
  r.DisconnectOrganizationCards("ACME");
  EXPECT_EQ(card1.closes + card2.closes, 2);
  EXPECT_EQ(card3.closes, 0);
  EXPECT_EQ(t.cards->Size(), 1u);
  EXPECT_EQ(t.udp->Size(), 0u);
  r.DisconnectOrganizationUsers("acme");
  EXPECT_EQ(bob.closes, 1);
  EXPECT_EQ(t.users->Size(), 1u);

  // A card is closed over TCP, or else removed from the UDP table.
  t.udp->Register(std::make_unique<test::TestConnection>("888888", "Other"), CUdpAddress{1, 3});
  EXPECT_TRUE(r.DisconnectCard("ghi789"));
  EXPECT_TRUE(r.DisconnectCard("888888"));
  EXPECT_FALSE(r.DisconnectCard("888888"));
}

TEST(ConnectionRegistry, ConnectionsThatHaveNotLoggedInMatchNothing) {
  InstalledTables t;
  TestConnection anonymous("", "");
  t.users->Add(1, &anonymous);
  auto& r = CConnectionRegistry::Instance();
  EXPECT_FALSE(r.IsUserOnline(""));
  EXPECT_FALSE(r.DisconnectUser(""));
  r.DisconnectOrganizationUsers("");
  EXPECT_EQ(anonymous.closes, 0);
  EXPECT_EQ(t.users->SendToId("", kPacket, sizeof kPacket), -1);
  EXPECT_EQ(t.users->Size(), 1u);
}

TEST(ConnectionRegistry, SendToIdReachesOnlyAConnectedPeer) {
  InstalledTables t;
  TestConnection alice("alice", "Acme");
  t.users->Add(1, &alice);
  EXPECT_EQ(t.users->SendToId("ALICE", kPacket, sizeof kPacket), 1);
  EXPECT_EQ(t.users->SendToId("bob", kPacket, sizeof kPacket), -1);
  EXPECT_TRUE(t.users->Remove(1));
  EXPECT_FALSE(t.users->Remove(1));
  EXPECT_EQ(t.users->SendToId("alice", kPacket, sizeof kPacket), -1);
}

}  // namespace
}  // namespace zv
