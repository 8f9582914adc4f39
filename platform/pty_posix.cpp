// POSIX implementation of platform/pty.hpp.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/pty.hpp"

namespace tarvo::platform {

int SetTerminalRaw(int fd) {
  termios t;
  if (tcgetattr(fd, &t) != 0) return 0;
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &t) == 0 ? 1 : 0;
}

TerminalEnd& TerminalEnd::operator=(TerminalEnd&& o) noexcept {
  if (this != &o) {
    Close();
    fd_ = o.fd_;
    o.fd_ = -1;
  }
  return *this;
}

int TerminalEnd::OpenDevice(const std::string& path) {
  Close();
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return 0;
  if (SetTerminalRaw(fd) == 0) {
    ::close(fd);
    return 0;
  }
  fd_ = fd;
  return 1;
}

long TerminalEnd::Read(uint8_t* destination, size_t capacity, int timeout_ms) {
  if (fd_ < 0) return -1;
  if (capacity == 0) return 0;
  pollfd p{fd_, POLLIN, 0};
  for (;;) {
    int r = ::poll(&p, 1, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) return 0;
    break;
  }
  // A master whose slave has no open descriptor reports POLLHUP and EIO;
  // this pair keeps its slave open, so that means a real failure.
  for (;;) {
    ssize_t n = ::read(fd_, destination, capacity);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    return n < 0 ? -1 : static_cast<long>(n);
  }
}

int TerminalEnd::WriteAll(const uint8_t* data, size_t size) {
  if (fd_ < 0) return 0;
  while (size > 0) {
    ssize_t n = ::write(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd_, POLLOUT, 0};
      if (::poll(&p, 1, 1000) <= 0) return 0;
      continue;
    }
    if (n <= 0) return 0;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 1;
}

void TerminalEnd::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

int PseudoTerminal::Create() {
  Close();
  int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m < 0) return 0;
  TerminalEnd master(m);
  // Non-blocking: when nobody reads the slave and its queue is full, a write
  // gives up after a bounded wait instead of blocking its thread for good.
  const int flags = ::fcntl(m, F_GETFL, 0);
  if (flags < 0 || ::fcntl(m, F_SETFL, flags | O_NONBLOCK) != 0) return 0;
  if (::grantpt(m) != 0 || ::unlockpt(m) != 0) return 0;
  char name[128];
  if (::ptsname_r(m, name, sizeof name) != 0) return 0;
  TerminalEnd slave;
  if (slave.OpenDevice(name) == 0) return 0;
  if (SetTerminalRaw(m) == 0) return 0;
  master_ = std::move(master);
  held_slave_ = std::move(slave);
  slave_path_ = name;
  return 1;
}

void PseudoTerminal::Close() {
  held_slave_.Close();
  master_.Close();
  slave_path_.clear();
}

}  // namespace tarvo::platform
