// Peers of a live zvrelayd that speak raw bytes: a user that writes relay
// frames by hand and a card that registers and answers over TCP.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/socket.hpp"

namespace zv::test {

using Bytes = std::vector<uint8_t>;

// "ZVMSGPUB", type (LE16), body length (LE32), body.
Bytes RelayFrame(uint16_t type, const Bytes& body);
// A counted string: length + 1, the characters, a zero byte.
Bytes Counted(const std::string& text);
Bytes Concat(std::initializer_list<Bytes> parts);

struct Frame {
  uint16_t type = 0;
  Bytes body;
};

class RawPeer {
 public:
  bool Connect(uint16_t port);
  bool Send(const Bytes& bytes);
  // Fixes the socket's receive buffer (no growing with the traffic), so that
  // a peer that does not read fills it soon.
  bool SetReceiveBuffer(int bytes);
  // Exactly n bytes within the time-out, or an empty vector.
  Bytes ReadExact(size_t n, int timeout_ms = 3000);
  // One relay frame, or type 0 when none arrived in time.
  Frame ReadFrame(int timeout_ms = 3000);
  // True when the server closes the connection within the time-out.
  bool ClosedWithin(int timeout_ms);
  // True when nothing arrives within the time-out.
  bool SilentFor(int timeout_ms);
  void Close() { socket_.Close(); }

 private:
  tarvo::platform::TcpSocket socket_;
};

// Polls `condition` until it holds or the time-out passes.
bool Eventually(const std::function<bool()>& condition, int timeout_ms = 3000);

}  // namespace zv::test
