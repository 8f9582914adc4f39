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
// The user requests the tests send most: login, lock (1) or unlock (0), and
// a controller packet for a card on route 1 (TCP) or 2 (UDP).
Bytes LoginFrame(const std::string& name, const std::string& password);
Bytes LockFrame(const std::string& id, uint8_t lock);
Bytes PacketFrame(const std::string& id, uint8_t route, const Bytes& data);

struct Frame {
  uint16_t type = 0;
  Bytes body;
};

class RawPeer {
 public:
  bool Connect(uint16_t port);
  // Connects to 127.0.0.1 from another loopback address (127.0.0.2 and so
  // on), so one machine can play peers at several addresses.
  bool ConnectFrom(const char* source, uint16_t port);
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
