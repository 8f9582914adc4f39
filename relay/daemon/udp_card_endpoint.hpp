// The card UDP port of zvrelayd: registrations (A5 <DeviceID digits> AE)
// enter the card into the UDP card table, answers (A5 <digits><packet> AE)
// move the card to the address they came from and go to the lock owner.
#pragma once

#include <array>
#include <asio.hpp>
#include <memory>

#include "relay/server/asio_senders.hpp"
#include "relay/server/udp_card_table.hpp"

namespace zv::daemon {

class CUdpCardEndpoint {
 public:
  // Binds the socket; Bound() tells whether it worked.
  CUdpCardEndpoint(asio::io_context& io, const asio::ip::udp::endpoint& at, std::error_code* ec);
  ~CUdpCardEndpoint();

  CAsioUdpSender& Sender() { return sender_; }
  // Starts receiving into `table`; the endpoint must outlive the table's use.
  void Start(std::shared_ptr<CUdpCardTable> table);
  void Close();
  uint16_t Port() const;

 private:
  void Receive();
  void OnDatagram(size_t size);

  asio::ip::udp::socket socket_;
  CAsioUdpSender sender_;
  std::shared_ptr<CUdpCardTable> table_;
  asio::ip::udp::endpoint from_;
  std::array<uint8_t, 65536> buffer_{};
};

}  // namespace zv::daemon
