// A UDP relay card takes datagrams from the network: arbitrary bytes must
// never crash the decoder nor yield more than the bound, and whatever it
// takes as a packet must survive being framed again and decoded back.
//
// Input: the first byte picks the DeviceID length (1-30 digits, all '1'
// except the last, which varies), the rest is the datagram.
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/relay_card_codec.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t digits_count = 1 + data[0] % 30;
  std::string digits(digits_count, '1');
  digits.back() = static_cast<char>('0' + data[0] % 10);
  constexpr size_t kMaxPacket = 4096;
  std::vector<uint8_t> packet;
  if (!tarvo::sim::DecodeUdpCardForward(data + 1, size - 1, digits, kMaxPacket, &packet)) {
    if (!packet.empty()) std::abort();
    return 0;
  }
  if (packet.empty() || packet.size() > kMaxPacket) std::abort();
  const std::vector<uint8_t> again = tarvo::sim::UdpCardReply(digits, packet);
  std::vector<uint8_t> back;
  if (!tarvo::sim::DecodeUdpCardForward(again.data(), again.size(), digits, kMaxPacket, &back) ||
      back != packet)
    std::abort();
  return 0;
}
