// One user connection of zvrelayd: reads relay frames, hands each request to
// its answer's Process with this connection's user, and sends the answer.
// Requests of one connection are handled one after the other: those that
// need the account database on a database worker, while the connection's
// loop goes on serving the others, and the requests behind one wait until
// its answer is back on the loop, so the answers keep the requests' order.
#pragma once

#include <array>
#include <asio.hpp>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "relay/daemon/connection_limits.hpp"
#include "relay/daemon/db_workers.hpp"
#include "relay/daemon/login_throttle.hpp"
#include "relay/daemon/server_ops.hpp"
#include "relay/daemon/server_settings.hpp"
#include "relay/daemon/stream_frames.hpp"
#include "relay/messages/relay_msg.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/asio_senders.hpp"
#include "relay/server/connection.hpp"
#include "relay/server/tcp_connection_table.hpp"

namespace zv::daemon {

class CUserSession : public CConnection, public std::enable_shared_from_this<CUserSession> {
 public:
  CUserSession(asio::ip::tcp::socket socket, uint64_t key,
               std::shared_ptr<CTcpConnectionTable> users, const ServerSettings& settings,
               CDbWorkers& workers = CDbWorkers::Inline(),
               std::unique_ptr<CConnectionSlot> slot = nullptr, CLoginThrottle* throttle = nullptr,
               std::shared_ptr<CServerOps> ops = nullptr);
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
  // With servers sharing the database: whether this lock or packet is
  // handled on a database worker.
  bool ClusterNeedsDatabase(const CRelayMsg& request) const;
  // A login waits first when its address or name has been refused lately.
  void LogIn(std::unique_ptr<CRelayMsg> request, std::unique_ptr<CRelayMsg> answer);
  // Runs a request that needs the database on a worker; its answer comes
  // back through Answered.
  void RunOnWorker(std::unique_ptr<CRelayMsg> request, std::unique_ptr<CRelayMsg> answer);
  // On a worker, after a login: the connection takes the name and
  // organization of the user it carries now. Returns the name it had.
  std::string TakeUser(const CUserRecord& user);
  // Back on the loop with a worker's answer and the connection's user.
  void Answered(std::unique_ptr<CRelayMsg> answer, std::unique_ptr<CUserRecord> user,
                const std::string& previous);
  // A login's result counts for or against its address and name.
  void LoginAnswered(const CRelayMsg& answer, const std::string& name);
  // What a change of the connection's user means on the loop.
  void UserChanged(const std::string& previous);
  void Send(std::unique_ptr<CRelayMsg> answer);
  // Closes the connection; a reason is logged with the peer's address and
  // user, so every closing in the log says why.
  void Finish(const std::string& why = "");
  void UserLeft(const std::string& name);

  std::shared_ptr<CAsioTcpSender> sender_;
  const uint64_t key_;
  std::shared_ptr<CTcpConnectionTable> users_;
  const ServerSettings& settings_;
  CDbWorkers& workers_;
  // Its place in the connection counts; null when the server keeps none.
  std::unique_ptr<CConnectionSlot> slot_;
  CLoginThrottle* throttle_;         // null: logins never wait
  std::shared_ptr<CServerOps> ops_;  // null: nothing counted
  bool peer_left_ = false;           // the peer closed the connection (not dropped)
  bool counted_in_ = false;          // counted among the users online
  std::string address_;              // the peer's address, for the log and the throttle
  asio::steady_timer login_wait_;
  asio::steady_timer timer_;
  asio::steady_timer login_deadline_;
  CRelayFrameSplitter splitter_;
  std::array<uint8_t, 8192> read_buffer_{};
  // Only this session's loop touches it, except while a worker has it (it
  // is then handed over with the request and back with the answer).
  std::unique_ptr<CUserRecord> user_ = std::make_unique<CUserRecord>();
  // Written by the worker of a login, read by any thread, under the lock.
  mutable std::mutex id_lock_;
  std::string name_;
  std::string organization_;
  bool at_worker_ = false;  // a request is with a database worker
  // The half-frame wait is pending (cancelling none would cost a lock).
  bool timer_armed_ = false;
  bool paused_ = false;  // requests wait for the answers to drain
  bool finished_ = false;
};

}  // namespace zv::daemon
