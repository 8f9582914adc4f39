// A relay server on loopback that plays a script per connection.
//
// Each accepted connection runs the next script handed to Expect(); the
// script reads what the client sends and writes exact byte sequences back.
// Every wait is bounded, so a client that misbehaves makes a test fail, never
// hang. Connections that arrive with no script left are closed at once and
// counted as unexpected.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/socket.hpp"
#include "tests/relay_client/relay_test_bytes.hpp"

namespace zvtest {

struct ReceivedFrame {
  uint16_t type = 0;
  Bytes body;
};

// The server's side of one connection.
class ServerPeer {
 public:
  explicit ServerPeer(tarvo::platform::TcpSocket socket) : socket_(std::move(socket)) {}

  // Reads one relay frame (header checked). False on time-out, close or a
  // bad header.
  bool ReadFrame(ReceivedFrame* frame, int timeout_ms = 3000);
  // Reads one frame and checks its type; the body goes to *body if given.
  bool ExpectFrame(uint16_t type, Bytes* body = nullptr, int timeout_ms = 3000);
  bool ReadExact(uint8_t* out, size_t size, int timeout_ms);
  bool Write(const Bytes& bytes);
  // True when the client closes its end within the wait (no data first).
  bool WaitClosed(int timeout_ms = 3000);
  // True when no byte arrives within ms (the client may close meanwhile).
  bool StaysSilent(int ms);
  void Close() { socket_.Close(); }

 private:
  tarvo::platform::TcpSocket socket_;
};

class ScriptedRelayServer {
 public:
  using Script = std::function<void(ServerPeer&)>;

  ScriptedRelayServer();
  ~ScriptedRelayServer();
  ScriptedRelayServer(const ScriptedRelayServer&) = delete;
  ScriptedRelayServer& operator=(const ScriptedRelayServer&) = delete;

  uint16_t port() const { return port_; }
  bool listening() const { return port_ != 0; }
  // Queues the script for the next connection.
  void Expect(Script script);
  // Waits until every queued script has run to its end. False on time-out.
  bool WaitDone(int timeout_ms = 5000);
  int accepted() const { return accepted_.load(); }
  int unexpected() const { return unexpected_.load(); }

 private:
  void Run();

  tarvo::platform::TcpListener listener_;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::deque<Script> scripts_;
  std::atomic<int> pending_{0};
  std::atomic<int> accepted_{0};
  std::atomic<int> unexpected_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace zvtest
