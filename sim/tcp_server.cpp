#include "sim/tcp_server.hpp"

#include <vector>

#include "common/wire.hpp"
#include "platform/clock.hpp"

namespace tarvo::sim {

bool IdCodeMatches(uint32_t own, uint32_t in_header) {
  return own == kBroadcastIdCode || in_header == kBroadcastIdCode || in_header == own;
}

TcpServer::TcpServer(SharedModel& model, uint32_t id_code)
    : model_(model),
      id_code_(id_code),
      connections_(
          [this](platform::TcpSocket& s, const std::atomic<bool>& stop) { Serve(s, stop); }) {}

void TcpServer::Serve(platform::TcpSocket& socket, const std::atomic<bool>& stop) {
  std::vector<uint8_t> packet;
  std::vector<uint8_t> out;
  uint8_t header[kNetworkHeaderBytes];
  while (ReadExactly(socket, header, sizeof header, stop)) {
    const uint32_t id_code = wire::GetBe32(header);
    const uint16_t length = wire::GetLe16(header + 4);
    // A length beyond any request means the stream is out of step: there is
    // no way to find the next header, so the connection ends.
    if (length > kMaxRequestSize) return;
    packet.resize(length);
    if (!ReadExactly(socket, packet.data(), length, stop)) return;
    if (!IdCodeMatches(id_code_, id_code)) continue;
    Answer a = model_.Handle(packet.data(), packet.size());
    if (a.outcome != Outcome::kReplied) continue;
    platform::SleepMs(a.delay_ms);
    out.assign(kNetworkHeaderBytes, 0);
    wire::PutBe32(out.data(), id_code_);
    wire::PutLe16(out.data() + 4, static_cast<uint16_t>(a.reply.size()));
    out.insert(out.end(), a.reply.begin(), a.reply.end());
    // Header and packet in one write: the tool takes one segment as one reply.
    if (!socket.SendAll(out.data(), out.size())) return;
  }
}

}  // namespace tarvo::sim
