#include "sim/relay_card_udp.hpp"

#include <vector>

#include "platform/clock.hpp"
#include "sim/relay_card_codec.hpp"

namespace tarvo::sim {

namespace {

// Largest datagram taken in: a request of the largest size with every byte
// escaped, the digits and the two markers fit easily.
constexpr size_t kDatagramCapacity = 65536;
constexpr int kPollMs = 100;

}  // namespace

UdpRelayCard::UdpRelayCard(SharedModel& model, std::string device_digits, int reregister_ms)
    : model_(model), digits_(std::move(device_digits)), reregister_ms_(reregister_ms) {}

int UdpRelayCard::Start(uint32_t address, uint16_t port) {
  Stop();
  if (!IsUdpCardId(digits_)) return 0;
  address_ = address;
  port_ = port;
  // The loopback address for a server on loopback, every address otherwise,
  // so that the datagrams leave through whichever interface reaches it.
  const uint32_t local = (address >> 24) == 127 ? address : 0;
  if (!socket_.Bind(local, 0)) return 0;
  if (!Register()) {
    socket_.Close();
    return 0;
  }
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return 1;
}

void UdpRelayCard::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  socket_.Close();
}

bool UdpRelayCard::Register() {
  const std::vector<uint8_t> registration = UdpCardRegistration(digits_);
  if (socket_.SendTo(registration.data(), registration.size(), address_, port_) !=
      static_cast<long>(registration.size()))
    return false;
  ++registrations_;
  return true;
}

void UdpRelayCard::Run() {
  std::vector<uint8_t> datagram(kDatagramCapacity);
  int64_t next_registration = platform::MonotonicMs() + reregister_ms_;
  while (!stop_) {
    uint32_t from = 0;
    uint16_t from_port = 0;
    const long n =
        socket_.ReceiveFrom(datagram.data(), datagram.size(), kPollMs, &from, &from_port);
    // Only the server forwards packets; anything else on this port is noise.
    if (n > 0 && from == address_ && from_port == port_)
      AnswerDatagram(datagram.data(), static_cast<size_t>(n));
    if (platform::MonotonicMs() >= next_registration) {
      Register();
      next_registration = platform::MonotonicMs() + reregister_ms_;
    }
  }
}

void UdpRelayCard::AnswerDatagram(const uint8_t* datagram, size_t size) {
  std::vector<uint8_t> packet;
  if (!DecodeUdpCardForward(datagram, size, digits_, kMaxRequestSize, &packet)) return;
  Answer a = model_.Handle(packet.data(), packet.size());
  if (a.outcome != Outcome::kReplied) return;
  platform::SleepMs(a.delay_ms);
  const std::vector<uint8_t> reply = UdpCardReply(digits_, a.reply);
  socket_.SendTo(reply.data(), reply.size(), address_, port_);
}

}  // namespace tarvo::sim
