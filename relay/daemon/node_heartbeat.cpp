#include "relay/daemon/node_heartbeat.hpp"

#include <chrono>

namespace zv::daemon {

CNodeHeartbeat::CNodeHeartbeat(NodeIdentity me, int interval_ms,
                               std::function<void(const std::string&)> log,
                               std::function<void(int beat)> after_beat)
    : me_(std::move(me)),
      interval_ms_(interval_ms > 0 ? interval_ms : 1000),
      log_(std::move(log)),
      after_beat_(std::move(after_beat)),
      thread_([this] { Run(); }) {}

CNodeHeartbeat::~CNodeHeartbeat() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void CNodeHeartbeat::Run() {
  int last = 1;  // what the previous beat gave, so each change is one line
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    if (wake_.wait_for(guard, std::chrono::milliseconds(interval_ms_), [this] { return stop_; }))
      return;
    guard.unlock();
    const int beat = BeatNode(me_, WallClockMs());
    if (beat != last) {
      if (beat == 1)
        log_("node " + me_.name + ": heartbeat written again");
      else if (beat == 0)
        log_("node " + me_.name +
             ": another server took this node's row over (this one looked "
             "dead); both now serve under one name");
      else
        log_("node " + me_.name +
             ": cannot write the heartbeat; another server may take this "
             "node's name once it looks stale");
      last = beat;
    }
    if (after_beat_) after_beat_(beat);
    guard.lock();
  }
}

}  // namespace zv::daemon
