// Serial devices (termios) and pseudo-terminal pairs.
//
// A SerialDevice is one open tty in raw mode. Results follow the project's
// convention: 1/0 for operations, counts >= 0 for transfers and -1 on an
// error; the errno of the last failure is kept in LastError(). Nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvo::platform {

// Parity and stop-bit codes as the line settings store them.
inline constexpr int kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3,
                     kParitySpace = 4;
inline constexpr int kStopBitsOne = 0, kStopBitsOneAndHalf = 1, kStopBitsTwo = 2;

class SerialDevice {
 public:
  SerialDevice() = default;
  ~SerialDevice() { Close(); }
  SerialDevice(SerialDevice&& o) noexcept : fd_(o.fd_), error_(o.error_) { o.fd_ = -1; }
  SerialDevice& operator=(SerialDevice&& o) noexcept;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens the device for reading and writing without making it the
  // controlling terminal, exclusive and in raw mode. 1 or 0.
  int Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }

  // Baud rate, data bits (5-8), parity and stop bits (codes above). A baud
  // rate the system does not know is refused. One and a half stop bits do not
  // exist on POSIX ttys and are set as two. 1 when set, 0 when the settings
  // were refused, -1 when the device's current settings cannot be read.
  int Configure(uint32_t baud, int byte_size, int parity, int stop_bits);
  // Discards whatever waits in both directions. 1 or 0.
  int Purge();
  // Writes every byte, waiting at most timeout_ms in total for the device to
  // take them: the count written (== size on success), or -1 on an error or
  // when the time ran out first.
  long Write(const uint8_t* data, size_t size, int timeout_ms);
  // Returns at once with the bytes already waiting (at most `capacity`);
  // when none wait, waits up to timeout_ms for the first one. 0 on silence,
  // -1 on an error or when the other end went away.
  long Read(uint8_t* destination, size_t capacity, int timeout_ms);
  // 1 when the descriptor was closed (or none was open), 0 when close failed.
  int Close();

  int LastError() const { return error_; }
  // Takes ownership of an already open descriptor.
  void Adopt(int fd);

 private:
  int fd_ = -1;
  int error_ = 0;
};

// The device of the numbered port "COMn": /dev/ttyS(n-1), the kernel's own
// name for that port, on POSIX; \\.\COMn on Windows. "" for n < 1.
std::string NumberedSerialPortPath(int number);

// A pseudo-terminal pair: `master` is the controller's end, `slave_path`
// the device a serial port opens. The slave is also held open here (in raw
// mode) so that the pair survives while the port under test opens and
// closes its own descriptor. 1 or 0 (always 0 on Windows, which has none).
struct PtyPair {
  SerialDevice master;
  SerialDevice held_slave;
  std::string slave_path;
};
int OpenPtyPair(PtyPair* pair);

}  // namespace tarvo::platform
