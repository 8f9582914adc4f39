#include "tests/relay_client/scripted_relay_server.hpp"

#include <cstring>

#include "platform/clock.hpp"

namespace zvtest {

namespace plat = tarvo::platform;

namespace {
constexpr uint32_t kLoopback = 0x7F000001;
}

bool ServerPeer::ReadExact(uint8_t* out, size_t size, int timeout_ms) {
  size_t got = 0;
  int64_t deadline = plat::MonotonicMs() + timeout_ms;
  while (got < size) {
    int64_t left = deadline - plat::MonotonicMs();
    if (left <= 0 || socket_.WaitReadable(static_cast<int>(left)) != 1) return false;
    long n = socket_.ReceiveSome(out + got, size - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

bool ServerPeer::ReadFrame(ReceivedFrame* frame, int timeout_ms) {
  uint8_t header[14];
  if (!ReadExact(header, sizeof header, timeout_ms)) return false;
  if (std::memcmp(header, "ZVMSGPUB", 8) != 0) return false;
  frame->type = static_cast<uint16_t>(header[8] | (header[9] << 8));
  uint32_t length = static_cast<uint32_t>(header[10]) | (static_cast<uint32_t>(header[11]) << 8) |
                    (static_cast<uint32_t>(header[12]) << 16) |
                    (static_cast<uint32_t>(header[13]) << 24);
  if (length == 0 || length > (1u << 20)) return false;
  frame->body.assign(length, 0);
  return ReadExact(frame->body.data(), length, timeout_ms);
}

bool ServerPeer::ExpectFrame(uint16_t type, Bytes* body, int timeout_ms) {
  ReceivedFrame frame;
  if (!ReadFrame(&frame, timeout_ms) || frame.type != type) return false;
  if (body) *body = std::move(frame.body);
  return true;
}

bool ServerPeer::Write(const Bytes& bytes) {
  return socket_.SendAll(bytes.data(), bytes.size()) == 1;
}

bool ServerPeer::WaitClosed(int timeout_ms) {
  uint8_t byte;
  if (socket_.WaitReadable(timeout_ms) != 1) return false;
  return socket_.ReceiveSome(&byte, 1) == 0;
}

bool ServerPeer::StaysSilent(int ms) {
  if (socket_.WaitReadable(ms) == 0) return true;
  uint8_t byte;
  return socket_.ReceiveSome(&byte, 1) == 0;  // closed without sending anything
}

ScriptedRelayServer::ScriptedRelayServer() {
  if (listener_.Listen(kLoopback, 0)) port_ = listener_.Port();
  thread_ = std::thread([this] { Run(); });
}

ScriptedRelayServer::~ScriptedRelayServer() {
  stop_ = true;
  thread_.join();
}

void ScriptedRelayServer::Expect(Script script) {
  std::lock_guard<std::mutex> lock(mutex_);
  scripts_.push_back(std::move(script));
  ++pending_;
}

bool ScriptedRelayServer::WaitDone(int timeout_ms) {
  int64_t deadline = plat::MonotonicMs() + timeout_ms;
  while (pending_.load() > 0) {
    if (plat::MonotonicMs() >= deadline) return false;
    plat::SleepMs(2);
  }
  return true;
}

void ScriptedRelayServer::Run() {
  while (!stop_.load()) {
    plat::TcpSocket socket = listener_.Accept(20);
    if (!socket.IsOpen()) continue;
    ++accepted_;
    Script script;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!scripts_.empty()) {
        script = std::move(scripts_.front());
        scripts_.pop_front();
      }
    }
    if (!script) {
      ++unexpected_;
      continue;  // the socket closes here
    }
    ServerPeer peer(std::move(socket));
    script(peer);
    peer.Close();
    --pending_;
  }
}

}  // namespace zvtest
