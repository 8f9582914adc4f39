// The servers sharing one account database, one row each in ServerNode
// (Name, Host, Pid, Started, Heartbeat), and which of them holds each card,
// one row per online card in CardNode (DeviceID, Node, Since). Both tables
// are made when missing, with plain SQL every backend of the account
// database takes; times are milliseconds since 1970 on the writer's clock.
//
// A server claims its name at start and renews the row's heartbeat while it
// serves. A second server of the same name is refused while the heartbeat
// is fresh; a row whose heartbeat has gone stale, or whose process is gone
// from this very host, belongs to a dead server and is taken over.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "relay/server/account_db.hpp"

namespace zv::daemon {

struct NodeIdentity {
  std::string name;
  std::string host;
  int32_t pid = 0;
};

// This process on this host under `name`.
NodeIdentity ThisNode(const std::string& name);
// Milliseconds since 1970 on this machine's clock.
int64_t WallClockMs();

// 1 claimed; 0 in use by a live server (*why says which); -1 the database
// failed (*why says so).
int ClaimNode(const NodeIdentity& me, int64_t now_ms, int stale_ms, std::string* why);
// How many other servers have a fresh heartbeat; -1 the database failed.
int OtherLiveNodes(const NodeIdentity& me, int64_t now_ms, int stale_ms);
// Renews the heartbeat: 1 done, 0 the row is no longer this server's (taken
// over while this one looked dead), -1 the database failed.
int BeatNode(const NodeIdentity& me, int64_t now_ms);
// At a clean stop: the cards this server held go offline and its rows go.
void ReleaseNode(const NodeIdentity& me);

// Many cards' flags on `db`, inside the caller's transaction, ending as the
// same flags written one after the other would: a few statements for the
// whole list instead of three per card, which a database server across a
// socket answers one round trip each.
struct CardOnLineFlag {
  std::string device_id;
  std::string node;
  uint8_t online = 0;
};
void WriteCardOnLineFlags(CAccountDb& db, const std::vector<CardOnLineFlag>& flags);
// Values bound per statement that lists ids: well below what either
// database takes.
inline constexpr size_t kIdsPerStatement = 400;
// "(?, ?, ...)" for n values.
std::string Marks(size_t n);
// Runs `make(first, count)` for the ids in slices the statements can bind.
template <class Make>
void InSlices(const std::vector<std::string>& ids, Make make) {
  for (size_t at = 0; at < ids.size(); at += kIdsPerStatement)
    make(at, ids.size() - at < kIdsPerStatement ? ids.size() - at : kIdsPerStatement);
}

// Device ID -> node of every card in the directory (empty without one).
std::map<std::string, std::string> ReadCardNodes(CAccountDb& db);

}  // namespace zv::daemon
