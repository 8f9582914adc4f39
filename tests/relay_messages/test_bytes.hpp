// Small helpers for building and comparing wire bytes in the relay tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "relay/messages/record.hpp"
#include "relay/messages/relay_msg.hpp"

namespace zv::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Body as a frame would carry it: a zero-filled buffer of GetBodySize bytes
// plus a guard area that must stay untouched.
template <class T>
Bytes EncodeBody(const T& item) {
  const int n = item.GetBodySize();
  Bytes buf(static_cast<size_t>(n > 0 ? n : 0) + 16, 0);
  item.Encode(buf.data());
  for (size_t i = static_cast<size_t>(n > 0 ? n : 0); i < buf.size(); ++i) {
    if (buf[i] != 0) return Bytes{0xEE, 0xEE};  // wrote past its size
  }
  buf.resize(static_cast<size_t>(n > 0 ? n : 0));
  return buf;
}

// Decodes a copy held in its own exactly sized allocation, so reads past the
// end are caught by the address sanitizer.
template <class T>
int DecodeExact(T& item, const Bytes& body) {
  std::vector<uint8_t> copy(body);
  return item.Decode(copy.empty() ? nullptr : copy.data(), static_cast<int>(copy.size()));
}

}  // namespace zv::test
