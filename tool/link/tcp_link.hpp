// The "NetWork" medium's client socket: each packet goes out behind an
// 8-byte network header and each reply comes back behind one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/socket.hpp"

namespace tarvo {

inline constexpr size_t kNetworkHeaderSize = 8;
// Largest reply segment taken from the socket, header included.
inline constexpr size_t kTcpReceiveLimit = 1500;
inline constexpr size_t kTcpLargestReplyPacket = kTcpReceiveLimit - kNetworkHeaderSize;  // 1492

// Every wait of the network medium. The defaults are the production values.
struct TcpTiming {
  int pause_before_connect_ms = 50;
  int pause_after_connect_ms = 3;
  int connect_timeout_ms = 5000;   // a controller that never answers the connect
  int receive_timeout_ms = 10000;  // a reply that never comes
  // After the header's length has arrived without a packet whose sum holds:
  // how long more bytes are waited for (the header understated the length)
  // before what came is taken as the reply (a garbled one).
  int incomplete_grace_ms = 200;
};

// Header bytes: ID Code most significant byte first, the low 16 bits of the
// packet length little-endian, two zeros.
void PutNetworkHeader(uint8_t* out, uint32_t id_code, size_t packet_length);

class TcpLink {
 public:
  TcpTiming timing;

  // Drops any earlier socket, pauses, connects to address:port (first octet
  // most significant) and records the ID Code. 1 or 0.
  int Connect(uint32_t address, uint16_t port, uint32_t id_code);
  void Close();
  bool IsOpen() const { return socket_.IsOpen(); }
  uint32_t id_code() const { return id_code_; }
  // Why the last Connect failed (an errno value).
  int last_error() const { return last_error_; }

  // Header and packet in one send. 1 when every byte was written.
  int Send(const uint8_t* packet, size_t length);
  // One reply: the packet bytes that follow the header, copied to
  // `destination` (at most `capacity` of them). The reply is complete as
  // soon as its packet's checksum holds; the header's length field, which
  // controllers may fill with anything, is only a hint. Returns the packet
  // length, 0 on an error, silence or a reply that does not fit.
  size_t Receive(uint8_t* destination, size_t capacity);

 private:
  platform::TcpSocket socket_;
  uint32_t id_code_ = 0;
  int last_error_ = 0;
  std::array<uint8_t, kTcpReceiveLimit> receive_{};
};

}  // namespace tarvo
