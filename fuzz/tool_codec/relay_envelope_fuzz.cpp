// Arbitrary relay answers for both routes. The configured Device ID comes
// from the input, so matching envelopes are reached too; an accepted reply
// must start with the reply byte and fit the destination.
#include <cstdlib>
#include <string>
#include <vector>

#include "tool/codec/relay_envelope.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t id_length = data[0] % 31;
  const size_t capacity = data[1] * 8u + 1;
  data += 2;
  size -= 2;
  if (size < id_length) return 0;
  std::string id(reinterpret_cast<const char*>(data), id_length);
  data += id_length;
  size -= id_length;
  std::vector<uint8_t> out(capacity);
  size_t a = tarvo::DecodeRouteOneReply(data, size, id, out.data(), out.size());
  if (a > capacity || (a > 0 && out[0] != 0xE8)) std::abort();
  size_t b = tarvo::DecodeRouteTwoReply(data, size, id, out.data(), out.size());
  if (b > capacity || (b > 0 && out[0] != 0xE8)) std::abort();
  // A request envelope decodes back to its packet when it is a reply.
  std::vector<uint8_t> env;
  if (!id.empty() && tarvo::EncodeRouteTwoRequest(id, data, size, &env)) {
    tarvo::DecodeRouteTwoReply(env.data(), env.size(), id, out.data(), out.size());
  }
  return 0;
}
