// Little- and big-endian field helpers and a bounds-checked reader/writer.
//
// Every wire field of the controller and relay protocols goes through these
// helpers, so byte order never depends on the host and no decoder reads past
// the bytes it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tarvo::wire {

inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t GetBe32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint16_t GetBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// Reads fields from a fixed byte range. Once a read would pass the end, the
// reader is marked failed, returns zeros from then on and never touches
// memory outside the range; callers check ok() once at the end.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t remaining() const { return ok_ ? size_ - pos_ : 0; }
  bool Has(size_t n) const { return ok_ && n <= size_ - pos_; }

  uint8_t U8() {
    if (!Need(1)) return 0;
    return data_[pos_++];
  }
  uint16_t Le16() {
    if (!Need(2)) return 0;
    uint16_t v = GetLe16(data_ + pos_);
    pos_ += 2;
    return v;
  }
  uint32_t Le32() {
    if (!Need(4)) return 0;
    uint32_t v = GetLe32(data_ + pos_);
    pos_ += 4;
    return v;
  }
  // Copies n bytes out; on failure the destination is left untouched.
  bool Bytes(uint8_t* out, size_t n) {
    if (!Need(n)) return false;
    if (n) std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
  }
  bool Skip(size_t n) {
    if (!Need(n)) return false;
    pos_ += n;
    return true;
  }
  const uint8_t* Here() const { return data_ + pos_; }

 private:
  bool Need(size_t n) {
    if (!ok_ || n > size_ - pos_) {
      ok_ = false;
      return false;
    }
    return true;
  }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Appends fields to a growable byte vector.
class Writer {
 public:
  explicit Writer(std::vector<uint8_t>& out) : out_(out) {}
  void U8(uint8_t v) { out_.push_back(v); }
  void Le16(uint16_t v) {
    uint8_t b[2];
    PutLe16(b, v);
    out_.insert(out_.end(), b, b + 2);
  }
  void Le32(uint32_t v) {
    uint8_t b[4];
    PutLe32(b, v);
    out_.insert(out_.end(), b, b + 4);
  }
  void Be32(uint32_t v) {
    uint8_t b[4];
    PutBe32(b, v);
    out_.insert(out_.end(), b, b + 4);
  }
  void Bytes(const uint8_t* p, size_t n) { out_.insert(out_.end(), p, p + n); }
  void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }
  // Text followed by its terminating zero byte.
  void CString(const std::string& s) {
    out_.insert(out_.end(), s.begin(), s.end());
    out_.push_back(0);
  }
  size_t size() const { return out_.size(); }

 private:
  std::vector<uint8_t>& out_;
};

// Text of a zero-terminated field of at most `width` bytes (stops at the
// first zero or at the width, whichever comes first).
inline std::string FixedText(const uint8_t* p, size_t width) {
  size_t n = 0;
  while (n < width && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace tarvo::wire
