#include "tool/link/serial_port.hpp"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/clock.hpp"

namespace tarvo {
namespace {

constexpr size_t kMaxSettingsText = 35;

std::ostream& Diagnostics(const SerialPort& port) {
  return port.diagnostics ? *port.diagnostics : std::cerr;
}

// One "FAIL: ..." line with a hexadecimal or decimal number, as printf
// would format it.
void Fail(const SerialPort& port, const char* format, long value) {
  char line[96];
  std::snprintf(line, sizeof line, format, value);
  Diagnostics(port) << line << std::flush;
}

// Decimal value of a leading number, 0 when the field does not start with one.
uint32_t DecimalField(const std::string& field) {
  uint32_t v = 0;
  for (char c : field) {
    if (c < '0' || c > '9') break;
    v = v * 10 + static_cast<uint32_t>(c - '0');
    if (v > 100000000u) break;
  }
  return v;
}

}  // namespace

std::string ResolveSerialDevice(const std::string& port_name, const PortMap& ports) {
  if (!port_name.empty() && port_name[0] == '/') return port_name;
  auto it = ports.find(port_name);
  if (it != ports.end()) return it->second;
  if (port_name.size() > 3 && port_name.size() <= 5 && port_name.compare(0, 3, "COM") == 0) {
    int n = 0;
    for (size_t i = 3; i < port_name.size(); ++i) {
      char c = port_name[i];
      if (c < '0' || c > '9') return "";
      n = n * 10 + (c - '0');
    }
    if (n >= 1) return platform::NumberedSerialPortPath(n);
  }
  return "";
}

SerialLine ParseSerialSettings(const std::string& settings_text) {
  std::string fields[4];
  size_t count = 0;
  std::string current;
  auto flush = [&] {
    if (!current.empty() && count < 4) fields[count++] = current;
    current.clear();
  };
  for (char c : settings_text.substr(0, kMaxSettingsText)) {
    if (c == ' ' || c == ',' || c == '\t' || c == '\n') {
      flush();
    } else {
      current.push_back(c);
    }
  }
  flush();

  SerialLine line;
  line.baud = DecimalField(fields[0]);
  line.byte_size = static_cast<int>(DecimalField(fields[1]) & 0xFF);
  const std::string& p = fields[2];
  if (p == "O") {
    line.parity = platform::kParityOdd;
  } else if (p == "E") {
    line.parity = platform::kParityEven;
  } else if (p == "M") {
    line.parity = platform::kParityMark;
  } else if (p == "S") {
    line.parity = platform::kParitySpace;
  } else {
    line.parity = platform::kParityNone;
  }
  const std::string& s = fields[3];
  if (s == "1.5") {
    line.stop_bits = platform::kStopBitsOneAndHalf;
  } else if (s == "2") {
    line.stop_bits = platform::kStopBitsTwo;
  } else {
    line.stop_bits = platform::kStopBitsOne;
  }
  return line;
}

int ConfigureSerialPort(SerialPort& port, const std::string& port_name,
                        const std::string& settings_text, const PortMap& ports) {
  // A device left open by an earlier operation is released, not leaked.
  port.device.Close();
  port.port_name = port_name;
  port.device_path = ResolveSerialDevice(port_name, ports);
  port.settings_text = settings_text.substr(0, kMaxSettingsText);
  port.line = ParseSerialSettings(port.settings_text);
  port.bytes_written = 0;
  port.bytes_read = 0;
  port.ring.Reset();
  port.state = 1;
  return 1;
}

int OpenSerialPort(SerialPort& port) {
  if (!port.device.Open(port.device_path)) return 0;
  port.device.Purge();
  const int configured = port.device.Configure(port.line.baud, port.line.byte_size,
                                               port.line.parity, port.line.stop_bits);
  if (configured != 1) {
    const int error = port.device.LastError();
    port.device.Close();
    if (configured < 0) {
      Fail(port, "FAIL: Couldn't get the dcb: %ld\n", error);
    } else {
      Fail(port, "FAIL: cannot set the comm state rc:%lx\n", 0);
    }
    return 0;
  }
  port.ring.Reset();
  return 1;
}

int CloseSerialPort(SerialPort& port) {
  if (!port.device.Close()) {
    Fail(port, "FAIL: cannot close the comm port:%lx\n", 0);
    return 0;
  }
  port.state = 0;
  return 1;
}

size_t NextSerialPiece(const SerialTiming& timing, size_t remaining) {
  return remaining > timing.whole_piece_limit ? timing.piece_size : remaining;
}

int WriteSerialPort(SerialPort& port, const uint8_t* bytes, size_t count) {
  if (!port.device.IsOpen()) return 0;
  size_t done = 0;
  while (done < count) {
    size_t piece = NextSerialPiece(port.timing, count - done);
    if (piece == 0) piece = count - done;
    long n = port.device.Write(bytes + done, piece, port.timing.write_timeout_ms);
    if (n != static_cast<long>(piece)) {
      Fail(port, "FAIL: cannot Write To the comm port:%lx\n", 0);
      return 0;
    }
    done += piece;
    port.bytes_written += static_cast<uint32_t>(piece);
    if (done < count) platform::SleepMs(port.timing.piece_pause_ms);
  }
  return 1;
}

size_t ReadSerialPort(SerialPort& port, uint8_t* destination, size_t capacity, int timeout_ms) {
  if (!port.device.IsOpen()) return 0;
  if (capacity > kSerialReceiveBufferSize) capacity = kSerialReceiveBufferSize;
  if (timeout_ms < 0) timeout_ms = port.timing.read_timeout_ms;
  // Wait in slices so that a long read time-out still looks at the device
  // regularly; the first slice that brings bytes ends the read.
  const int64_t deadline = platform::MonotonicMs() + timeout_ms;
  for (;;) {
    int64_t left = deadline - platform::MonotonicMs();
    if (left < 0) left = 0;
    int slice = static_cast<int>(left);
    if (port.timing.event_wait_ms > 0 && slice > port.timing.event_wait_ms) {
      slice = port.timing.event_wait_ms;
    }
    long n = port.device.Read(destination, capacity, slice);
    if (n > 0) {
      port.bytes_read += static_cast<uint32_t>(n);
      return static_cast<size_t>(n);
    }
    // A device that failed or vanished gives nothing, at once.
    if (n < 0 || left == 0) return 0;
  }
}

}  // namespace tarvo
