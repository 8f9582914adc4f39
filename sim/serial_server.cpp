#include "sim/serial_server.hpp"

#include <vector>

#include "platform/clock.hpp"
#include "tool/codec/stream_framing.hpp"

namespace tarvo::sim {

namespace {
// How often the serving thread looks at the stop flag while the line is quiet.
constexpr int kPollMs = 50;
}  // namespace

int SerialServer::Start() {
  if (thread_.joinable()) return 0;
  if (!pty_.Create()) return 0;
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return 1;
}

void SerialServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  pty_.Close();
}

void SerialServer::Run() {
  std::vector<uint8_t> packet(kMaxRequestSize);
  StreamDecoder decoder(packet.data(), packet.size());
  std::vector<uint8_t> frame;
  uint8_t buf[1024];
  while (!stop_) {
    long n = pty_.master().Read(buf, sizeof buf, kPollMs);
    if (n < 0) {
      platform::SleepMs(kPollMs);
      continue;
    }
    for (long i = 0; i < n && !stop_; ++i) {
      if (decoder.Feed(buf[i]) != StreamDecoder::Step::kComplete) continue;
      // A frame longer than any request is noise; drop it whole.
      const bool usable = !decoder.overflowed() && decoder.count() > 0;
      const size_t size = decoder.count();
      decoder.Reset();
      if (!usable) continue;
      Answer a = model_.Handle(packet.data(), size);
      if (a.outcome != Outcome::kReplied) continue;
      platform::SleepMs(a.delay_ms);
      frame.resize(2 * a.reply.size() + 2);
      size_t len = EncodeStreamFrame(a.reply.data(), a.reply.size(), frame.data(), frame.size());
      pty_.master().WriteAll(frame.data(), len);
    }
  }
}

}  // namespace tarvo::sim
