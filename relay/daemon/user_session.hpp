// One user connection of zvrelayd: reads relay frames, hands each request to
// its answer's Process with this connection's user, and sends the answer.
// Requests of one connection are handled one after the other.
#pragma once

#include <array>
#include <asio.hpp>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "relay/daemon/server_settings.hpp"
#include "relay/daemon/stream_frames.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/asio_senders.hpp"
#include "relay/server/connection.hpp"
#include "relay/server/tcp_connection_table.hpp"

namespace zv::daemon {

class CUserSession : public CConnection, public std::enable_shared_from_this<CUserSession> {
 public:
  CUserSession(asio::ip::tcp::socket socket, uint64_t key,
               std::shared_ptr<CTcpConnectionTable> users, const ServerSettings& settings);
  void Start();

  // The logged-in name ("" before a login) and its organization.
  std::string GetId() const override;
  std::string GetOrganization() const override;
  CTcpSendTarget* GetSendTarget() override { return sender_.get(); }
  // A card's answer goes out on this session's loop, so it always follows
  // the status answer of the request that is being handled when it arrives.
  bool Deliver(const uint8_t* data, size_t length) override;

 private:
  void Read();
  void OnRead(const std::error_code& ec, size_t n);
  // Handles the whole frames received so far, then reads on, unless the
  // answers back up (then it waits for them to drain).
  void HandleFrames();
  void Resume();
  size_t PauseAt() const;
  void ArmTimer();
  // Closes the connection unless it has logged in by then.
  void ArmLoginDeadline();
  void Dispatch(uint16_t type, const uint8_t* body, uint32_t length);
  void Finish();
  void UserLeft(const std::string& name);

  std::shared_ptr<CAsioTcpSender> sender_;
  const uint64_t key_;
  std::shared_ptr<CTcpConnectionTable> users_;
  const ServerSettings& settings_;
  asio::steady_timer timer_;
  asio::steady_timer login_deadline_;
  CRelayFrameSplitter splitter_;
  std::array<uint8_t, 8192> read_buffer_{};
  CUserRecord user_;  // only this session's loop touches it
  mutable std::mutex id_lock_;
  std::string name_;
  std::string organization_;
  // The half-frame wait is pending (cancelling none would cost a lock).
  bool timer_armed_ = false;
  bool paused_ = false;  // requests wait for the answers to drain
  bool finished_ = false;
};

}  // namespace zv::daemon
