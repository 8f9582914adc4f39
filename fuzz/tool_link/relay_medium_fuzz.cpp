// What the relay client library hands the tool as a card's answer, taken
// through the connection manager exactly as a command's exchange does:
// OpenLink on "Zv Server" or "Zv GPRS", then SendPacket and ReceivePacket
// for each answer, then CloseLink. The library's count may disagree with the
// bytes it placed (a library that lies must not make the medium read or
// write outside its buffers), and whatever the medium accepts must be a
// reply packet that fits, taken from an envelope naming the card.
//
// Input: [flags][capacity][count offset][ID length][ID bytes] then answers,
// each [length LE16][bytes] (the last one takes what is left).
//   flags bit 0: route 2 ("Zv GPRS") instead of route 1 ("Zv Server")
//   flags bit 1: the library reports the placed length plus the signed
//                count offset instead of the placed length
//   flags bit 2: the packet trace is on
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "common/wire.hpp"
#include "tool/codec/packet.hpp"
#include "tool/codec/relay_envelope.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/packet_io.hpp"

namespace {

using Bytes = std::vector<uint8_t>;

// What the fake library answers next. The functions of the table are plain
// function pointers, so they reach it through this one pointer.
struct Library {
  Bytes answer;      // placed by the next receive (as much as fits)
  bool lie = false;  // report the placed length plus `offset` instead
  int offset = 0;

  size_t Placed(int room) const { return std::min(answer.size(), static_cast<size_t>(room)); }
  int Reported(int room) const {
    const int placed = static_cast<int>(Placed(room));
    return lie ? placed + offset : placed;
  }
  // The receive buffer as the medium holds it after the call: the placed
  // bytes, then the zeros it filled the buffer with, up to the count.
  Bytes Seen() const {
    const int room = tarvo::kRelayReceiveBufferSize;
    Bytes seen(answer.begin(), answer.begin() + static_cast<long>(Placed(room)));
    seen.resize(std::max<size_t>(seen.size(), static_cast<size_t>(std::max(Reported(room), 0))));
    return seen;
  }
};
Library* g_library = nullptr;

int Login(const char*, int, const char*, const char*) {
  return 1;
}
int Logout() {
  return 0;
}
int Lock(const char*) {
  return 1;
}
int Unlock(const char*) {
  return 1;
}
int Send(const char*, int, const uint8_t*, int) {
  return 1;
}
int Receive(uint8_t* buffer, int size) {
  const size_t placed = g_library->Placed(size);
  if (placed > 0) std::memcpy(buffer, g_library->answer.data(), placed);
  return g_library->Reported(size);
}
int Query(const char*, char* buffer, int size) {
  if (size > 0) buffer[0] = 0;
  return 0;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

// The accepted reply came out of an envelope naming `id`.
void CheckAccepted(const std::string& id, bool gprs, const Library& library, const uint8_t* reply,
                   size_t n) {
  Require(reply[0] == tarvo::kReplyStart);
  if (gprs) return;  // route 2 is checked by taking the reply back (below)
  const Bytes answer = library.Seen();
  Require(answer.size() >= tarvo::kRouteOneHeaderSize + n);
  Require(tarvo::wire::GetLe16(answer.data()) == n + 6);
  Require(std::memcmp(answer.data() + 2, id.data(), 6) == 0);
  Require(std::memcmp(answer.data() + tarvo::kRouteOneHeaderSize, reply, n) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint8_t flags = data[0];
  const bool gprs = flags & 1;
  Library library;
  library.lie = flags & 2;
  library.offset = static_cast<int8_t>(data[2]);
  const size_t capacity = data[1] * 9u + 1;  // up to 2296: below and above every relay answer
  const size_t id_length = data[3] % 32;
  data += 4;
  size -= 4;
  if (size < id_length) return 0;
  const std::string id(reinterpret_cast<const char*>(data), id_length);
  data += id_length;
  size -= id_length;

  g_library = &library;
  tarvo::ConnectionManager link;
  link.relay = tarvo::RelayApi{&Login, &Logout, &Lock, &Unlock, &Send, &Receive, &Query};
  link.comm_type = static_cast<int>(gprs ? tarvo::CommType::kZvGprs : tarvo::CommType::kZvServer);
  link.settings.relay_address = "127.0.0.1";
  link.settings.relay_port = 5202;
  link.settings.user_name = "user01";
  link.settings.password = "21963";
  link.settings.device_id = id;
  std::ostringstream trace;
  if (flags & 4) link.trace = &trace;
  if (link.OpenLink(tarvo::kControllerTypeCode, 1) != 1) {
    // Only a Device ID the medium refuses keeps the link closed.
    Require(!tarvo::IsValidDeviceId(static_cast<tarvo::CommType>(link.comm_type), id));
    g_library = nullptr;
    return 0;
  }

  // A Reset Controller request: what is sent does not matter to the reply.
  uint8_t request[7] = {tarvo::kRequestStart, tarvo::kControllerTypeCode, link.controller_id(),
                        0x2D, 0x01};
  tarvo::AppendChecksum(request, 5);
  Bytes reply(capacity);
  size_t at = 0;
  while (at < size) {
    size_t length = size - at;
    if (length >= 2) {
      length = std::min<size_t>(tarvo::wire::GetLe16(data + at), length - 2);
      at += 2;
    }
    library.answer.assign(data + at, data + at + length);
    at += length;
    Require(tarvo::SendPacket(link, request, sizeof request) == 1);
    const size_t n = tarvo::ReceivePacket(link, reply.data(), reply.size());
    Require(n <= capacity);
    if (n == 0) continue;
    CheckAccepted(id, gprs, library, reply.data(), n);
    if (!gprs) continue;
    // The card's answer built anew from the reply: the medium takes it back
    // unchanged (a route-2 answer has the shape of a route-2 request).
    Bytes again;
    Require(tarvo::EncodeRouteTwoRequest(id, reply.data(), n, &again));
    // Too short to count as an answer, or longer than the library returns.
    if (again.size() < tarvo::kRelayMinimumReply || id.size() + n < tarvo::kRouteTwoMinimumBody ||
        again.size() > static_cast<size_t>(tarvo::kRelayReceiveBufferSize))
      continue;
    library.answer = again;
    const bool lie = library.lie;
    library.lie = false;
    Bytes back(capacity);
    Require(tarvo::ReceivePacket(link, back.data(), back.size()) == n);
    Require(std::memcmp(back.data(), reply.data(), n) == 0);
    library.lie = lie;
  }
  link.CloseLink();
  g_library = nullptr;
  return 0;
}
