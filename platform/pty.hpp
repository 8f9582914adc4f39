// Pseudo-terminals: the controller simulator's serial line.
//
// A PseudoTerminal owns the master end and keeps the slave end open itself,
// so the pair survives while a serial port under test opens and closes the
// slave device. Both ends are in raw mode (no echo, no line editing, 8 data
// bits): a terminal that echoed would hand the simulator its own replies.
// Results: 1/0 for operations, counts >= 0 for transfers and -1 on an error.
// Nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarvo::platform {

// One open terminal descriptor (a master, or a slave device opened by path).
class TerminalEnd {
 public:
  TerminalEnd() = default;
  explicit TerminalEnd(int fd) : fd_(fd) {}
  ~TerminalEnd() { Close(); }
  TerminalEnd(TerminalEnd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  TerminalEnd& operator=(TerminalEnd&& o) noexcept;
  TerminalEnd(const TerminalEnd&) = delete;
  TerminalEnd& operator=(const TerminalEnd&) = delete;

  // Opens a terminal device for reading and writing, without making it the
  // controlling terminal, and puts it in raw mode. 1 or 0.
  int OpenDevice(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Returns at once with the bytes already waiting (at most `capacity`);
  // otherwise waits up to timeout_ms for the first one. 0 on silence, -1 on
  // an error.
  long Read(uint8_t* destination, size_t capacity, int timeout_ms);
  // Writes every byte: 1, or 0 when a write fails or the terminal takes no
  // byte for a second (nobody reads the other end).
  int WriteAll(const uint8_t* data, size_t size);
  void Close();

 private:
  int fd_ = -1;
};

// Switches an open terminal to raw mode. 1 or 0.
int SetTerminalRaw(int fd);

class PseudoTerminal {
 public:
  // Creates a new master/slave pair in raw mode. 1 or 0.
  int Create();
  bool IsOpen() const { return master_.IsOpen(); }
  // Device path of the slave end ("/dev/pts/N"), "" when closed.
  const std::string& SlavePath() const { return slave_path_; }
  TerminalEnd& master() { return master_; }
  void Close();

 private:
  TerminalEnd master_;
  TerminalEnd held_slave_;
  std::string slave_path_;
};

}  // namespace tarvo::platform
