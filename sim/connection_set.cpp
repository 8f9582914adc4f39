#include "sim/connection_set.hpp"

namespace tarvo::sim {

namespace {
constexpr int kPollMs = 50;
}

bool ReadExactly(platform::TcpSocket& socket, uint8_t* out, size_t size,
                 const std::atomic<bool>& stop) {
  size_t got = 0;
  while (got < size) {
    if (stop) return false;
    int w = socket.WaitReadable(kPollMs);
    if (w < 0) return false;
    if (w == 0) continue;
    long n = socket.ReceiveSome(out + got, size - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

int ConnectionSet::Start(uint32_t address, uint16_t port) {
  if (accept_thread_.joinable()) return 0;
  if (!listener_.Listen(address, port)) return 0;
  port_ = listener_.Port();
  stop_ = false;
  accept_thread_ = std::thread([this] { AcceptLoop(); });
  return 1;
}

void ConnectionSet::Stop() {
  stop_ = true;
  if (accept_thread_.joinable()) accept_thread_.join();
  listener_.Close();
  Reap(true);
}

void ConnectionSet::AcceptLoop() {
  while (!stop_) {
    platform::TcpSocket s = listener_.Accept(kPollMs);
    Reap(false);
    if (!s.IsOpen()) continue;
    s.SetNoDelay(true);
    auto c = std::make_unique<Connection>();
    c->socket = std::move(s);
    Connection* raw = c.get();
    std::lock_guard<std::mutex> lock(mutex_);
    if (connections_.size() >= kMaxConnections) continue;  // `c` closes the socket
    connections_.push_back(std::move(c));
    raw->thread = std::thread([this, raw] {
      serve_(raw->socket, stop_);
      raw->done = true;
    });
  }
}

void ConnectionSet::Reap(bool all) {
  std::list<std::unique_ptr<Connection>> finished;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      if (all || (*it)->done) {
        if (all) (*it)->socket.ShutdownBoth();
        finished.push_back(std::move(*it));
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& c : finished) {
    if (c->thread.joinable()) c->thread.join();
  }
}

}  // namespace tarvo::sim
