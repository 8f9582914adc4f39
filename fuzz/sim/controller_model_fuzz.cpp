// The simulated controller takes requests from the line: arbitrary bytes must
// never crash it, and whatever it answers must be a well-formed reply.
//
// Input: the first byte chooses how the rest reaches the controller.
//   even: a sequence of requests, each [length byte][bytes]; the header is
//         completed (0x68, the controller's ID) and the checksum appended, so
//         the fuzzer explores the command handlers rather than the checksum;
//   odd:  raw line bytes through the stream-framing decoder, as on the serial
//         line, and as the data of one gateway record.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/controller_model.hpp"
#include "sim/gateway_record.hpp"
#include "tool/codec/packet.hpp"
#include "tool/codec/stream_framing.hpp"

namespace {

using tarvo::sim::Answer;
using tarvo::sim::ControllerModel;
using tarvo::sim::Outcome;

void CheckAnswer(const uint8_t* request, size_t size, const Answer& a) {
  if (a.outcome != Outcome::kReplied) return;
  const std::vector<uint8_t>& r = a.reply;
  if (r.size() < 7 || r.size() > tarvo::sim::kMaxRequestSize) std::abort();
  if (r[0] != tarvo::kReplyStart || std::memcmp(&r[1], request + 1, 4) != 0) std::abort();
  if (!tarvo::CheckPacket(r.data(), r.size())) std::abort();
}

void Deliver(ControllerModel& m, const uint8_t* p, size_t n) {
  CheckAnswer(p, n, m.Handle(p, n));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  tarvo::sim::ControllerConfig config;
  config.disk_capacity = 64 * 1024;
  ControllerModel m(config);
  const uint8_t mode = data[0];
  data++;
  size--;
  if (mode % 2 == 0) {
    std::vector<uint8_t> packet;
    size_t i = 0;
    while (i < size) {
      const size_t wanted = data[i];
      ++i;
      const size_t len = std::min(wanted, size - i);
      packet.assign(data + i, data + i + len);
      i += len;
      if (packet.size() < 5) packet.resize(5, 0);
      packet[0] = tarvo::kRequestStart;
      if (mode & 2) packet[2] = 1;
      packet.resize(packet.size() + 2);
      tarvo::AppendChecksum(packet.data(), packet.size() - 2);
      Deliver(m, packet.data(), packet.size());
    }
  } else {
    std::vector<uint8_t> packet(tarvo::sim::kMaxRequestSize);
    tarvo::StreamDecoder d(packet.data(), packet.size());
    for (size_t i = 0; i < size; ++i) {
      if (d.Feed(data[i]) != tarvo::StreamDecoder::Step::kComplete) continue;
      if (!d.overflowed() && d.count() > 0) Deliver(m, packet.data(), d.count());
      d.Reset();
    }
    tarvo::DccMessage record;
    if (tarvo::sim::MakeGatewayRecord("fuzz", 0, data, std::min(size, tarvo::kDccDataSize),
                                      &record)) {
      if (tarvo::sim::GatewayRecordDataLength(record) < 0) std::abort();
    }
    std::memcpy(&record, data, std::min(size, sizeof record));
    const int length = tarvo::sim::GatewayRecordDataLength(record);
    if (length > static_cast<int>(tarvo::kDccDataSize)) std::abort();
  }
  return 0;
}
