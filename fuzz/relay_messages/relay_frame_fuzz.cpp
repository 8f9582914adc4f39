// Frames taken off an arbitrary byte stream, delivered in uneven chunks; each
// accepted frame must rebuild into a frame that is received identically.
#include <algorithm>
#include <cstring>

#include "fuzz/relay_messages/fuzz_roundtrip.hpp"
#include "relay/messages/relay_packet.hpp"

namespace {

class FuzzSource : public zv::IByteSource {
 public:
  FuzzSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int ReceiveExact(uint8_t* buffer, int size) override {
    if (size < 0) return -1;
    const size_t n = std::min(static_cast<size_t>(size), size_ - pos_);
    if (n) std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return static_cast<int>(n);
  }
  bool done() const { return pos_ >= size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zv::fuzz::Require;
  FuzzSource source(data, size);
  for (int frames = 0; frames < 64 && !source.done(); ++frames) {
    zv::CRelayPacket packet;
    if (!zv::ReceiveFrame(source, packet)) continue;
    int length = 0;
    const uint8_t* built = packet.Build(length);
    Require(built != nullptr && length > zv::kRelayHeaderSize);
    std::vector<uint8_t> frame(built, built + length);

    FuzzSource again(frame.data(), frame.size());
    zv::CRelayPacket second;
    Require(zv::ReceiveFrame(again, second) != 0);
    Require(second.GetType() == packet.GetType());
    Require(again.done());
    const uint8_t* rebuilt = second.Build(length);
    Require(rebuilt != nullptr && std::vector<uint8_t>(rebuilt, rebuilt + length) == frame);
  }
  return 0;
}
