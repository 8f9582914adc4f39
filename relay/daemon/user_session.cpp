#include "relay/daemon/user_session.hpp"

#include <algorithm>

#include "platform/clock.hpp"
#include "relay/daemon/cluster.hpp"
#include "relay/messages/comm_packet_msg.hpp"
#include "relay/messages/login_msg.hpp"
#include "relay/messages/relay_packet.hpp"
#include "relay/server/account_status.hpp"
#include "relay/server/connection_registry.hpp"

namespace zv::daemon {
namespace {

// Requests whose handlers read or write the account database.
bool NeedsDatabase(uint16_t type) {
  return type == kLoginMsgType || type == kQueryMsgType || type == kRecordOpMsgType ||
         type == kCheckNameMsgType;
}

// Fills the answer. A database error is logged and the answer goes out as
// far as it was filled. A login describes nothing (its password stays out of
// the log): the type number says which request it was.
void Process(CRelayMsg& request, CRelayMsg& answer, CUserRecord& user, CLogWriter& log) {
  try {
    answer.Process(request, user);
  } catch (const CDbError& e) {
    log.WriteLog("database error while processing request " + std::to_string(request.GetType()) +
                 " [" + request.Describe() + "]: " + DbErrorText(e.code, e.description));
  }
}

}  // namespace

CUserSession::CUserSession(asio::ip::tcp::socket socket, uint64_t key,
                           std::shared_ptr<CTcpConnectionTable> users,
                           const ServerSettings& settings, CDbWorkers& workers,
                           std::unique_ptr<CConnectionSlot> slot, CLoginThrottle* throttle,
                           std::shared_ptr<CServerOps> ops)
    : sender_(std::make_shared<CAsioTcpSender>(std::move(socket), key, settings.send_queue_limit,
                                               CAsioTcpSender::Serialise::kSingleLoop)),
      key_(key),
      users_(std::move(users)),
      settings_(settings),
      workers_(workers),
      slot_(std::move(slot)),
      throttle_(throttle),
      ops_(std::move(ops)),
      login_wait_(sender_->Executor()),
      timer_(sender_->Executor()),
      login_deadline_(sender_->Executor()),
      splitter_(std::min(settings.max_prelogin_body, settings.max_request_body)) {
  std::error_code ec;
  const asio::ip::tcp::endpoint peer = sender_->Socket().remote_endpoint(ec);
  address_ = ec ? "?" : peer.address().to_string();
}

std::string CUserSession::GetId() const {
  std::lock_guard<std::mutex> guard(id_lock_);
  return name_;
}

std::string CUserSession::GetOrganization() const {
  std::lock_guard<std::mutex> guard(id_lock_);
  return organization_;
}

bool CUserSession::Deliver(const uint8_t* data, size_t length) {
  // On this connection's own loop no request of it is half handled (requests
  // are handled whole within one handler): the frame can go out now.
  if (sender_->RunningHere()) return users_->IssueSendOperation(*sender_, data, length) == 1;
  auto frame = std::make_shared<std::vector<uint8_t>>(data, data + length);
  asio::post(sender_->Executor(), [self = shared_from_this(), frame] {
    self->users_->IssueSendOperation(*self->sender_, frame->data(), frame->size());
  });
  return true;
}

void CUserSession::Start() {
  users_->Add(key_, this);
  asio::post(sender_->Executor(), [self = shared_from_this()] {
    self->ArmLoginDeadline();
    self->Read();
  });
}

void CUserSession::ArmLoginDeadline() {
  login_deadline_.expires_after(std::chrono::milliseconds(settings_.login_timeout_ms));
  login_deadline_.async_wait([self = shared_from_this()](const std::error_code& ec) {
    if (ec || self->finished_ || !self->GetId().empty()) return;
    self->Finish("no login in time");
  });
}

void CUserSession::Read() {
  // The socket's own loop runs the handler: it is this connection's only
  // thread, so no executor needs binding.
  sender_->Socket().async_read_some(
      asio::buffer(read_buffer_),
      [self = shared_from_this()](const std::error_code& ec, size_t n) { self->OnRead(ec, n); });
}

void CUserSession::ArmTimer() {
  if (!splitter_.HasPartial()) {
    if (timer_armed_) timer_.cancel();
    timer_armed_ = false;
    return;
  }
  // Every byte restarts the wait: only a frame that stalls is cut off.
  timer_armed_ = true;
  timer_.expires_after(std::chrono::milliseconds(settings_.half_frame_timeout_ms));
  timer_.async_wait([self = shared_from_this()](const std::error_code& ec) {
    if (ec || self->finished_ || !self->splitter_.HasPartial()) return;
    self->Finish(self->paused_ ? "it does not read its answers" : "unfinished frame timed out");
  });
}

void CUserSession::OnRead(const std::error_code& ec, size_t n) {
  if (finished_) return;
  if (ec) {
    peer_left_ = true;
    Finish(ec == asio::error::eof ? "the peer closed it" : ec.message());
    return;
  }
  splitter_.Append(read_buffer_.data(), n);
  HandleFrames();
}

void CUserSession::HandleFrames() {
  for (;;) {
    // The request at a worker resumes the handling when its answer is back.
    if (at_worker_) return;
    // A send queue closed for a peer that stopped reading, or a write that
    // failed: the requests still waiting could only fail to be answered.
    if (sender_->Overflowed()) {
      Finish("it does not read its answers");
      return;
    }
    if (!sender_->CanSend()) {
      Finish("sending failed");
      return;
    }
    uint16_t type = 0;
    const uint8_t* body = nullptr;
    uint32_t length = 0;
    SplitResult r = splitter_.Next(&type, &body, &length);
    if (r == SplitResult::kNeedMore) break;
    if (r == SplitResult::kBad) {
      if (!splitter_.Oversized())
        Finish("malformed relay frame");
      else if (GetId().empty())
        Finish("a request body over " + std::to_string(settings_.max_prelogin_body) +
               " bytes before login");
      else
        Finish("a request body over " + std::to_string(settings_.max_request_body) + " bytes");
      return;
    }
    if (sender_->Queued() >= PauseAt()) {
      // The peer asks faster than it takes its answers: its requests wait
      // (and no more are read) until half of what is queued has left, so no
      // answer is dropped for a full queue. A peer that never reads again is
      // closed by the timer.
      paused_ = true;
      ArmTimer();
      sender_->WhenDrained(PauseAt() / 2, [self = shared_from_this()] { self->Resume(); });
      return;
    }
    Dispatch(type, body, length);
    splitter_.Consume();
    if (finished_) return;
  }
  ArmTimer();
  Read();
}

void CUserSession::Resume() {
  if (finished_ || !paused_) return;
  paused_ = false;
  HandleFrames();
}

size_t CUserSession::PauseAt() const {
  // Half the queue: the answer to one request always finds room.
  return std::max<size_t>(sender_->QueueLimit() / 2, 1);
}

void CUserSession::Dispatch(uint16_t type, const uint8_t* body, uint32_t length) {
  // Only requests are answered; anything else a client sends is skipped.
  if (type < kLoginMsgType || type > kCheckNameMsgType) return;
  std::unique_ptr<CRelayMsg> request = CreateRelayMsg(type);
  if (!request || !request->Decode(body, static_cast<int>(length))) return;
  std::unique_ptr<CRelayMsg> answer = CreateRelayMsg(static_cast<uint16_t>(kAnswerTypeBase + type));
  if (!answer) return;
  if (type == kLoginMsgType) {
    LogIn(std::move(request), std::move(answer));
    return;
  }
  if (NeedsDatabase(type) || (ops_ && ops_->Cluster() && ClusterNeedsDatabase(*request))) {
    RunOnWorker(std::move(request), std::move(answer));
    return;
  }
  // Packets, locks and heartbeats only need the connection tables.
  Process(*request, *answer, *user_, users_->Log());
  if (ops_ && type == kCommPacketMsgType &&
      static_cast<const CCommPacketAckMsg&>(*answer).GetStatus() == kForwardSent)
    ops_->Stats().PacketToCard(static_cast<const CCommPacketMsg&>(*request).GetData().size());
  Send(std::move(answer));
}

bool CUserSession::ClusterNeedsDatabase(const CRelayMsg& request) const {
  // Locks live in the database the servers share; a packet goes out from
  // memory unless neither this server nor a lock here knows its card.
  if (request.GetType() == kLockCardMsgType) return true;
  if (request.GetType() != kCommPacketMsgType) return false;
  const auto& packet = static_cast<const CCommPacketMsg&>(request);
  return packet.GetRoute() == kRouteTcp &&
         !ops_->Cluster()->ForwardsFromMemory(packet.GetDeviceID());
}

void CUserSession::LogIn(std::unique_ptr<CRelayMsg> request, std::unique_ptr<CRelayMsg> answer) {
  const std::string& name = static_cast<const CLoginMsg&>(*request).GetUserName();
  const int64_t wait =
      throttle_ ? throttle_->Reserve(address_, name, tarvo::platform::MonotonicMs()) : 0;
  if (wait <= 0) {
    RunOnWorker(std::move(request), std::move(answer));
    return;
  }
  // Nothing else of this connection is handled meanwhile, as if the login
  // were already at a worker.
  at_worker_ = true;
  if (timer_armed_) timer_.cancel();
  timer_armed_ = false;
  login_wait_.expires_after(std::chrono::milliseconds(wait));
  login_wait_.async_wait([self = shared_from_this(), request = std::move(request),
                          answer = std::move(answer)](const std::error_code& ec) mutable {
    if (ec || self->finished_) return;
    self->RunOnWorker(std::move(request), std::move(answer));
  });
}

void CUserSession::RunOnWorker(std::unique_ptr<CRelayMsg> request,
                               std::unique_ptr<CRelayMsg> answer) {
  at_worker_ = true;
  // The peer is not waited for while its request is at the worker: a frame
  // it left unfinished behind that request is timed again afterwards.
  if (timer_armed_) timer_.cancel();
  timer_armed_ = false;
  const bool login = request->GetType() == kLoginMsgType;
  auto job = [self = shared_from_this(), loop = sender_->Executor(), request = std::move(request),
              answer = std::move(answer), user = std::move(user_), login]() mutable {
    Process(*request, *answer, *user, self->users_->Log());
    // A login takes the name while later logins wait (they run in order),
    // so the next login of the same name finds this one online.
    std::string previous = login ? self->TakeUser(*user) : user->GetName();
    std::string login_name =
        login ? static_cast<const CLoginMsg&>(*request).GetUserName() : std::string();
    // "No such user" is also the answer while the database fails; only a
    // name the database truly lacks is a guess.
    const bool counts =
        login && (static_cast<CLoginAckMsg&>(*answer).GetResult() != kLoginNoSuchUser ||
                  FindUser(login_name) == 0);
    asio::post(loop, [self, answer = std::move(answer), user = std::move(user),
                      previous = std::move(previous), counts,
                      login_name = std::move(login_name)]() mutable {
      if (counts) self->LoginAnswered(*answer, login_name);
      self->Answered(std::move(answer), std::move(user), previous);
    });
  };
  if (login)
    workers_.RunInOrder(std::move(job));
  else
    workers_.Run(std::move(job));
}

std::string CUserSession::TakeUser(const CUserRecord& user) {
  std::string previous;
  bool renamed = false;
  {
    std::lock_guard<std::mutex> guard(id_lock_);
    previous = name_;
    renamed = name_ != user.GetName();
    name_ = user.GetName();
    organization_ = user.GetOrganizationName();
  }
  // The user table finds connections by name through its index.
  if (renamed) users_->Reindex(key_);
  return previous;
}

void CUserSession::Answered(std::unique_ptr<CRelayMsg> answer, std::unique_ptr<CUserRecord> user,
                            const std::string& previous) {
  at_worker_ = false;
  user_ = std::move(user);
  if (finished_) {
    // The connection closed while its login went through: that user has
    // left again.
    if (!EqualsIgnoreCase(previous, user_->GetName())) UserLeft(user_->GetName());
    return;
  }
  if (previous != user_->GetName()) UserChanged(previous);
  Send(std::move(answer));
  HandleFrames();
}

void CUserSession::LoginAnswered(const CRelayMsg& answer, const std::string& name) {
  const uint8_t result = static_cast<const CLoginAckMsg&>(answer).GetResult();
  if (result == kLoginOk) {
    if (throttle_) throttle_->Accepted(address_, name);
    users_->Log().WriteLog("login: user " + LogSafe(name) + " from " + address_);
    return;
  }
  // A second login of a user online elsewhere says nothing of the password:
  // it is no guess to slow down, but the operator sees it.
  if (result == kLoginAlreadyOnline) {
    users_->Log().WriteLog(
        "login refused: user " + LogSafe(name) + " from " + address_ + " (already logged in)",
        "login refused from " + address_);
    return;
  }
  if (result != kLoginNoSuchUser && result != kLoginWrongPassword) return;
  if (throttle_) throttle_->Refused(address_, name, tarvo::platform::MonotonicMs());
  users_->Log().WriteLog("login refused: user " + LogSafe(name) + " from " + address_ + " (" +
                         (result == kLoginNoSuchUser ? "no such user" : "wrong password") + ")");
}

void CUserSession::UserChanged(const std::string& previous) {
  if (previous.empty()) {  // the first login
    if (ops_) ops_->Stats().UserIn();
    counted_in_ = true;
    login_deadline_.cancel();
    if (slot_) slot_->Proved();
    splitter_.SetMaxBody(settings_.max_request_body);
  }
  // A second login over the same connection replaces its user: the one it
  // replaced has left unless another connection still carries the name.
  if (!previous.empty() && !EqualsIgnoreCase(previous, user_->GetName())) UserLeft(previous);
}

void CUserSession::Send(std::unique_ptr<CRelayMsg> answer) {
  CRelayPacket out;
  out.SetMessage(std::move(answer));
  int frame_length = 0;
  const uint8_t* frame = out.Build(frame_length);
  // The heartbeat answer has no body and therefore no frame: nothing is sent.
  if (frame && frame_length > 0)
    users_->IssueSendOperation(*sender_, frame, static_cast<size_t>(frame_length));
}

void CUserSession::Finish(const std::string& why) {
  if (finished_) return;
  finished_ = true;
  if (ops_ && !peer_left_) ops_->Stats().Dropped();
  if (ops_ && counted_in_) ops_->Stats().UserOut();
  if (!why.empty()) {
    const std::string name = GetId();
    users_->Log().WriteLog("user connection closed: " + why + " (" + address_ +
                           (name.empty() ? std::string() : ", user " + LogSafe(name)) + ")");
  }
  timer_.cancel();
  login_deadline_.cancel();
  login_wait_.cancel();
  sender_->WhenDrained(0, nullptr);  // a waiting callback would keep this session alive
  users_->Remove(key_);
  sender_->Close();
  UserLeft(GetId());
}

void CUserSession::UserLeft(const std::string& name) {
  if (name.empty() || users_->IsOnline(name)) return;
  // The user left for good: the row shows it (after the login that set it)
  // and the cards are free again.
  workers_.RunInOrder([name] { SetUserOnLine(name, 0); });
  CConnectionRegistry::Instance().ReleaseLocksOf(name);
  if (ops_ && ops_->Cluster()) ops_->Cluster()->UserLeft(name);
}

}  // namespace zv::daemon
