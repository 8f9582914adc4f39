// Frames taken off an arbitrary byte stream, delivered in uneven chunks; each
// accepted frame must rebuild into a frame that is received identically.
#include <algorithm>
#include <cstring>

#include "common/wire.hpp"
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

// With an odd first byte the input is turned into well-formed headers around
// fuzzed bodies ([type selector][body length][body]...), so that body decoding
// behind the frame is reached even without coverage-guided mutation.
std::vector<uint8_t> SynthesizeFrames(const uint8_t* data, size_t size) {
  static const uint16_t kTypes[] = {0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0F01,
                                    0x0F02, 0x0F03, 0x0F04, 0x0F05, 0x0F06, 0x0F07, 0x0008};
  std::vector<uint8_t> stream;
  size_t pos = 1;
  while (pos + 2 <= size) {
    const uint16_t type = kTypes[data[pos] % (sizeof kTypes / sizeof kTypes[0])];
    const size_t length = std::min<size_t>(data[pos + 1], size - pos - 2);
    pos += 2;
    uint8_t header[zv::kRelayHeaderSize];
    zv::PutRelayHeader(header, type, static_cast<int32_t>(length));
    stream.insert(stream.end(), header, header + sizeof header);
    stream.insert(stream.end(), data + pos, data + pos + length);
    pos += length;
  }
  return stream;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zv::fuzz::Require;
  std::vector<uint8_t> stream;
  if (size > 0 && (data[0] & 1)) {
    stream = SynthesizeFrames(data, size);
  } else {
    stream.assign(data, data + size);
  }
  FuzzSource source(stream.data(), stream.size());
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
