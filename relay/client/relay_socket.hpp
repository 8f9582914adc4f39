// The TCP connection of the client session to the relay server.
//
// Blocking, one caller at a time. Results: 1 success, 0 failure, -1 not
// connected (or a negative size), counts for reads. Nothing throws.
//
// Losing the connection: a failed send, a read that finds the connection
// closed by the server, and a read error other than the receive time-out all
// close the socket at once and clear the connected flag, so that later calls
// report "not connected" without touching the network and the next login can
// connect again. A receive time-out keeps the connection.
#pragma once

#include <cstdint>

#include "platform/socket.hpp"
#include "relay/client/relay_socket_timing.hpp"
#include "relay/messages/byte_source.hpp"

namespace zv {

class CRelaySocket : public IByteSource {
 public:
  explicit CRelaySocket(const RelaySocketTiming& timing = RelaySocketTiming());
  ~CRelaySocket() override;
  CRelaySocket(const CRelaySocket&) = delete;
  CRelaySocket& operator=(const CRelaySocket&) = delete;

  // Connects to address (host byte order) and the low 16 bits of port with a
  // bounded wait. 1 connected, 0 failed (the previous state stays as it was).
  int Connect(uint32_t address, int port);
  // Writes every byte of the buffer: 1 sent, 0 failed (connection lost),
  // -1 not connected or a bad buffer.
  int Send(const uint8_t* data, int length);
  // Reads exactly `size` bytes unless the receive time-out expires or the
  // connection ends first: the number read (0..size); -1 when not connected,
  // size is negative or buffer is null.
  int ReceiveExact(uint8_t* buffer, int size) override;
  // Receive time-out of the current connection: 1 set, 0 not connected, not
  // a positive number of milliseconds, or refused by the socket.
  int SetReceiveTimeout(int milliseconds);
  // Shuts the connection down and clears address, port and the flag.
  void Close();

  bool IsConnected() const { return connected_ != 0; }
  uint32_t address() const { return address_; }
  int port() const { return port_; }
  const RelaySocketTiming& timing() const { return timing_; }
  void SetTiming(const RelaySocketTiming& timing) { timing_ = timing; }

 private:
  RelaySocketTiming timing_;
  tarvo::platform::TcpSocket socket_;
  int connected_ = 0;
  uint32_t address_ = 0;
  int port_ = 0;
};

}  // namespace zv
