// Every message decoder over arbitrary bodies: the first byte picks the type
// code, the rest is the body.
#include "fuzz/relay_messages/fuzz_roundtrip.hpp"
#include "relay/messages/relay_msg.hpp"

namespace {

const uint16_t kTypes[] = {0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007,
                           0x0F01, 0x0F02, 0x0F03, 0x0F04, 0x0F05, 0x0F06, 0x0F07};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint16_t type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
  // Exactly sized copy so any read past the body is caught.
  std::vector<uint8_t> body(data + 1, data + size);
  auto msg = zv::CreateRelayMsg(type);
  zv::fuzz::Require(msg != nullptr);
  const int ok = msg->Decode(body.data(), static_cast<int>(body.size()));
  msg->Describe();
  msg->Check();
  if (ok) zv::fuzz::CheckStableRoundTrip(*msg, [type] { return zv::CreateRelayMsg(type); });
  return 0;
}
