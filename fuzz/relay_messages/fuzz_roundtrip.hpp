// Round-trip checks shared by the relay fuzz targets: whatever a decoder
// accepted must encode within its stated size, and once encoded, decoding and
// encoding again must give the same bytes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace zv::fuzz {

inline void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// Encodes into an exactly sized zero-filled buffer with a guard tail that
// must stay zero.
template <class T>
std::vector<uint8_t> EncodeChecked(const T& item) {
  const int n = item.GetBodySize();
  Require(n >= 0);
  std::vector<uint8_t> buf(static_cast<size_t>(n) + 8, 0);
  item.Encode(buf.data());
  for (size_t i = static_cast<size_t>(n); i < buf.size(); ++i) Require(buf[i] == 0);
  buf.resize(static_cast<size_t>(n));
  return buf;
}

// `decoded` accepted some input; `make` creates a fresh object of its class.
template <class T, class Make>
void CheckStableRoundTrip(const T& decoded, Make make) {
  const std::vector<uint8_t> first = EncodeChecked(decoded);
  auto again = make();
  std::vector<uint8_t> copy(first);
  Require(again->Decode(copy.data(), static_cast<int>(copy.size())) != 0);
  Require(EncodeChecked(*again) == first);
}

}  // namespace zv::fuzz
