// POSIX implementation of platform/socket.hpp.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket.hpp"

namespace tarvo::platform {
namespace {

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

bool SetTimeout(int fd, int option, int ms) {
  timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv) == 0;
}

int PollOne(int fd, short events, int timeout_ms) {
  pollfd p{fd, events, 0};
  for (;;) {
    int r = poll(&p, 1, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    return r > 0 ? 1 : 0;
  }
}

uint16_t BoundPort(int fd) {
  sockaddr_in sa;
  socklen_t len = sizeof sa;
  if (fd < 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

}  // namespace

int StartSocketLibrary(int, int) {
  return 1;
}

void StopSocketLibrary() {}

bool ParseIpv4(const std::string& text, uint32_t* out) {
  in_addr a;
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  *out = ntohl(a.s_addr);
  return true;
}

std::string FormatIpv4(uint32_t address) {
  in_addr a;
  a.s_addr = htonl(address);
  char buf[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, buf, sizeof buf);
  return buf;
}

int LastSocketError() {
  return errno;
}
std::string SocketErrorText(int code) {
  return std::strerror(code);
}

TcpSocket& TcpSocket::operator=(TcpSocket&& o) noexcept {
  if (this != &o) {
    Close();
    fd_ = o.fd_;
    send_timeout_ms_ = o.send_timeout_ms_;
    o.fd_ = -1;
  }
  return *this;
}

int TcpSocket::Connect(uint32_t address, uint16_t port, int timeout_ms) {
  Close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return 0;
  sockaddr_in sa = MakeAddress(address, port);
  int flags = fcntl(fd_, F_GETFL, 0);
  if (timeout_ms <= 0 || flags < 0 || fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) {
    int r;
    do {
      r = connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
      Close();
      return 0;
    }
    return 1;
  }
  int ok = 0;
  int r = connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  if (r == 0) {
    ok = 1;
  } else if (errno == EINPROGRESS || errno == EINTR) {
    if (PollOne(fd_, POLLOUT, timeout_ms) == 1) {
      int err = 0;
      socklen_t len = sizeof err;
      if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) ok = 1;
      if (!ok) errno = err;
    } else {
      errno = ETIMEDOUT;
    }
  }
  fcntl(fd_, F_SETFL, flags);
  if (!ok) {
    // The reason stays readable through LastSocketError().
    int reason = errno;
    Close();
    errno = reason;
  }
  return ok;
}

bool TcpSocket::SetSendTimeout(int ms) {
  if (fd_ < 0) return false;
  send_timeout_ms_ = ms > 0 ? ms : 0;
  return SetTimeout(fd_, SO_SNDTIMEO, ms);
}
bool TcpSocket::SetReceiveTimeout(int ms) {
  return fd_ >= 0 && SetTimeout(fd_, SO_RCVTIMEO, ms);
}
bool TcpSocket::SetNoDelay(bool on) {
  int v = on ? 1 : 0;
  return fd_ >= 0 && setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) == 0;
}

long TcpSocket::SendSome(const void* data, size_t size) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t n = send(fd_, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

int TcpSocket::SendAll(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    long n = SendSome(p, size);
    if (n <= 0) return 0;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return 1;
}

long TcpSocket::ReceiveSome(void* data, size_t size) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t n = recv(fd_, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

int TcpSocket::WaitReadable(int timeout_ms) {
  if (fd_ < 0) return -1;
  return PollOne(fd_, POLLIN, timeout_ms);
}

void TcpSocket::ShutdownBoth() {
  if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

void TcpSocket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

int TcpSocket::Release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

uint16_t TcpSocket::LocalPort() const {
  return BoundPort(fd_);
}

int TcpListener::Listen(uint32_t address, uint16_t port, int backlog) {
  Close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return 0;
  int one = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa = MakeAddress(address, port);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd_, backlog) != 0) {
    Close();
    return 0;
  }
  return 1;
}

uint16_t TcpListener::Port() const {
  return BoundPort(fd_);
}

TcpSocket TcpListener::Accept(int timeout_ms) {
  if (fd_ < 0) return TcpSocket();
  if (PollOne(fd_, POLLIN, timeout_ms) != 1) return TcpSocket();
  int fd;
  do {
    fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return TcpSocket(fd);
}

void TcpListener::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

int UdpSocket::Bind(uint32_t address, uint16_t port) {
  Close();
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return 0;
  sockaddr_in sa = MakeAddress(address, port);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    Close();
    return 0;
  }
  return 1;
}

uint16_t UdpSocket::Port() const {
  return BoundPort(fd_);
}

long UdpSocket::SendTo(const void* data, size_t size, uint32_t address, uint16_t port) {
  if (fd_ < 0) return -1;
  sockaddr_in sa = MakeAddress(address, port);
  return static_cast<long>(
      sendto(fd_, data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa));
}

long UdpSocket::ReceiveFrom(void* data, size_t size, int timeout_ms, uint32_t* address,
                            uint16_t* port) {
  if (fd_ < 0) return -1;
  int w = PollOne(fd_, POLLIN, timeout_ms);
  if (w <= 0) return w;
  sockaddr_in sa;
  socklen_t len = sizeof sa;
  ssize_t n = recvfrom(fd_, data, size, 0, reinterpret_cast<sockaddr*>(&sa), &len);
  if (n < 0) return -1;
  if (address) *address = ntohl(sa.sin_addr.s_addr);
  if (port) *port = ntohs(sa.sin_port);
  return static_cast<long>(n);
}

void UdpSocket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace tarvo::platform
