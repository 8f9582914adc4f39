// The card UDP port of zvrelayd: registrations (A5 <DeviceID digits> AE)
// enter the card into the UDP card table, answers (A5 <digits><packet> AE)
// move the card to the address they came from and go to the lock owner. A
// registration is looked up in [Card] by a database worker.
#pragma once

#include <array>
#include <asio.hpp>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "relay/daemon/db_workers.hpp"
#include "relay/daemon/server_ops.hpp"
#include "relay/server/asio_senders.hpp"
#include "relay/server/udp_card_table.hpp"

namespace zv::daemon {

class CUdpCardEndpoint {
 public:
  // Binds the socket; Bound() tells whether it worked.
  CUdpCardEndpoint(asio::io_context& io, const asio::ip::udp::endpoint& at, std::error_code* ec);
  ~CUdpCardEndpoint();

  CAsioUdpSender& Sender() { return sender_; }
  // Starts receiving into `table`; the endpoint must outlive the table's use
  // and the workers' jobs. `node` names this server in the online lines.
  void Start(std::shared_ptr<CUdpCardTable> table, CDbWorkers& workers,
             std::shared_ptr<CServerOps> ops, const std::string& node);
  void Close();
  uint16_t Port() const;

 private:
  void Receive();
  void OnDatagram(size_t size);
  void Register(const CCardRecord& stored, const CUdpAddress& address);

  asio::ip::udp::socket socket_;
  CAsioUdpSender sender_;
  std::shared_ptr<CUdpCardTable> table_;
  CDbWorkers* workers_ = nullptr;
  std::shared_ptr<CServerOps> ops_;
  std::string node_;         // this server's node name, or empty
  std::string node_suffix_;  // " (node NAME)", or empty
  // Registrations at the database workers, in all and per address. A flood
  // of IDs that are each new would otherwise queue lookups without end ahead
  // of the users' requests and the other cards' registrations; past either
  // bound, registrations are dropped (a UDP card sends again).
  struct Lookups {
    std::mutex lock;
    int total = 0;
    std::unordered_map<uint32_t, int> per_address;
    bool Take(uint32_t address);
    void Give(uint32_t address);
  };
  std::shared_ptr<Lookups> lookups_ = std::make_shared<Lookups>();
  asio::ip::udp::endpoint from_;
  std::array<uint8_t, 65536> buffer_{};
};

}  // namespace zv::daemon
