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
};

}  // namespace zv::daemon
