// Blocking IPv4 TCP and UDP sockets with bounded waits.
//
// Results follow the project's convention: counts >= 0 on success, -1 on an
// error (errno kept in LastError()). Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvo::platform {

// Starts the system's socket library for this process at version
// major.minor: 1 started, 0 it failed to start, -1 it grants an older
// version (it is released again then). Only Windows has such a library;
// elsewhere this is always 1. Sockets made without it still work: each
// system starts what it needs at the first socket.
int StartSocketLibrary(int major, int minor);
// Releases one successful StartSocketLibrary.
void StopSocketLibrary();

// Dotted IPv4 text <-> 32-bit value whose most significant byte is the first octet.
bool ParseIpv4(const std::string& text, uint32_t* out);
std::string FormatIpv4(uint32_t address);

// Last socket error of this thread as a number and as text.
int LastSocketError();
std::string SocketErrorText(int code);

class TcpSocket {
 public:
  TcpSocket() = default;
  explicit TcpSocket(int fd) : fd_(fd) {}
  ~TcpSocket() { Close(); }
  TcpSocket(TcpSocket&& o) noexcept : fd_(o.fd_), send_timeout_ms_(o.send_timeout_ms_) {
    o.fd_ = -1;
  }
  TcpSocket& operator=(TcpSocket&& o) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Creates the socket and connects to address:port. With timeout_ms > 0 the
  // connect is bounded (non-blocking connect, wait for writability, back to
  // blocking); with 0 it is a plain blocking connect. Returns 1 or 0.
  // 1 or 0; after 0, LastSocketError() says why (ETIMEDOUT for the bound).
  int Connect(uint32_t address, uint16_t port, int timeout_ms);

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Socket-level time-outs for each send/recv call; 0 means wait forever.
  bool SetSendTimeout(int ms);
  bool SetReceiveTimeout(int ms);
  bool SetNoDelay(bool on);

  // One send call: bytes written, or -1 on error (including the time-out).
  // Like a POSIX send, a call that runs into the send time-out after part of
  // the data went out reports that part (Winsock would only fail the call,
  // with the connection's state unknown, so there it is sent without
  // blocking and the wait is bounded here).
  long SendSome(const void* data, size_t size);
  // Sends until every byte is written: 1, or 0 when a send fails.
  int SendAll(const void* data, size_t size);
  // One recv call: bytes read, 0 when the peer closed, -1 on error or time-out.
  long ReceiveSome(void* data, size_t size);
  // Waits until data (or a close) is readable: 1 readable, 0 time-out, -1 error.
  int WaitReadable(int timeout_ms);

  void ShutdownBoth();
  void Close();
  // Releases ownership of the descriptor without closing it.
  int Release();

  // Local and peer port/address of a connected socket.
  uint16_t LocalPort() const;

 private:
  int fd_ = -1;
  int send_timeout_ms_ = 0;
};

class TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener() { Close(); }
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Binds address:port (port 0 picks a free one) and listens. Returns 1 or 0.
  int Listen(uint32_t address, uint16_t port, int backlog = 64);
  uint16_t Port() const;
  int fd() const { return fd_; }
  // Waits up to timeout_ms (-1 forever) for a connection. Returns an open
  // socket, or a closed one on time-out or error.
  TcpSocket Accept(int timeout_ms);
  void Close();

 private:
  int fd_ = -1;
};

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket() { Close(); }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Opens a socket bound to address:port (port 0 picks a free one). 1 or 0.
  int Bind(uint32_t address, uint16_t port);
  uint16_t Port() const;
  int fd() const { return fd_; }
  long SendTo(const void* data, size_t size, uint32_t address, uint16_t port);
  // Waits up to timeout_ms for a datagram: its size, 0 on time-out, -1 on error.
  long ReceiveFrom(void* data, size_t size, int timeout_ms, uint32_t* address, uint16_t* port);
  void Close();

 private:
  int fd_ = -1;
};

}  // namespace tarvo::platform
