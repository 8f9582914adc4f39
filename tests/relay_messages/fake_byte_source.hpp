// Byte sources for the frame tests: one that hands out a stream in chunks of
// at most a given size (1 = one byte at a time) and one that fails after a
// given number of bytes.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "relay/messages/byte_source.hpp"

namespace zv::test {

class ChunkedSource : public IByteSource {
 public:
  ChunkedSource(std::vector<uint8_t> stream, size_t chunk)
      : stream_(std::move(stream)), chunk_(chunk) {}

  // Gathers `size` bytes in chunks, like a socket loop; short when the stream
  // ends (a closed connection) or after `fail_after` bytes (-1 if nothing was read).
  int ReceiveExact(uint8_t* buffer, int size) override {
    ++calls;
    if (size < 0) return -1;
    int total = 0;
    while (total < size) {
      if (pos_ >= stream_.size() || pos_ >= fail_after)
        return total == 0 && pos_ >= fail_after ? -1 : total;
      size_t n = std::min(
          {chunk_, static_cast<size_t>(size - total), stream_.size() - pos_, fail_after - pos_});
      std::memcpy(buffer + total, stream_.data() + pos_, n);
      pos_ += n;
      total += static_cast<int>(n);
      ++reads;
    }
    return total;
  }

  size_t consumed() const { return pos_; }
  size_t fail_after = static_cast<size_t>(-1);
  int calls = 0;
  int reads = 0;

 private:
  std::vector<uint8_t> stream_;
  size_t chunk_;
  size_t pos_ = 0;
};

}  // namespace zv::test
