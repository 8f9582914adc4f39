// Arbitrary gateway message records: the decoder must stay inside the
// record's data and the destination, whatever the length field claims.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tool/codec/gateway_frame.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t capacity = data[0] * 8u + 1;
  tarvo::DccMessage message;
  std::memset(&message, 0, sizeof message);
  std::memcpy(&message, data + 1, std::min(size - 1, sizeof message));
  std::vector<uint8_t> out(capacity);
  size_t n = tarvo::DecodeGatewayMessage(message, out.data(), out.size());
  if (n > capacity) std::abort();
  return 0;
}
