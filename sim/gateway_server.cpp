#include "sim/gateway_server.hpp"

#include <cstring>
#include <vector>

#include "platform/clock.hpp"
#include "sim/gateway_record.hpp"
#include "tool/codec/stream_framing.hpp"

namespace tarvo::sim {

// The largest reply (a full ReadFileData) must fit one record even when every
// byte is escaped.
static_assert(2 * (kMaxReadChunk + 9) + 2 <= kDccDataSize,
              "a read reply must fit a gateway record");

GatewayServer::GatewayServer(SharedModel& model)
    : model_(model), connections_([this](platform::TcpSocket& s, const std::atomic<bool>& stop) {
        Serve(s, stop);
      }) {}

std::string GatewayServer::last_imei() {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_imei_;
}

void GatewayServer::Serve(platform::TcpSocket& socket, const std::atomic<bool>& stop) {
  uint8_t raw[kGatewayRecordSize];
  DccMessage in;
  DccMessage out;
  std::vector<uint8_t> packet(kMaxRequestSize);
  uint8_t frame[kDccDataSize];
  while (ReadExactly(socket, raw, sizeof raw, stop)) {
    std::memcpy(&in, raw, sizeof in);
    const int length = GatewayRecordDataLength(in);
    if (length < 0 || in.type != kDccTypeUserData) continue;
    const std::string imei = GatewayRecordId(in);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last_imei_ = imei;
    }
    MakeGatewayRecord(imei, kDccTypeSendConfirm, nullptr, 0, &out);
    if (!socket.SendAll(&out, sizeof out)) return;

    StreamDecoder decoder(packet.data(), packet.size());
    for (int i = 0; i < length; ++i) {
      if (decoder.Feed(in.data[i]) != StreamDecoder::Step::kComplete) continue;
      const bool usable = !decoder.overflowed() && decoder.count() > 0;
      const size_t size = decoder.count();
      decoder.Reset();
      if (!usable) continue;
      Answer a = model_.Handle(packet.data(), size);
      if (a.outcome != Outcome::kReplied) continue;
      platform::SleepMs(a.delay_ms);
      // A reply whose frame does not fit one record cannot be carried.
      size_t n = EncodeStreamFrame(a.reply.data(), a.reply.size(), frame, sizeof frame);
      if (n == 0 || !MakeGatewayRecord(imei, kDccTypeUserData, frame, n, &out)) continue;
      if (!socket.SendAll(&out, sizeof out)) return;
    }
  }
}

}  // namespace tarvo::sim
