#include "relay/daemon/user_session.hpp"

#include <algorithm>

#include "relay/messages/relay_packet.hpp"
#include "relay/server/account_status.hpp"
#include "relay/server/connection_registry.hpp"

namespace zv::daemon {

CUserSession::CUserSession(asio::ip::tcp::socket socket, uint64_t key,
                           std::shared_ptr<CTcpConnectionTable> users,
                           const ServerSettings& settings)
    : sender_(std::make_shared<CAsioTcpSender>(std::move(socket), key, settings.send_queue_limit,
                                               CAsioTcpSender::Serialise::kSingleLoop)),
      key_(key),
      users_(std::move(users)),
      settings_(settings),
      timer_(sender_->Executor()),
      login_deadline_(sender_->Executor()),
      splitter_(settings.max_request_body) {}

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
    if (ec || self->finished_ || !self->name_.empty()) return;
    self->users_->Log().WriteLog("user connection closed: no login in time");
    self->Finish();
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
    self->users_->Log().WriteLog(self->paused_
                                     ? "user connection closed: it does not read its answers"
                                     : "user connection closed: unfinished frame timed out");
    self->Finish();
  });
}

void CUserSession::OnRead(const std::error_code& ec, size_t n) {
  if (finished_) return;
  if (ec) {
    Finish();
    return;
  }
  splitter_.Append(read_buffer_.data(), n);
  HandleFrames();
}

void CUserSession::HandleFrames() {
  for (;;) {
    // A send queue closed for a peer that stopped reading, or a write that
    // failed: the requests still waiting could only fail to be answered.
    if (sender_->Overflowed()) {
      users_->Log().WriteLog("user connection closed: it does not read its answers");
      Finish();
      return;
    }
    if (!sender_->CanSend()) {
      Finish();
      return;
    }
    uint16_t type = 0;
    const uint8_t* body = nullptr;
    uint32_t length = 0;
    SplitResult r = splitter_.Next(&type, &body, &length);
    if (r == SplitResult::kNeedMore) break;
    if (r == SplitResult::kBad) {
      users_->Log().WriteLog("user connection closed: malformed relay frame");
      Finish();
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
  CRelayPacket request(type);
  CRelayMsg* message = request.GetMessage();
  if (!message || !message->Decode(body, static_cast<int>(length))) return;
  std::unique_ptr<CRelayMsg> answer = CreateRelayMsg(static_cast<uint16_t>(kAnswerTypeBase + type));
  if (!answer) return;
  try {
    answer->Process(*message, user_);
  } catch (const CDbError& e) {
    // The answer goes out as far as it was filled; the database's text is logged.
    // A login describes nothing (its password stays out of the log): the
    // type number says which request it was.
    users_->Log().WriteLog("database error while processing request " + std::to_string(type) +
                           " [" + message->Describe() + "]: " + DbErrorText(e.code, e.description));
  }
  // Only this loop writes name_ and organization_, so reading them here needs
  // no lock; other threads read them under it.
  if (name_ != user_.GetName() || organization_ != user_.GetOrganizationName()) {
    std::string previous = name_;
    bool renamed = false;
    {
      std::lock_guard<std::mutex> guard(id_lock_);
      renamed = name_ != user_.GetName();
      name_ = user_.GetName();
      organization_ = user_.GetOrganizationName();
    }
    // The user table finds connections by name through its index.
    if (renamed) users_->Reindex(key_);
    if (previous.empty()) login_deadline_.cancel();  // the first login
    // A second login over the same connection replaces its user: the one it
    // replaced has left unless another connection still carries the name.
    if (!previous.empty() && !EqualsIgnoreCase(previous, user_.GetName())) UserLeft(previous);
  }
  CRelayPacket out;
  out.SetMessage(std::move(answer));
  int frame_length = 0;
  const uint8_t* frame = out.Build(frame_length);
  // The heartbeat answer has no body and therefore no frame: nothing is sent.
  if (frame && frame_length > 0)
    users_->IssueSendOperation(*sender_, frame, static_cast<size_t>(frame_length));
}

void CUserSession::Finish() {
  if (finished_) return;
  finished_ = true;
  timer_.cancel();
  login_deadline_.cancel();
  sender_->WhenDrained(0, nullptr);  // a waiting callback would keep this session alive
  users_->Remove(key_);
  sender_->Close();
  UserLeft(GetId());
}

void CUserSession::UserLeft(const std::string& name) {
  if (name.empty() || users_->IsOnline(name)) return;
  // The user left for good: the row shows it and the cards are free again.
  SetUserOnLine(name, 0);
  CConnectionRegistry::Instance().ReleaseLocksOf(name);
}

}  // namespace zv::daemon
