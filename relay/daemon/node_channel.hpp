// The servers' channel through the account database: each server listens
// on a notification channel of its own (LISTEN) and sends to another's with
// pg_notify, on two connections of its own kept apart from the pool of the
// account work. A thread waits for what arrives; another sends what was
// queued, many notifications per statement, so a busy pair of servers
// costs a round trip per batch instead of one per packet.
//
// One sender's notifications arrive in the order it sent them. A database
// that goes away loses what it had not passed on yet; what waits here goes
// once it is back, and meanwhile nothing more is taken. Both connections are
// made again once it is back, and the log says so once each way.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "relay/daemon/node_message.hpp"

namespace zv::daemon {

// The channel a node listens on: a fixed-size identifier made from its name,
// so any node name gives a valid one.
std::string NodeChannelName(const std::string& node);

class CNodeChannel {
 public:
  using Handler = std::function<void(NodeMessage&&)>;
  using LogFn = std::function<void(const std::string&)>;

  // `handler` runs on the listening thread for each message that arrives.
  CNodeChannel(std::string uri, std::string node, Handler handler, LogFn log);
  ~CNodeChannel();
  CNodeChannel(const CNodeChannel&) = delete;
  CNodeChannel& operator=(const CNodeChannel&) = delete;

  // Connects and listens: 1, or 0 with libpq's reason in *error.
  int Start(std::string* error);
  // Queues `message` (its `from` is filled in) for node `to`: false when it
  // cannot go (the database cannot be reached, or too much waits already).
  bool Send(const std::string& to, NodeMessage message);
  void Stop();

 private:
  void Listen();
  void SendQueued();

  const std::string uri_;
  const std::string node_;
  const Handler handler_;
  const LogFn log_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::pair<std::string, std::string>> queue_;  // (channel, payload)
  size_t queued_bytes_ = 0;                                // of the payloads
  uint32_t serial_ = 0;
  bool stop_ = false;
  bool reachable_ = true;        // the last try to reach the database worked
  int stop_pipe_[2] = {-1, -1};  // wakes the listening thread's poll
  std::thread listener_;
  std::thread sender_;
  void* listen_conn_ = nullptr;  // PGconn of the listening thread, made by Start
};

}  // namespace zv::daemon
