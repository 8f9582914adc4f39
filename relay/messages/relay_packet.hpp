// Relay frame: the 14-byte header ("ZVMSGPUB", type code LE16, body length
// LE32) followed by one message body, and the packet object that owns a
// message and the frame built from it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "relay/messages/byte_source.hpp"
#include "relay/messages/relay_msg.hpp"

namespace zv {

inline constexpr int kRelayHeaderSize = 14;
inline constexpr char kRelayMagic[8] = {'Z', 'V', 'M', 'S', 'G', 'P', 'U', 'B'};
// Largest body accepted or built. Anything longer is refused before any
// buffer is allocated for it, so a peer cannot make us reserve gigabytes.
inline constexpr int32_t kMaxRelayBody = 16 * 1024 * 1024;

struct RelayHeader {
  uint16_t type = 0;
  int32_t body_length = 0;
};

// Writes the header for a body of `body_length` bytes.
void PutRelayHeader(uint8_t* out, uint16_t type, int32_t body_length);
// Reads a header: 1 when the magic matches and 0 < body length <=
// kMaxRelayBody, else 0. The type code is not checked against the table.
int ParseRelayHeader(const uint8_t* header, RelayHeader& out);

class CRelayPacket {
 public:
  // Creates the message for `type`; 0 makes an empty packet for a receive.
  explicit CRelayPacket(uint16_t type = 0) { Create(type); }

  // Replaces the message with a new default one of the class for `type`;
  // leaves the packet without a message for a code outside the table.
  void Create(uint16_t type);
  // Takes an existing message (such as an answer filled by Process).
  void SetMessage(std::unique_ptr<CRelayMsg> message) { message_ = std::move(message); }
  CRelayMsg* GetMessage() const { return message_.get(); }
  // The message's type code, or 0 without a message.
  uint16_t GetType() const { return message_ ? message_->GetType() : 0; }

  // Builds the frame of the held message. Returns the frame (owned by the
  // packet, valid until the next Build or the packet's end) and sets `length`
  // to header + body; returns none with length 0 without a message, for an
  // empty body or a body above kMaxRelayBody.
  const uint8_t* Build(int& length);

 private:
  std::unique_ptr<CRelayMsg> message_;
  std::vector<uint8_t> frame_;
};

// Takes one frame off `source` into `packet`: header, magic, message for the
// type, body length (1..kMaxRelayBody), body, Decode. Returns the Decode
// result, or 0 on any failure. After a bad header the body is not read; the
// packet keeps the message created for the type (if any).
int ReceiveFrame(IByteSource& source, CRelayPacket& packet);

}  // namespace zv
