#include "relay/client/relay_socket.hpp"

#include "platform/clock.hpp"
#include "platform/socket_timeout.hpp"

namespace zv {

namespace plat = tarvo::platform;

CRelaySocket::CRelaySocket(const RelaySocketTiming& timing) : timing_(timing) {}

CRelaySocket::~CRelaySocket() {
  Close();
}

int CRelaySocket::Connect(uint32_t address, int port) {
  plat::SleepMs(timing_.connect_pause_ms);
  // The new connection is made on a socket of its own, so a failure leaves
  // the current state exactly as it was.
  plat::TcpSocket fresh;
  if (!fresh.Connect(address, static_cast<uint16_t>(port & 0xFFFF), timing_.connect_timeout_ms)) {
    return 0;
  }
  // Time-outs are best effort, as on every platform that lacks them.
  fresh.SetSendTimeout(timing_.send_timeout_ms);
  fresh.SetReceiveTimeout(timing_.receive_timeout_ms);
  // Frames are written whole; small requests should not wait for Nagle.
  fresh.SetNoDelay(true);
  socket_ = std::move(fresh);
  address_ = address;
  port_ = port;
  connected_ = 1;
  plat::SleepMs(timing_.after_connect_pause_ms);
  return 1;
}

int CRelaySocket::Send(const uint8_t* data, int length) {
  if (!connected_) return -1;
  if (length < 0 || (length > 0 && data == nullptr)) return -1;
  if (socket_.SendAll(data, static_cast<size_t>(length))) return 1;
  // A connection that cannot take a frame is gone: part of the frame may be
  // on the wire, so nothing later could be framed correctly on it.
  Close();
  return 0;
}

int CRelaySocket::ReceiveExact(uint8_t* buffer, int size) {
  if (!connected_ || size < 0) return -1;
  if (size == 0) return 0;
  if (buffer == nullptr) return -1;
  int total = 0;
  while (total < size) {
    plat::SleepMs(timing_.read_pause_ms);
    long n = socket_.ReceiveSome(buffer + total, static_cast<size_t>(size - total));
    if (n > 0) {
      total += static_cast<int>(n);
      continue;
    }
    if (n < 0 && plat::IsSocketTimeout(plat::LastSocketError())) break;
    // The server closed the connection (n == 0) or it broke: reading again
    // would only spin, and every later exchange on it would fail.
    Close();
    break;
  }
  return total;
}

int CRelaySocket::SetReceiveTimeout(int milliseconds) {
  // Zero means "wait forever" to the socket layer, and no receive of this
  // library may wait forever; negative values are meaningless.
  if (!connected_ || milliseconds <= 0) return 0;
  return socket_.SetReceiveTimeout(milliseconds) ? 1 : 0;
}

void CRelaySocket::Close() {
  if (socket_.IsOpen()) {
    socket_.ShutdownBoth();
    socket_.Close();
  }
  connected_ = 0;
  address_ = 0;
  port_ = 0;
}

}  // namespace zv
