// The rows through which the servers of one database share a fleet: who
// holds each card's lock (CardLock: DeviceID, UserName, Node, Since) and on
// which server each logged-in user is (UserNode: Name in lower case, Node,
// Since). With the card directory (node_registry.hpp) they make the rules of
// one server hold across several: a card has one lock owner, a user one
// session. Every function opens its own connection and answers 1, 0 as
// described, or -1 when the database failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "relay/server/account_db.hpp"

namespace zv::daemon {

// Makes both tables when missing (with the node tables).
bool EnsureClusterTables(CAccountDb& db);

// Takes the lock of `device` (its Device ID as registered) for `user` of
// server `node`: 1 taken or already this user's, 0 another user holds it.
int TakeCardLock(const std::string& device, const std::string& user, const std::string& node);
// Gives it up: 1 given up or nobody held it, 0 another user holds it.
int GiveCardLockUp(const std::string& device, const std::string& user);
struct CardLockRow {
  std::string user;
  std::string node;
};
// 1 the lock row of `device` is in *row, 0 nobody holds it.
int ReadCardLock(const std::string& device, CardLockRow* row);
// The card left its server: its lock goes (1 there was one, in *row).
int DropCardLock(const std::string& device, CardLockRow* row);

// Where a card is: its directory entry (Device ID matched without case),
// the server holding it and its organization from [Card].
struct CardPlace {
  std::string device;
  std::string node;
  std::string organization;
};
int FindCard(const std::string& device, CardPlace* place);

// What cards registering on `me` bring along, read on `db` inside the
// caller's transaction: the other servers that held them (device, node) and
// their locks (device, lock row).
struct ArrivingCard {
  std::string device;
  std::string node;  // the server that held it
  CardLockRow lock;  // its lock, user empty when none
};
int ReadArrivals(CAccountDb& db, const std::vector<std::string>& ids, const std::string& me,
                 std::vector<ArrivingCard>* former, std::vector<ArrivingCard>* locked);

// A user's session: 1 claimed for `node` (or already its), 0 another
// server carries the user.
int ClaimUserSession(const std::string& name, const std::string& node);
// 1 a server other than `node` carries the user.
int UserOnOtherNode(const std::string& name, const std::string& node);
// The user left `node`: its session row and the locks it held go; the
// Device IDs of those locks in *devices.
int EndUserSession(const std::string& name, const std::string& node,
                   std::vector<std::string>* devices);

// Within the caller's transaction: what server `node` held (its users'
// sessions and locks, its cards' directory entries and OnLine flags) is
// released, except the flags of cards another server holds now.
void ReleaseNodeRows(CAccountDb& db, const std::string& node);
// Servers whose heartbeat is older than `stale_ms`: their rows are released
// and their node rows deleted, in one transaction. The names in *dead;
// 1 done, -1 the database failed.
int ExpireDeadNodes(const std::string& me, int64_t now_ms, int stale_ms,
                    std::vector<std::string>* dead);
// The names of the servers with a fresh heartbeat (this one included).
int LiveNodes(int64_t now_ms, int stale_ms, std::vector<std::string>* names);

// ASCII lower case: user names compare without case.
std::string LowerName(const std::string& name);

}  // namespace zv::daemon
