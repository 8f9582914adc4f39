// The serial receive ring: 2048 bytes between the port's bounded reads and
// the byte-at-a-time stream decoder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace tarvo {

class RxRing {
 public:
  static constexpr size_t kSize = 2048;
  // Fills `buffer` (room for `capacity` bytes) with what the port gives;
  // returns the count.
  using Source = std::function<size_t(uint8_t* buffer, size_t capacity)>;

  void Reset() { write_ = read_ = 0; }
  bool Empty() const { return write_ == read_; }
  size_t Count() const { return (write_ + kSize - read_) % kSize; }

  // Appends bytes at the write index, wrapping at kSize. The ring holds at
  // most kSize - 1 bytes; what does not fit is dropped and counted, never
  // written over unread bytes.
  size_t Append(const uint8_t* bytes, size_t n);
  // One byte: when the ring is empty, asks `source` once for more first.
  // 1 with a byte, 0 when none could be had.
  int NextByte(uint8_t* out, const Source& source);

  uint16_t write_index() const { return write_; }
  uint16_t read_index() const { return read_; }

 private:
  std::array<uint8_t, kSize> bytes_{};
  uint16_t write_ = 0;
  uint16_t read_ = 0;
};

}  // namespace tarvo
