// One card connected over TCP. Its first frame registers it ([06 00] and the
// six DeviceID characters); a card unknown to the [Card] table is turned
// away. The [Card] table is read by a database worker, and nothing more is
// read from the card meanwhile. Every later frame is the card's answer and
// goes to the lock owner.
//
// A card with a secret must answer a challenge before it is registered. A
// Device ID that another address holds on a live connection is taken over
// only when that connection does not answer a probe (or with the secret);
// an address whose takeovers or answers were refused waits longer each time
// (card_control.hpp has the frames, card_identity.hpp the holders).
#pragma once

#include <array>
#include <asio.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "relay/daemon/card_control.hpp"
#include "relay/daemon/card_identity.hpp"
#include "relay/daemon/connection_limits.hpp"
#include "relay/daemon/db_workers.hpp"
#include "relay/daemon/server_ops.hpp"
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
               std::unique_ptr<CConnectionSlot> slot = nullptr,
               std::shared_ptr<CServerOps> ops = nullptr);
  void Start();

  // Fixed at registration, before the card enters the table.
  std::string GetId() const override { return card.GetDeviceID(); }
  std::string GetOrganization() const override { return card.GetOrganizationName(); }
  void OnClose() override { card.SetOnLine(0); }
  CTcpSendTarget* GetSendTarget() override { return sender_.get(); }

  // Asks this (registered) card whether it is still there: `done` is called,
  // on this card's loop, with true when it answered a probe in time and false
  // when it did not or left. Callable from any thread.
  void RequestProbe(std::function<void(bool answered)> done);

 private:
  void Read();
  void OnRead(const std::error_code& ec, size_t n);
  void HandleFrames();
  void ArmTimer();
  // Looks the card (and its secret) up on a worker; OnLookedUp goes on with
  // what it found.
  void LookUp(const std::string& id);
  // `found`: 1 the card is in [Card], 0 it is not, -1 the database failed.
  void OnLookedUp(const std::string& id, int found, std::unique_ptr<CCardRecord> stored,
                  int secret_state, const std::string& secret);
  // A Device ID [Card] lacks: logged once per interval for the address.
  void RefuseUnknown(const std::string& id);
  // After the address's wait: challenge, probe the holder, or register.
  void Proceed();
  void OnProbed(bool answered, const CCardSession* probed, const std::string& holder_address);
  void SendChallenge();
  void OnChallengeAnswer(const uint8_t* frame, size_t length);
  void Refuse(const std::string& why);
  void Register();
  // The probe of this card, when a newer connection claims its Device ID.
  void StartProbe(std::function<void(bool)> done);
  void EndProbe(bool answered);
  // `dropped`: the server closes it (the card did not leave by itself).
  // `why`, when given, goes to the log with the peer's address (and with the
  // card's ID once it has registered).
  void Finish(bool dropped = true, const std::string& why = "");
  // " (node NAME)" for the online and offline lines; empty without a node.
  std::string NodeSuffix() const;

  std::shared_ptr<CAsioTcpSender> sender_;
  const uint64_t key_;
  std::shared_ptr<CTcpConnectionTable> cards_;
  const ServerSettings& settings_;
  CDbWorkers& workers_;
  // Its place in the connection counts; null when the server keeps none.
  std::unique_ptr<CConnectionSlot> slot_;
  std::shared_ptr<CServerOps> ops_;  // null: nothing counted, refusals in the table's log
  asio::steady_timer timer_;
  CCardFrameSplitter splitter_;
  // A card's answers are controller packets of at most about 1.5 KiB; 4 KiB
  // per read holds a few of them and keeps ten thousand idle cards small.
  std::array<uint8_t, 4096> read_buffer_{};
  bool timer_armed_ = false;  // a wait is pending (cancelling none costs a lock)
  bool registered_ = false;
  bool finished_ = false;

  std::shared_ptr<CCardIdentity> identity_;
  std::string address_;  // the peer's address, for takeovers and their waits
  // One step at a time runs on it: the address's wait, the challenge's time
  // or, once registered, a probe's time.
  asio::steady_timer step_timer_;
  uint64_t step_ = 0;  // which step a timer's expiry belongs to
  // While registering: the Device ID as the card sent it, its [Card] row and
  // its secret (empty: none).
  std::string claimed_id_;
  std::unique_ptr<CCardRecord> stored_;
  std::string secret_;
  bool challenged_ = false;
  ChallengeNonce challenge_{};
  // Once registered: a probe that is out and who waits for its outcome.
  bool probing_ = false;
  ProbeNonce probe_{};
  std::vector<std::function<void(bool)>> probe_waiters_;
};

}  // namespace zv::daemon
