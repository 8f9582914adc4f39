// POSIX implementation of platform/serial.hpp (termios).
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/clock.hpp"
#include "platform/serial.hpp"

namespace tarvo::platform {
namespace {

bool BaudCode(uint32_t baud, speed_t* out) {
  switch (baud) {
    case 1200:
      *out = B1200;
      return true;
    case 2400:
      *out = B2400;
      return true;
    case 4800:
      *out = B4800;
      return true;
    case 9600:
      *out = B9600;
      return true;
    case 19200:
      *out = B19200;
      return true;
    case 38400:
      *out = B38400;
      return true;
    case 57600:
      *out = B57600;
      return true;
    case 115200:
      *out = B115200;
      return true;
    case 230400:
      *out = B230400;
      return true;
    default:
      return false;
  }
}

bool SizeFlag(int byte_size, tcflag_t* out) {
  switch (byte_size) {
    case 5:
      *out = CS5;
      return true;
    case 6:
      *out = CS6;
      return true;
    case 7:
      *out = CS7;
      return true;
    case 8:
      *out = CS8;
      return true;
    default:
      return false;
  }
}

// Raw mode: no line editing, no echo, no translation, no signals, reads
// return whatever has arrived (the waiting is done with poll).
void MakeRaw(termios* t) {
  cfmakeraw(t);
  t->c_cflag |= CLOCAL | CREAD;
  t->c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  t->c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
  t->c_cc[VMIN] = 0;
  t->c_cc[VTIME] = 0;
}

int PollOne(int fd, short events, int timeout_ms, short* revents) {
  pollfd p{fd, events, 0};
  for (;;) {
    int r = poll(&p, 1, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    *revents = p.revents;
    return r;
  }
}

}  // namespace

std::string NumberedSerialPortPath(int number) {
  return number >= 1 ? "/dev/ttyS" + std::to_string(number - 1) : std::string();
}

SerialDevice& SerialDevice::operator=(SerialDevice&& o) noexcept {
  if (this != &o) {
    Close();
    fd_ = o.fd_;
    error_ = o.error_;
    o.fd_ = -1;
  }
  return *this;
}

void SerialDevice::Adopt(int fd) {
  Close();
  fd_ = fd;
}

int SerialDevice::Open(const std::string& path) {
  Close();
  if (path.empty()) {
    error_ = ENOENT;
    return 0;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error_ = errno;
    return 0;
  }
  if (!isatty(fd)) {
    error_ = ENOTTY;
    ::close(fd);
    return 0;
  }
  // No sharing: a second opener is refused while this one holds the port.
  ioctl(fd, TIOCEXCL);
  termios t{};
  if (tcgetattr(fd, &t) != 0) {
    error_ = errno;
    ::close(fd);
    return 0;
  }
  MakeRaw(&t);
  if (tcsetattr(fd, TCSANOW, &t) != 0) {
    error_ = errno;
    ::close(fd);
    return 0;
  }
  fd_ = fd;
  return 1;
}

int SerialDevice::Configure(uint32_t baud, int byte_size, int parity, int stop_bits) {
  if (fd_ < 0) {
    error_ = EBADF;
    return 0;
  }
  speed_t speed;
  tcflag_t size;
  if (!BaudCode(baud, &speed) || !SizeFlag(byte_size, &size)) {
    error_ = EINVAL;
    return 0;
  }
  termios t{};
  if (tcgetattr(fd_, &t) != 0) {
    error_ = errno;
    return -1;
  }
  MakeRaw(&t);
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
  t.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
  t.c_cflag |= size;
  switch (parity) {
    case kParityOdd:
      t.c_cflag |= PARENB | PARODD;
      break;
    case kParityEven:
      t.c_cflag |= PARENB;
      break;
#ifdef CMSPAR
    case kParityMark:
      t.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case kParitySpace:
      t.c_cflag |= PARENB | CMSPAR;
      break;
#endif
    default:
      break;
  }
  if (stop_bits == kStopBitsTwo || stop_bits == kStopBitsOneAndHalf) t.c_cflag |= CSTOPB;
  if (tcsetattr(fd_, TCSANOW, &t) != 0) {
    error_ = errno;
    return 0;
  }
  return 1;
}

int SerialDevice::Purge() {
  if (fd_ < 0) return 0;
  if (tcflush(fd_, TCIOFLUSH) != 0) {
    error_ = errno;
    return 0;
  }
  return 1;
}

long SerialDevice::Write(const uint8_t* data, size_t size, int timeout_ms) {
  if (fd_ < 0) {
    error_ = EBADF;
    return -1;
  }
  const int64_t deadline = MonotonicMs() + timeout_ms;
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd_, data + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      error_ = errno;
      return -1;
    }
    int64_t left = deadline - MonotonicMs();
    short revents = 0;
    if (left <= 0 || PollOne(fd_, POLLOUT, static_cast<int>(left), &revents) <= 0) {
      error_ = ETIMEDOUT;
      return -1;
    }
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
      error_ = EIO;
      return -1;
    }
  }
  return static_cast<long>(done);
}

long SerialDevice::Read(uint8_t* destination, size_t capacity, int timeout_ms) {
  if (fd_ < 0) {
    error_ = EBADF;
    return -1;
  }
  if (capacity == 0) return 0;
  // A raw tty read never blocks (VMIN = VTIME = 0) and returns 0 both for
  // "nothing yet" and for a hang-up, so poll tells the two apart first.
  short revents = 0;
  int r = PollOne(fd_, POLLIN, timeout_ms < 0 ? 0 : timeout_ms, &revents);
  if (r < 0) {
    error_ = errno;
    return -1;
  }
  if (r == 0) return 0;
  if (revents & POLLIN) {
    ssize_t n = ::read(fd_, destination, capacity);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 0;
    // Readable but no bytes: the other end went away.
    error_ = n < 0 ? errno : EIO;
    return -1;
  }
  if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
    error_ = EIO;
    return -1;
  }
  return 0;
}

int SerialDevice::Close() {
  if (fd_ < 0) return 1;
  ioctl(fd_, TIOCNXCL);
  int r = ::close(fd_);
  fd_ = -1;
  if (r != 0) {
    error_ = errno;
    return 0;
  }
  return 1;
}

int OpenPtyPair(PtyPair* pair) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return 0;
  if (grantpt(master) != 0 || unlockpt(master) != 0) {
    ::close(master);
    return 0;
  }
  char name[128];
  if (ptsname_r(master, name, sizeof name) != 0) {
    ::close(master);
    return 0;
  }
  int flags = fcntl(master, F_GETFL);
  fcntl(master, F_SETFL, flags | O_NONBLOCK);
  pair->master.Adopt(master);
  pair->slave_path = name;
  int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave < 0) return 0;
  termios t{};
  if (tcgetattr(slave, &t) == 0) {
    MakeRaw(&t);
    tcsetattr(slave, TCSANOW, &t);
  }
  pair->held_slave.Adopt(slave);
  return 1;
}

}  // namespace tarvo::platform
