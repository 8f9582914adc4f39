// A controller on loopback TCP that answers each request (network header +
// packet) with the segments a script returns, recording every request.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "common/wire.hpp"
#include "platform/clock.hpp"
#include "platform/socket.hpp"

namespace tarvo::test {

class ScriptedTcpPeer {
 public:
  using Bytes = std::vector<uint8_t>;
  // Given the request packet (header removed) and its header, the raw
  // segments to write back; each goes out in its own send with a short
  // pause between, so the network delivers them apart.
  using Script = std::function<std::vector<Bytes>(const Bytes& packet, const Bytes& header)>;

  explicit ScriptedTcpPeer(Script script) : script_(std::move(script)) {
    listener_.Listen(0x7F000001, 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedTcpPeer() {
    stop_ = true;
    thread_.join();
  }
  uint16_t port() const { return listener_.Port(); }
  std::vector<Bytes> requests() {
    std::lock_guard<std::mutex> g(mu_);
    return requests_;
  }
  std::vector<Bytes> headers() {
    std::lock_guard<std::mutex> g(mu_);
    return headers_;
  }

  // Header + packet as a controller sends it back.
  static Bytes Segment(const Bytes& packet, uint16_t declared) {
    Bytes out(8, 0);
    wire::PutLe16(out.data() + 4, declared);
    out.insert(out.end(), packet.begin(), packet.end());
    return out;
  }
  static Bytes Segment(const Bytes& packet) {
    return Segment(packet, static_cast<uint16_t>(packet.size()));
  }

 private:
  bool ReadExactly(platform::TcpSocket& s, uint8_t* out, size_t n) {
    size_t got = 0;
    while (got < n) {
      if (stop_) return false;
      int r = s.WaitReadable(50);
      if (r < 0) return false;
      if (r == 0) continue;
      long k = s.ReceiveSome(out + got, n - got);
      if (k <= 0) return false;
      got += static_cast<size_t>(k);
    }
    return true;
  }

  void Run() {
    while (!stop_) {
      platform::TcpSocket s = listener_.Accept(50);
      if (!s.IsOpen()) continue;
      for (;;) {
        Bytes header(8);
        if (!ReadExactly(s, header.data(), 8)) break;
        Bytes packet(wire::GetLe16(header.data() + 4));
        if (!ReadExactly(s, packet.data(), packet.size())) break;
        {
          std::lock_guard<std::mutex> g(mu_);
          requests_.push_back(packet);
          headers_.push_back(header);
        }
        std::vector<Bytes> segments = script_(packet, header);
        for (size_t i = 0; i < segments.size(); ++i) {
          if (i > 0) platform::SleepMs(20);
          s.SendAll(segments[i].data(), segments[i].size());
        }
      }
    }
  }

  Script script_;
  platform::TcpListener listener_;
  std::thread thread_;
  std::mutex mu_;
  std::vector<Bytes> requests_;
  std::vector<Bytes> headers_;
  std::atomic<bool> stop_{false};
};

}  // namespace tarvo::test
