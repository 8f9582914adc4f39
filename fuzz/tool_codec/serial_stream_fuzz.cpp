// Line bytes through the serial receive path: the ring (refilled in chunks
// whose sizes come from the input) and the stream reception. Nothing may be
// written past the reply buffer, and a completed packet must fit it.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "tool/codec/stream_receive.hpp"
#include "tool/link/rx_ring.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t capacity = (static_cast<size_t>(data[0]) << 3) % 2100 + 1;
  const size_t chunk = data[1] % 200 + 1;
  data += 2;
  size -= 2;
  tarvo::RxRing ring;
  size_t pos = 0;
  tarvo::RxRing::Source source = [&](uint8_t* buf, size_t cap) {
    size_t n = std::min({chunk, size - pos, cap});
    std::copy(data + pos, data + pos + n, buf);
    pos += n;
    return n;
  };
  std::vector<uint8_t> out(capacity);
  while (pos < size || !ring.Empty()) {
    tarvo::ByteSource next = [&](uint8_t* b) { return ring.NextByte(b, source); };
    size_t n = tarvo::ReceiveStreamPacket(next, 3, out.data(), out.size());
    if (n > capacity) std::abort();
    if (n == 0 && pos >= size && ring.Empty()) break;
  }
  return 0;
}
