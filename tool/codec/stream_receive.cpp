#include "tool/codec/stream_receive.hpp"

#include "tool/codec/stream_framing.hpp"

namespace tarvo {

size_t ReceiveStreamPacket(const ByteSource& next_byte, int max_idle, uint8_t* destination,
                           size_t capacity) {
  StreamDecoder decoder(destination, capacity);
  int idle = 0;
  for (;;) {
    uint8_t b = 0;
    if (!next_byte(&b)) {
      if (++idle >= max_idle) return 0;
      continue;
    }
    if (decoder.Feed(b) != StreamDecoder::Step::kComplete) continue;
    if (decoder.overflowed()) return 0;
    const size_t count = decoder.count();
    if (count < capacity) destination[count] = 0;
    return count;
  }
}

}  // namespace tarvo
