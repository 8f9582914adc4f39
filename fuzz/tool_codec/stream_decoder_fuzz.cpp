// The stream decoder takes arbitrary line bytes: it must never write past its
// destination, and whatever it completes must re-encode to a frame that
// decodes to the same packet.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tool/codec/packet.hpp"
#include "tool/codec/stream_framing.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t cap = size % 64 + 1;
  std::vector<uint8_t> dst(cap);
  tarvo::StreamDecoder d(dst.data(), cap);
  for (size_t i = 0; i < size; ++i) {
    if (d.Feed(data[i]) == tarvo::StreamDecoder::Step::kComplete) {
      if (!d.overflowed()) {
        std::vector<uint8_t> frame(2 * d.count() + 2);
        size_t n = tarvo::EncodeStreamFrame(dst.data(), d.count(), frame.data(), frame.size());
        if (n == 0) std::abort();
        std::vector<uint8_t> again(d.count() + 1);
        tarvo::StreamDecoder d2(again.data(), again.size());
        for (size_t k = 0; k < n; ++k) d2.Feed(frame[k]);
        if (d2.count() != d.count() || std::memcmp(again.data(), dst.data(), d.count()) != 0)
          std::abort();
      }
      tarvo::CheckPacket(dst.data(), std::min(d.count(), cap));
      d.Reset();
    }
  }
  return 0;
}
