#include "sim/relay_card_tcp.hpp"

#include <vector>

#include "common/wire.hpp"
#include "platform/clock.hpp"
#include "sim/connection_set.hpp"
#include "sim/relay_card_codec.hpp"

namespace tarvo::sim {

namespace {

// Sleeps in short steps so that Stop() is never held up by a long pause.
void PauseUnlessStopped(int ms, const std::atomic<bool>& stop) {
  const int64_t end = platform::MonotonicMs() + ms;
  while (!stop && platform::MonotonicMs() < end) platform::SleepMs(20);
}

}  // namespace

TcpRelayCard::TcpRelayCard(SharedModel& model, std::string device_id, RelayCardTiming timing,
                           std::string secret)
    : model_(model),
      device_id_(std::move(device_id)),
      timing_(timing),
      secret_(std::move(secret)) {}

int TcpRelayCard::Start(std::vector<RelayNode> nodes) {
  Stop();
  if (!IsTcpCardId(device_id_) || nodes.empty()) return 0;
  nodes_ = std::move(nodes);
  node_ = 0;
  stop_ = false;
  if (!Connect()) return 0;
  thread_ = std::thread([this] { Run(); });
  return 1;
}

void TcpRelayCard::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  socket_.Close();
  connected_ = false;
}

bool TcpRelayCard::Connect() {
  platform::TcpSocket s;
  // The node of the last connection first: most losses are a restart.
  size_t tried = 0;
  for (; tried < nodes_.size() && !stop_; ++tried) {
    const RelayNode& n = nodes_[node_];
    if (s.Connect(n.address, n.port, timing_.connect_timeout_ms)) break;
    node_ = (node_ + 1) % nodes_.size();
  }
  if (tried == nodes_.size() || stop_) return false;
  s.SetNoDelay(true);
  const std::vector<uint8_t> registration = TcpCardRegistration(device_id_);
  if (!s.SendAll(registration.data(), registration.size())) return false;
  socket_ = std::move(s);
  connected_ = true;
  ++registrations_;
  return true;
}

void TcpRelayCard::Run() {
  while (!stop_) {
    Serve();
    socket_.Close();
    connected_ = false;
    while (!stop_) {
      PauseUnlessStopped(timing_.retry_pause_ms, stop_);
      if (!stop_ && Connect()) break;
    }
  }
}

void TcpRelayCard::Serve() {
  std::vector<uint8_t> envelope;
  uint8_t header[kTcpCardHeaderSize];
  while (ReadExactly(socket_, header, sizeof header, stop_)) {
    const size_t length = wire::GetLe16(header);
    // Shorter than its six address bytes, or longer than any request: the
    // stream is out of step and only a new connection can recover.
    if (length < kTcpCardAddressSize || length > kTcpCardAddressSize + kMaxRequestSize) return;
    envelope.resize(length);
    if (!ReadExactly(socket_, envelope.data(), length, stop_)) return;
    if (IsTcpCardControl(envelope.data(), length)) {
      const std::vector<uint8_t> answer =
          TcpCardControlAnswer(device_id_, secret_, envelope.data(), length);
      if (!answer.empty() && !socket_.SendAll(answer.data(), answer.size())) return;
      continue;
    }
    Answer a = model_.Handle(envelope.data() + kTcpCardAddressSize, length - kTcpCardAddressSize);
    if (a.outcome != Outcome::kReplied) continue;
    platform::SleepMs(a.delay_ms);
    const std::vector<uint8_t> reply = TcpCardReply(device_id_, a.reply);
    if (reply.empty()) continue;
    if (!socket_.SendAll(reply.data(), reply.size())) return;
  }
}

}  // namespace tarvo::sim
