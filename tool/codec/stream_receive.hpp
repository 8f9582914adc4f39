// Receiving one stream-framed packet from a byte source that may run dry
// (the serial receive ring).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tarvo {

// Gives one byte: 1 with a byte, 0 when none could be had this time.
using ByteSource = std::function<int(uint8_t* out)>;

// Takes bytes until an end byte completes a packet; a start byte restarts
// it. Every time the source gives nothing counts as one idle read, and the
// reply is abandoned after `max_idle` of them (not reset by arriving bytes,
// so one reply never takes longer than max_idle bounded reads). Returns the
// packet length with a zero byte after it when there is room; 0 on silence,
// for an empty frame or a packet longer than `capacity`.
size_t ReceiveStreamPacket(const ByteSource& next_byte, int max_idle, uint8_t* destination,
                           size_t capacity);

}  // namespace tarvo
