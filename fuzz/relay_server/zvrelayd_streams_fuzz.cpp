// What zvrelayd reads from its peers: user byte streams cut into relay frames
// in arbitrary chunks, card streams, and card datagrams. Nothing may be read
// outside its bytes, and every frame handed out must respect its bounds.
#include <cstdlib>

#include "relay/daemon/stream_frames.hpp"
#include "relay/messages/relay_packet.hpp"

using namespace zv::daemon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t chunk = data[0] % 17 + 1;
  const uint32_t max_body = 4096;

  CRelayFrameSplitter users(max_body);
  CCardFrameSplitter cards;
  bool users_bad = false, cards_bad = false;
  for (size_t at = 1; at < size; at += chunk) {
    size_t n = std::min(chunk, size - at);
    if (!users_bad) {
      users.Append(data + at, n);
      for (;;) {
        uint16_t type = 0;
        const uint8_t* body = nullptr;
        uint32_t length = 0;
        SplitResult r = users.Next(&type, &body, &length);
        if (r == SplitResult::kBad) users_bad = true;
        if (r != SplitResult::kFrame) break;
        if (length == 0 || length > max_body) std::abort();
        zv::CRelayPacket packet(type);
        if (zv::CRelayMsg* m = packet.GetMessage()) {
          m->Decode(body, static_cast<int>(length));
          m->Describe();
        }
        users.Consume();
      }
    }
    if (!cards_bad) {
      cards.Append(data + at, n);
      for (;;) {
        const uint8_t* frame = nullptr;
        size_t length = 0;
        SplitResult r = cards.Next(&frame, &length);
        if (r == SplitResult::kBad) cards_bad = true;
        if (r != SplitResult::kFrame) break;
        if (length < kCardIdLength + 2) std::abort();
        if (CardFrameId(frame).size() != kCardIdLength) std::abort();
        cards.Consume();
      }
    }
  }
  UdpCardDatagram d;
  if (ParseUdpCardDatagram(data, size, &d)) {
    if (d.device_id.empty() || d.device_id.size() > kMaxUdpDeviceIdDigits) std::abort();
  }
  return 0;
}
