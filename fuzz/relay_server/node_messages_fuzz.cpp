// What one zvrelayd reads from the others: notification payloads, whoever
// wrote them into the database. Lines of the input are payloads fed to one
// reassembler (nothing may be read outside them, no message may pass its
// bound); the input as a message must come back whole through its parts.
#include <cstdlib>
#include <string>

#include "relay/daemon/node_message.hpp"

using namespace zv::daemon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CNodeReassembler parts;
  std::string line;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != '\n') {
      line += static_cast<char>(data[i]);
      continue;
    }
    if (auto m = parts.Feed(line))
      if (m->data.size() > kMaxNodeMessage || m->from.size() > 255) std::abort();
    line.clear();
  }

  if (size < 3) return 0;
  static const NodeMessageKind kKinds[] = {
      NodeMessageKind::kPacket, NodeMessageKind::kAnswer, NodeMessageKind::kLock,
      NodeMessageKind::kUnlock, NodeMessageKind::kDrop,   NodeMessageKind::kMoved,
      NodeMessageKind::kGone,   NodeMessageKind::kDone,   NodeMessageKind::kDisconnect};
  NodeMessage sent;
  sent.kind = kKinds[data[0] % 9];
  sent.from = std::string(reinterpret_cast<const char*>(data), std::min<size_t>(size, data[1] % 8));
  sent.device = std::string(reinterpret_cast<const char*>(data), std::min<size_t>(size, 6));
  sent.user = "u";
  // Repeated, the input makes messages of several parts.
  for (int copies = data[2] % 8 + 1; copies > 0; --copies)
    sent.data.insert(sent.data.end(), data, data + size);
  CNodeReassembler whole;
  std::optional<NodeMessage> got;
  const std::vector<std::string> payloads = EncodeNodeMessage(sent, size);
  for (size_t i = 0; i < payloads.size(); ++i) {
    if (payloads[i].size() > kMaxNodePayload) std::abort();
    got = whole.Feed(payloads[i]);
    if (got.has_value() != (i + 1 == payloads.size())) std::abort();
  }
  if (!got || got->kind != sent.kind || got->from != sent.from || got->device != sent.device ||
      got->user != sent.user || got->data != sent.data)
    std::abort();
  return 0;
}
