#include "tool/codec/stream_decode.hpp"

#include <algorithm>
#include <cstring>

#include "tool/codec/byte_scan.hpp"
#include "tool/codec/stream_framing.hpp"

namespace tarvo {

StreamDecodeResult DecodeStreamBytes(const uint8_t* in, size_t n, uint8_t* destination,
                                     size_t capacity) {
  size_t i = 0;
  size_t count = 0;
  bool escape = false;
  while (i < n) {
    if (!escape) {
      const size_t run = PlainRunLength(in + i, n - i);
      if (run > 0) {
        if (count < capacity)
          std::memcpy(destination + count, in + i, std::min(run, capacity - count));
        count += run;
        i += run;
        if (i == n) break;
      }
    }
    const uint8_t b = in[i++];
    if (b == kFrameStart) {
      count = 0;
      escape = false;
      continue;
    }
    if (b == kFrameEnd) return StreamDecodeResult{count, i, true};
    if (b == kFrameEscape && !escape) {
      escape = true;
      continue;
    }
    const uint8_t value = escape ? static_cast<uint8_t>(0xA0 | (b & 0x0F)) : b;
    escape = false;
    if (count < capacity) destination[count] = value;
    ++count;
  }
  return StreamDecodeResult{count, i, false};
}

}  // namespace tarvo
