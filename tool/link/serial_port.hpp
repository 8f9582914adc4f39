// The serial port record of the "RS232/485" medium: its configuration from a
// port name and a settings text, the open device, the pacing of writes and
// the bounded read that feeds the receive ring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>

#include "platform/serial.hpp"
#include "tool/link/rx_ring.hpp"

namespace tarvo {

// Port name -> device path, e.g. {"COM3", "/dev/ttyUSB0"} from the settings
// file's PORTS section.
using PortMap = std::map<std::string, std::string>;

// Every wait of the serial medium. The defaults are the production values;
// tests shorten them.
struct SerialTiming {
  int read_timeout_ms = 10000;     // longest wait for the first byte of one read
  int reply_limit_ms = 10000;      // longest time one reply takes from its first byte
  int event_wait_ms = 1000;        // longest single wait on the device inside one read
  int write_timeout_ms = 10000;    // longest wait for one piece to be taken
  int piece_pause_ms = 20;         // pause between two pieces of one frame
  size_t whole_piece_limit = 128;  // a remainder up to this many bytes goes out at once
  size_t piece_size = 100;         // otherwise this many bytes go out
};

// Line settings parsed from the settings text.
struct SerialLine {
  uint32_t baud = 0;
  int byte_size = 0;
  int parity = platform::kParityNone;
  int stop_bits = platform::kStopBitsOne;
};

inline constexpr size_t kSerialReceiveBufferSize = 1100;

struct SerialPort {
  int state = 0;              // 1 after ConfigureSerialPort, 0 after a successful close
  std::string port_name;      // as given, e.g. "COM3"
  std::string device_path;    // the device that open uses
  std::string settings_text;  // copy of the text given to ConfigureSerialPort
  SerialLine line;
  uint32_t bytes_written = 0;
  uint32_t bytes_read = 0;
  SerialTiming timing;
  platform::SerialDevice device;
  RxRing ring;
  // Where the "FAIL: ..." diagnostic lines go; standard error when null, so
  // they never mix with what a program prints as its result.
  std::ostream* diagnostics = nullptr;
};

// Device of a port name: a path starting with '/' is used as it is; a name
// found in `ports` gives the mapped device; "COMn" (n >= 1) gives
// the system's numbered port (/dev/ttyS(n-1); \\.\COMn on Windows); anything
// else gives "" (which open refuses).
std::string ResolveSerialDevice(const std::string& port_name, const PortMap& ports);

// Parses "baud,bits,parity,stop" (separated by any of space, comma, tab and
// newline): a non-number gives 0, parity N/O/E/M/S as whole tokens (anything
// else none), stop "1", "1.5", "2" (anything else one).
SerialLine ParseSerialSettings(const std::string& settings_text);

// Resets the record for the next open: device path, settings text, line,
// counters, state := 1. Closes a device still open from an earlier
// operation. Keeps timing and diagnostics. Always 1; it does not touch the
// device.
int ConfigureSerialPort(SerialPort& port, const std::string& port_name,
                        const std::string& settings_text, const PortMap& ports = {});

// Opens and configures the device, purges it. 1 or 0 (with a FAIL line when
// the line settings are refused).
int OpenSerialPort(SerialPort& port);
// 1 when closed, 0 (with a FAIL line) when closing failed.
int CloseSerialPort(SerialPort& port);
// Writes a frame in pieces (see SerialTiming). 1 when every byte went out.
int WriteSerialPort(SerialPort& port, const uint8_t* bytes, size_t count);
// One bounded read of at most kSerialReceiveBufferSize bytes into
// `destination` (which holds at least `capacity` bytes): the count, 0 when
// nothing arrived or the device failed. It waits up to `timeout_ms` for the
// first byte (below 0: the port's read_timeout_ms).
size_t ReadSerialPort(SerialPort& port, uint8_t* destination, size_t capacity, int timeout_ms = -1);

// Size of the piece that goes out next when `remaining` bytes are left.
size_t NextSerialPiece(const SerialTiming& timing, size_t remaining);

}  // namespace tarvo
