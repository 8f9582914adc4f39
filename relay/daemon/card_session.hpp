// One card connected over TCP. Its first frame registers it ([06 00] and the
// six DeviceID characters); a card unknown to the [Card] table is turned
// away. The [Card] table is read by a database worker, and nothing more is
// read from the card meanwhile. Every later frame is the card's answer and
// goes to the lock owner.
#pragma once

#include <array>
#include <asio.hpp>
#include <memory>

#include "relay/daemon/connection_limits.hpp"
#include "relay/daemon/db_workers.hpp"
#include "relay/daemon/server_settings.hpp"
#include "relay/daemon/stream_frames.hpp"
#include "relay/server/asio_senders.hpp"
#include "relay/server/connection.hpp"
#include "relay/server/tcp_connection_table.hpp"

namespace zv::daemon {

class CCardSession : public CConnection, public std::enable_shared_from_this<CCardSession> {
 public:
  CCardSession(asio::ip::tcp::socket socket, uint64_t key,
               std::shared_ptr<CTcpConnectionTable> cards, const ServerSettings& settings,
               CDbWorkers& workers = CDbWorkers::Inline(),
               std::unique_ptr<CConnectionSlot> slot = nullptr);
  void Start();

  // Fixed at registration, before the card enters the table.
  std::string GetId() const override { return card.GetDeviceID(); }
  std::string GetOrganization() const override { return card.GetOrganizationName(); }
  void OnClose() override { card.SetOnLine(0); }
  CTcpSendTarget* GetSendTarget() override { return sender_.get(); }

 private:
  void Read();
  void OnRead(const std::error_code& ec, size_t n);
  void HandleFrames();
  void ArmTimer();
  // Looks the card up on a worker; Register goes on with what it found.
  void LookUp(const std::string& id);
  void Register(const std::string& id, const CCardRecord* stored);
  void Finish();

  std::shared_ptr<CAsioTcpSender> sender_;
  const uint64_t key_;
  std::shared_ptr<CTcpConnectionTable> cards_;
  const ServerSettings& settings_;
  CDbWorkers& workers_;
  // Its place in the connection counts; null when the server keeps none.
  std::unique_ptr<CConnectionSlot> slot_;
  asio::steady_timer timer_;
  CCardFrameSplitter splitter_;
  // A card's answers are controller packets of at most about 1.5 KiB; 4 KiB
  // per read holds a few of them and keeps ten thousand idle cards small.
  std::array<uint8_t, 4096> read_buffer_{};
  bool timer_armed_ = false;  // a wait is pending (cancelling none costs a lock)
  bool registered_ = false;
  bool finished_ = false;
};

}  // namespace zv::daemon
