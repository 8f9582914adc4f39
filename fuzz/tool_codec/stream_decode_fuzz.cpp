// The whole-buffer stream decoder must agree with the byte-at-a-time
// decoder on every input: same completion, same count, same bytes, and
// neither writes past its destination.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tool/codec/stream_decode.hpp"
#include "tool/codec/stream_framing.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t capacity = data[0] % 64 + 1;
  data += 1;
  size -= 1;
  std::vector<uint8_t> a(capacity), b(capacity);
  tarvo::StreamDecodeResult bulk = tarvo::DecodeStreamBytes(data, size, a.data(), a.size());
  tarvo::StreamDecoder d(b.data(), b.size());
  bool complete = false;
  size_t consumed = 0;
  while (consumed < size && !complete) {
    complete = d.Feed(data[consumed++]) == tarvo::StreamDecoder::Step::kComplete;
  }
  if (bulk.complete != complete || bulk.count != d.count() || bulk.consumed != consumed) {
    std::abort();
  }
  const size_t stored = std::min(bulk.count, capacity);
  if (std::memcmp(a.data(), b.data(), stored) != 0) std::abort();
  return 0;
}
