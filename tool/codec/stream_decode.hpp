// Decoding the stream framing from a whole buffer at once (gateway data,
// "Zv GPRS" envelopes). Same rules as StreamDecoder: a start byte restarts
// the packet, an end byte completes it, 0xAA escapes the next byte; the
// plain stretches between markers are copied whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo {

struct StreamDecodeResult {
  size_t count = 0;     // packet bytes since the last start byte (may exceed capacity)
  size_t consumed = 0;  // input bytes used, up to and including the end byte
  bool complete = false;
};

// Decodes from the start of `in` until the first end byte or the end of the
// input. Only the first `capacity` packet bytes are stored.
StreamDecodeResult DecodeStreamBytes(const uint8_t* in, size_t n, uint8_t* destination,
                                     size_t capacity);

}  // namespace tarvo
