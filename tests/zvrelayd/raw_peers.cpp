#include "raw_peers.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "common/wire.hpp"
#include "platform/clock.hpp"

namespace zv::test {

Bytes RelayFrame(uint16_t type, const Bytes& body) {
  Bytes out;
  tarvo::wire::Writer w(out);
  w.Bytes(reinterpret_cast<const uint8_t*>("ZVMSGPUB"), 8);
  w.Le16(type);
  w.Le32(static_cast<uint32_t>(body.size()));
  w.Bytes(body.data(), body.size());
  return out;
}

Bytes Counted(const std::string& text) {
  Bytes out;
  out.push_back(static_cast<uint8_t>(text.size() + 1));
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes LoginFrame(const std::string& name, const std::string& password) {
  return RelayFrame(0x0001, Concat({Counted(name), Counted(password)}));
}
Bytes LockFrame(const std::string& id, uint8_t lock) {
  return RelayFrame(0x0006, Concat({Counted(id), Bytes{lock}}));
}
Bytes PacketFrame(const std::string& id, uint8_t route, const Bytes& data) {
  return RelayFrame(0x0005, Concat({Counted(id), Bytes{route}, data}));
}

bool RawPeer::Connect(uint16_t port) {
  return socket_.Connect(0x7F000001, port, 2000) == 1;
}

bool RawPeer::ConnectFrom(const char* source, uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  tarvo::platform::TcpSocket socket(fd);
  sockaddr_in from{}, to{};
  from.sin_family = to.sin_family = AF_INET;
  if (inet_pton(AF_INET, source, &from.sin_addr) != 1) return false;
  to.sin_addr.s_addr = htonl(0x7F000001);
  to.sin_port = htons(port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) return false;
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return false;
  socket_ = std::move(socket);
  return true;
}

bool RawPeer::SetReceiveBuffer(int bytes) {
  return setsockopt(socket_.fd(), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
}

bool RawPeer::Send(const Bytes& bytes) {
  return socket_.SendAll(bytes.data(), bytes.size()) == 1;
}

Bytes RawPeer::ReadExact(size_t n, int timeout_ms) {
  Bytes out(n);
  size_t have = 0;
  int64_t deadline = tarvo::platform::MonotonicMs() + timeout_ms;
  while (have < n) {
    int64_t left = deadline - tarvo::platform::MonotonicMs();
    if (left <= 0 || socket_.WaitReadable(static_cast<int>(left)) != 1) return {};
    long got = socket_.ReceiveSome(out.data() + have, n - have);
    if (got <= 0) return {};
    have += static_cast<size_t>(got);
  }
  return out;
}

Frame RawPeer::ReadFrame(int timeout_ms) {
  Frame f;
  Bytes header = ReadExact(14, timeout_ms);
  if (header.size() != 14) return f;
  uint32_t length = tarvo::wire::GetLe32(header.data() + 10);
  Bytes body = ReadExact(length, timeout_ms);
  if (body.size() != length) return f;
  f.type = tarvo::wire::GetLe16(header.data() + 8);
  f.body = std::move(body);
  return f;
}

bool RawPeer::ClosedWithin(int timeout_ms) {
  int64_t deadline = tarvo::platform::MonotonicMs() + timeout_ms;
  uint8_t buf[256];
  for (;;) {
    int64_t left = deadline - tarvo::platform::MonotonicMs();
    if (left <= 0 || socket_.WaitReadable(static_cast<int>(left)) != 1) return false;
    if (socket_.ReceiveSome(buf, sizeof buf) <= 0) return true;
  }
}

bool RawPeer::SilentFor(int timeout_ms) {
  return socket_.WaitReadable(timeout_ms) == 0;
}

bool Eventually(const std::function<bool()>& condition, int timeout_ms) {
  int64_t deadline = tarvo::platform::MonotonicMs() + timeout_ms;
  while (!condition()) {
    if (tarvo::platform::MonotonicMs() > deadline) return false;
    tarvo::platform::SleepMs(10);
  }
  return true;
}

}  // namespace zv::test
