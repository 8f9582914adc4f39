// The accepted connections of one listening server, each served by its own
// thread, and the accept loop that feeds it. Stopping shuts every socket
// down so that blocked threads return, then joins them.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/socket.hpp"

namespace tarvo::sim {

class ConnectionSet {
 public:
  // Connections served at once; one more is closed as soon as it is
  // accepted, so a flood of connections cannot exhaust the threads.
  static constexpr size_t kMaxConnections = 32;

  // Serves one connection until it ends or `stop` is set.
  using Serve = std::function<void(platform::TcpSocket&, const std::atomic<bool>& stop)>;

  explicit ConnectionSet(Serve serve) : serve_(std::move(serve)) {}
  ~ConnectionSet() { Stop(); }
  ConnectionSet(const ConnectionSet&) = delete;
  ConnectionSet& operator=(const ConnectionSet&) = delete;

  // Listens on address:port (0 picks a free port) and starts accepting. 1 or 0.
  int Start(uint32_t address, uint16_t port);
  uint16_t port() const { return port_; }
  void Stop();

 private:
  struct Connection {
    platform::TcpSocket socket;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void AcceptLoop();
  void Reap(bool all);

  Serve serve_;
  platform::TcpListener listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread accept_thread_;
  std::mutex mutex_;
  std::list<std::unique_ptr<Connection>> connections_;
};

// Reads exactly `size` bytes, looking at `stop` while the peer is quiet.
// False when the peer closed, an error occurred or stop was set.
bool ReadExactly(platform::TcpSocket& socket, uint8_t* out, size_t size,
                 const std::atomic<bool>& stop);

}  // namespace tarvo::sim
