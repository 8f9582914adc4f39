// Helpers shared by the link tests: reading a pseudo-terminal's master end
// with a deadline, and reply packets.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.hpp"
#include "platform/serial.hpp"
#include "tool/codec/packet.hpp"

namespace tarvo::test {

using Bytes = std::vector<uint8_t>;

// Reads from `dev` until `count` bytes arrived or `timeout_ms` passed.
inline Bytes ReadAtLeast(platform::SerialDevice& dev, size_t count, int timeout_ms) {
  Bytes out;
  const int64_t deadline = platform::MonotonicMs() + timeout_ms;
  uint8_t buf[4096];
  while (out.size() < count) {
    int64_t left = deadline - platform::MonotonicMs();
    if (left <= 0) break;
    long n = dev.Read(buf, sizeof buf, static_cast<int>(left));
    if (n < 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

// A reply packet: E8, type, id, command, flag, payload, checksum.
inline Bytes Reply(uint8_t command, const Bytes& payload_from_5, uint8_t id = 0xFF) {
  Bytes p = {kReplyStart, kControllerTypeCode, id, command, 0x01};
  p.insert(p.end(), payload_from_5.begin(), payload_from_5.end());
  p.resize(p.size() + 2);
  AppendChecksum(p.data(), p.size() - 2);
  return p;
}

}  // namespace tarvo::test
