// What the servers of one database tell each other: packets for a card that
// another server holds, the card's answers for a user on another server,
// and the lock and hand-over news that keep both sides' tables alike.
//
// A message travels as one or more notifications of the database. Their
// payload is text of at most kMaxNodePayload characters, so the message's
// bytes go as base64, cut into numbered parts, each with the sender's name.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zv::daemon {

enum class NodeMessageKind : uint8_t {
  kPacket = 'P',      // user -> card's server: a packet for `device` from `user`
  kAnswer = 'A',      // card's server -> user's server: `data` is the card's frame for `user`
  kLock = 'L',        // `user` on the sender took the lock of `device` (data: a token)
  kUnlock = 'U',      // `user` on the sender gave the lock of `device` up (data: a token)
  kDone = 'K',        // the lock change with this token (data) is in the card's table
  kDisconnect = 'X',  // close what `device` names (data: what it is) - it was deleted
  kDrop = 'D',        // the sender holds `device` now: close your connection, keep its lock
  kMoved = 'M',       // `device`, locked by `user` of yours, is on the sender now
  kGone = 'G',        // `device` left the sender and its lock went with it
};

struct NodeMessage {
  NodeMessageKind kind = NodeMessageKind::kPacket;
  std::string from;  // the sending server's node name
  std::string device;
  std::string user;
  std::vector<uint8_t> data;
};

// A notification's payload must stay below 8000 bytes.
inline constexpr size_t kMaxNodePayload = 7996;
// A reassembled message holds at most a relay request body and its names.
inline constexpr size_t kMaxNodeMessage = 2 * 1024 * 1024;

// The payloads carrying `message` (names longer than 255 bytes are cut, as
// no node, user or Device ID is that long). `serial` tells the message from
// its neighbours; each payload differs, so the database never folds two
// alike notifications of one transaction into one.
std::vector<std::string> EncodeNodeMessage(const NodeMessage& message, uint32_t serial);

// Puts the parts of each sender's messages together. The parts of one
// message arrive in order (one sender's notifications keep their order);
// anything malformed, out of order or too large is dropped.
class CNodeReassembler {
 public:
  // The message a payload completes, if any.
  std::optional<NodeMessage> Feed(const std::string& payload);

 private:
  struct Partial {
    uint32_t serial = 0;
    uint16_t next = 0;
    uint16_t parts = 0;
    NodeMessageKind kind = NodeMessageKind::kPacket;
    std::vector<uint8_t> bytes;
  };
  std::map<std::string, Partial> partial_;  // by sender
};

// Standard base64 with padding; Decode answers false for anything else.
std::string Base64Encode(const uint8_t* data, size_t size);
bool Base64Decode(const std::string& text, std::vector<uint8_t>* out);

}  // namespace zv::daemon
