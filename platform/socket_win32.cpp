// Windows implementation of platform/socket.hpp (Winsock 2).
//
// A SOCKET is kept in the same int the POSIX twin keeps its descriptor in:
// 64-bit Windows gives handles only 32 significant bits so that 32-bit
// processes can share them, so the value survives the narrowing.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/socket.hpp"

namespace tarvo::platform {
namespace {

SOCKET S(int fd) {
  return fd < 0 ? INVALID_SOCKET : static_cast<SOCKET>(static_cast<unsigned int>(fd));
}

int Fd(SOCKET s) {
  return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

// Programs that never asked for sockets themselves (the relay client DLL, the
// gateway stand-in, tests) still get a started library on their first socket.
void EnsureStarted() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

bool SetTimeout(int fd, int option, int ms) {
  DWORD value = ms > 0 ? static_cast<DWORD>(ms) : 0;
  return setsockopt(S(fd), SOL_SOCKET, option, reinterpret_cast<const char*>(&value),
                    sizeof value) == 0;
}

// select() on one socket: 1 ready, 0 time-out (negative: wait for ever), -1 error.
int WaitOne(int fd, bool for_write, int timeout_ms) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(S(fd), &ready);
  FD_SET(S(fd), &failed);
  timeval tv;
  tv.tv_sec = timeout_ms / 1000;
  tv.tv_usec = (timeout_ms % 1000) * 1000;
  int r = select(0, for_write ? nullptr : &ready, for_write ? &ready : nullptr, &failed,
                 timeout_ms < 0 ? nullptr : &tv);
  if (r == SOCKET_ERROR) return -1;
  return r > 0 ? 1 : 0;
}

bool SetBlocking(int fd, bool blocking) {
  u_long mode = blocking ? 0 : 1;
  return ioctlsocket(S(fd), FIONBIO, &mode) == 0;
}

uint16_t BoundPort(int fd) {
  sockaddr_in sa;
  int len = sizeof sa;
  if (fd < 0 || getsockname(S(fd), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

void CloseFd(int* fd) {
  if (*fd >= 0) {
    closesocket(S(*fd));
    *fd = -1;
  }
}

}  // namespace

int StartSocketLibrary(int major, int minor) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(major, minor), &data) != 0) return 0;
  if (LOBYTE(data.wVersion) != major || HIBYTE(data.wVersion) != minor) {
    WSACleanup();
    return -1;
  }
  return 1;
}

void StopSocketLibrary() {
  WSACleanup();
}

bool ParseIpv4(const std::string& text, uint32_t* out) {
  in_addr a;
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  *out = ntohl(a.s_addr);
  return true;
}

std::string FormatIpv4(uint32_t address) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                (address >> 8) & 0xFF, address & 0xFF);
  return buf;
}

int LastSocketError() {
  return WSAGetLastError();
}

std::string SocketErrorText(int code) {
  char buf[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ')) buf[--n] = 0;
  return n > 0 ? std::string(buf) : "socket error " + std::to_string(code);
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
  EnsureStarted();
  fd_ = Fd(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (fd_ < 0) return 0;
  // Not inherited by programs this one starts.
  SetHandleInformation(reinterpret_cast<HANDLE>(S(fd_)), HANDLE_FLAG_INHERIT, 0);
  sockaddr_in sa = MakeAddress(address, port);
  if (timeout_ms <= 0 || !SetBlocking(fd_, false)) {
    if (connect(S(fd_), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
      int reason = WSAGetLastError();
      Close();
      WSASetLastError(reason);
      return 0;
    }
    return 1;
  }
  int ok = 0;
  int reason = 0;
  if (connect(S(fd_), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    ok = 1;
  } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
    // A refused connect shows in the "failed" set, a completed one as writable.
    int w = WaitOne(fd_, true, timeout_ms);
    if (w == 1) {
      int err = 0;
      int len = sizeof err;
      if (getsockopt(S(fd_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == 0 &&
          err == 0) {
        ok = 1;
      } else {
        reason = err != 0 ? err : WSAECONNREFUSED;
      }
    } else {
      reason = w == 0 ? WSAETIMEDOUT : WSAGetLastError();
    }
  } else {
    reason = WSAGetLastError();
  }
  if (ok && !SetBlocking(fd_, true)) {
    ok = 0;
    reason = WSAGetLastError();
  }
  if (!ok) {
    // The reason stays readable through LastSocketError().
    Close();
    WSASetLastError(reason);
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
  BOOL v = on ? TRUE : FALSE;
  return fd_ >= 0 && setsockopt(S(fd_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&v),
                                sizeof v) == 0;
}

long TcpSocket::SendSome(const void* data, size_t size) {
  if (fd_ < 0) return -1;
  int chunk = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
  // Sent without blocking, so a full send buffer shows as a short count;
  // the wait for room is bounded by the send time-out (0: for ever).
  for (;;) {
    if (!SetBlocking(fd_, false)) return -1;
    int n = send(S(fd_), static_cast<const char*>(data), chunk, 0);
    int reason = n == SOCKET_ERROR ? WSAGetLastError() : 0;
    SetBlocking(fd_, true);
    if (n != SOCKET_ERROR) return static_cast<long>(n);
    if (reason != WSAEWOULDBLOCK) {
      WSASetLastError(reason);
      return -1;
    }
    int w = WaitOne(fd_, true, send_timeout_ms_ > 0 ? send_timeout_ms_ : -1);
    if (w != 1) {
      WSASetLastError(w == 0 ? WSAETIMEDOUT : WSAGetLastError());
      return -1;
    }
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
  int chunk = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
  int n = recv(S(fd_), static_cast<char*>(data), chunk, 0);
  return n == SOCKET_ERROR ? -1 : static_cast<long>(n);
}

int TcpSocket::WaitReadable(int timeout_ms) {
  if (fd_ < 0) return -1;
  return WaitOne(fd_, false, timeout_ms);
}

void TcpSocket::ShutdownBoth() {
  if (fd_ >= 0) shutdown(S(fd_), SD_BOTH);
}

void TcpSocket::Close() {
  CloseFd(&fd_);
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
  EnsureStarted();
  fd_ = Fd(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (fd_ < 0) return 0;
  // Windows' SO_REUSEADDR would let a second listener steal the port; the
  // exclusive option is what keeps a port to its one listener.
  BOOL one = TRUE;
  setsockopt(S(fd_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one),
             sizeof one);
  sockaddr_in sa = MakeAddress(address, port);
  if (bind(S(fd_), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      listen(S(fd_), backlog) != 0) {
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
  if (WaitOne(fd_, false, timeout_ms) != 1) return TcpSocket();
  return TcpSocket(Fd(accept(S(fd_), nullptr, nullptr)));
}

void TcpListener::Close() {
  CloseFd(&fd_);
}

int UdpSocket::Bind(uint32_t address, uint16_t port) {
  Close();
  EnsureStarted();
  fd_ = Fd(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (fd_ < 0) return 0;
  sockaddr_in sa = MakeAddress(address, port);
  if (bind(S(fd_), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
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
  int n = sendto(S(fd_), static_cast<const char*>(data), static_cast<int>(size), 0,
                 reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  return n == SOCKET_ERROR ? -1 : static_cast<long>(n);
}

long UdpSocket::ReceiveFrom(void* data, size_t size, int timeout_ms, uint32_t* address,
                            uint16_t* port) {
  if (fd_ < 0) return -1;
  int w = WaitOne(fd_, false, timeout_ms);
  if (w <= 0) return w;
  sockaddr_in sa;
  int len = sizeof sa;
  int n = recvfrom(S(fd_), static_cast<char*>(data), static_cast<int>(size), 0,
                   reinterpret_cast<sockaddr*>(&sa), &len);
  if (n == SOCKET_ERROR) return -1;
  if (address) *address = ntohl(sa.sin_addr.s_addr);
  if (port) *port = ntohs(sa.sin_port);
  return static_cast<long>(n);
}

void UdpSocket::Close() {
  CloseFd(&fd_);
}

}  // namespace tarvo::platform
