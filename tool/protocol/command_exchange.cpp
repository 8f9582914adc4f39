#include "tool/protocol/command_exchange.hpp"

#include <algorithm>

#include "platform/clock.hpp"
#include "tool/codec/packet.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/packet_io.hpp"

namespace tarvo {

RequestAddress AddressOf(const ConnectionManager& link) {
  return RequestAddress{link.type_code(), link.controller_id()};
}

size_t Exchange(ConnectionManager& link, const Bytes& request, int wait_ms, Bytes* reply,
                size_t capacity) {
  if (request.empty()) return 0;
  // No command acts on the send flag: a send that failed shows up as a
  // missing reply.
  SendPacket(link, request.data(), request.size());
  if (wait_ms > 0) platform::SleepMs(wait_ms);
  reply->assign(capacity, 0);
  const size_t n = ReceivePacket(link, reply->data(), capacity);
  LastReply& last = link.last_reply;
  last.command = request[kOffCommand];
  last.length = n;
  last.whole =
      n > kOffCommand && (*reply)[kOffCommand] == last.command && CheckPacket(reply->data(), n);
  if (last.whole) ++link.whole_replies;
  return n;
}

}  // namespace tarvo
