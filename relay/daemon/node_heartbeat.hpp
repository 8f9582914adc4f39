// Renews this server's node row every interval on a thread of its own, so a
// busy database worker or event loop never makes a live server look dead to
// the next one that starts under its name.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "relay/daemon/node_registry.hpp"

namespace zv::daemon {

class CNodeHeartbeat {
 public:
  // `log` gets a line when the heartbeat starts failing, when it works again
  // and when another server took the row over.
  // `after_beat`, when given, runs on the same thread after each beat with
  // its result (BeatNode's): the servers sharing the database look for dead
  // ones there.
  CNodeHeartbeat(NodeIdentity me, int interval_ms, std::function<void(const std::string&)> log,
                 std::function<void(int beat)> after_beat = nullptr);
  ~CNodeHeartbeat();
  CNodeHeartbeat(const CNodeHeartbeat&) = delete;
  CNodeHeartbeat& operator=(const CNodeHeartbeat&) = delete;

 private:
  void Run();

  const NodeIdentity me_;
  const int interval_ms_;
  std::function<void(const std::string&)> log_;
  std::function<void(int beat)> after_beat_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace zv::daemon
