// What a zvrelayd instance is told at start: addresses, ports, the log, the
// thread count, and the bounds that keep a misbehaving peer from holding
// memory or connections.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zv::daemon {

struct ServerSettings {
  std::string bind_address = "0.0.0.0";
  uint16_t user_port = 5202;
  uint16_t card_port = 5203;  // TCP and UDP
  std::string log_file;       // empty: no log lines
  // The name of this server among those sharing the database. A second
  // server of the same name is refused while this one's heartbeat is fresh.
  // Empty: no node row (a server inside a test program); the program gives
  // the host name unless told otherwise.
  std::string node_name;
  // Event loops, one thread each. Traffic between a user and a card on
  // different loops costs a hand-over between threads, so a few loops serve
  // better than many on a small machine.
  int threads = 2;
  // Database workers: they do the account work off the event loops. Each
  // may wait up to the busy time for a lock another program holds; a few
  // keep the other users' queries going meanwhile.
  int db_threads = 4;
  // Largest request body a user may send. The biggest legitimate request is
  // a controller packet of a few KiB or one account record; 1 MiB leaves room.
  uint32_t max_request_body = 1024 * 1024;
  // A frame that stays unfinished this long without a byte arriving, or a
  // card that does not register within it, closes its connection.
  int half_frame_timeout_ms = 30000;
  // A user connection that has not logged in this long is closed: every
  // client logs in first, and a connection that never does would hold its
  // descriptor for good.
  int login_timeout_ms = 30000;
  // A failed accept (no descriptor left) is tried again after this wait.
  int accept_retry_ms = 1000;
  // Pieces of 4 KiB that may wait per connection before sends fail.
  size_t send_queue_limit = 256;

  // Peers that have not proved anything yet. Before its login a user has no
  // reason to send more than a login (a few dozen bytes): a larger body
  // closes the connection before anything is buffered for it.
  uint32_t max_prelogin_body = 4096;
  // TCP connections (users and cards) served at once; more are closed as
  // they are accepted.
  int max_connections = 100000;
  // Connections from one address that have not logged in (users) or
  // registered (cards) yet. Registered cards are not counted: a carrier may
  // put thousands of cards behind one address.
  int max_pending_per_address = 64;

  // Refused logins slow the next ones from the same address, and from any
  // address that never logged in as that name: each refusal doubles the
  // wait, from the base up to the cap, and a success clears it.
  int login_delay_base_ms = 250;
  int login_delay_cap_ms = 8000;

  // Identical log lines within this interval are written once; the count of
  // the others follows with the next line after the interval.
  int log_repeat_interval_ms = 10000;
  // A Device ID that is not in [Card] is refused again without asking the
  // database for this long.
  int unknown_card_ttl_ms = 30000;
  // A card whose Device ID [Card] lacks tries again and again: its address
  // gets one log line per interval, with the count of the tries in between.
  int unknown_card_log_interval_ms = 60000;
  // One statistics line per interval: cards and users online, what was
  // forwarded and how many connections were dropped since the last line.
  int stats_interval_ms = 60000;
  // The node row's heartbeat, and the lease: the age at which a row whose
  // server sends none is taken for a dead server's (several heartbeats, so
  // a busy database does not make a live server look dead). A dead server's
  // users, locks and cards are released by the others after the lease.
  int node_heartbeat_ms = 2500;
  int node_stale_ms = 10000;

  // A card that registers a Device ID online from another address takes it
  // over only when the older connection does not answer a probe within this
  // wait (or when it proves the card's secret). A secret's challenge must be
  // answered within the same wait.
  int card_probe_timeout_ms = 3000;
  // Takeovers refused from one address slow that address's next
  // registrations: the wait doubles from the base up to the cap.
  int takeover_delay_base_ms = 1000;
  int takeover_delay_cap_ms = 60000;
};

}  // namespace zv::daemon
