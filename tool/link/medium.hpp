// One communication medium: its own constants and its four operations. The
// connection manager picks the medium of the current CommType at each call,
// so nothing above this interface switches on the medium.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo {

class Medium {
 public:
  virtual ~Medium() = default;
  // Opens the medium for one operation. `controller_id` is the ID the user
  // chose; returns 1 or 0 and the ID that requests must carry.
  virtual int Open(uint8_t controller_id, uint8_t* effective_id) = 0;
  virtual void Close() = 0;
  // Wraps and sends one packet. 1 when the transport took it.
  virtual int SendPacket(const uint8_t* packet, size_t length) = 0;
  // One reply packet into `destination` (room for `capacity` bytes): its
  // length, 0 when there is none or it does not fit.
  virtual size_t ReceivePacket(uint8_t* destination, size_t capacity) = 0;
};

}  // namespace tarvo
