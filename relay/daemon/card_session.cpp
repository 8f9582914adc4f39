#include "relay/daemon/card_session.hpp"

#include "platform/clock.hpp"
#include "relay/daemon/card_delivery.hpp"
#include "relay/daemon/card_secrets.hpp"
#include "relay/daemon/cluster.hpp"
#include "relay/daemon/node_registry.hpp"
#include "relay/server/account_status.hpp"

namespace zv::daemon {

using tarvo::platform::MonotonicMs;

namespace {

std::string PeerAddress(asio::ip::tcp::socket& socket) {
  std::error_code ec;
  const asio::ip::tcp::endpoint peer = socket.remote_endpoint(ec);
  return ec ? std::string("?") : peer.address().to_string();
}

}  // namespace

CCardSession::CCardSession(asio::ip::tcp::socket socket, uint64_t key,
                           std::shared_ptr<CTcpConnectionTable> cards,
                           const ServerSettings& settings, CDbWorkers& workers,
                           std::unique_ptr<CConnectionSlot> slot, std::shared_ptr<CServerOps> ops)
    : sender_(std::make_shared<CAsioTcpSender>(std::move(socket), key, settings.send_queue_limit,
                                               CAsioTcpSender::Serialise::kSingleLoop)),
      key_(key),
      cards_(std::move(cards)),
      settings_(settings),
      workers_(workers),
      slot_(std::move(slot)),
      ops_(std::move(ops)),
      timer_(sender_->Executor()),
      identity_(CCardIdentity::Of(cards_, settings)),
      address_(PeerAddress(sender_->Socket())),
      step_timer_(sender_->Executor()) {}

void CCardSession::Start() {
  asio::post(sender_->Executor(), [self = shared_from_this()] {
    self->ArmTimer();
    self->Read();
  });
}

void CCardSession::Read() {
  // The socket's own loop runs the handler: it is this connection's only
  // thread, so no executor needs binding.
  sender_->Socket().async_read_some(
      asio::buffer(read_buffer_),
      [self = shared_from_this()](const std::error_code& ec, size_t n) { self->OnRead(ec, n); });
}

void CCardSession::ArmTimer() {
  // Until it registers a card is on the clock; afterwards only while a frame
  // is unfinished.
  if (registered_ && !splitter_.HasPartial()) {
    if (timer_armed_) timer_.cancel();
    timer_armed_ = false;
    return;
  }
  timer_armed_ = true;
  timer_.expires_after(std::chrono::milliseconds(settings_.half_frame_timeout_ms));
  timer_.async_wait([self = shared_from_this()](const std::error_code& ec) {
    if (ec || self->finished_) return;
    if (self->registered_ && !self->splitter_.HasPartial()) return;
    self->Finish(true, "registration or frame timed out");
  });
}

void CCardSession::LookUp(const std::string& id) {
  workers_.Run([self = shared_from_this(), loop = sender_->Executor(), id] {
    auto stored = std::make_unique<CCardRecord>();
    const int found = FindCard(id, stored.get());
    if (found != 1) stored.reset();
    std::string secret;
    const int secret_state = stored ? ReadCardSecret(id, &secret) : 0;
    asio::post(loop, [self, id, found, stored = std::move(stored), secret_state, secret]() mutable {
      self->OnLookedUp(id, found, std::move(stored), secret_state, secret);
    });
  });
}

void CCardSession::RefuseUnknown(const std::string& id) {
  const std::string line =
      "card " + id + " from " + address_ + " refused: not registered in [Card]";
  if (ops_)
    ops_->LogUnknownCard(line, address_);
  else
    cards_->Log().WriteLog(line);
  Finish();
}

void CCardSession::OnLookedUp(const std::string& id, int found, std::unique_ptr<CCardRecord> stored,
                              int secret_state, const std::string& secret) {
  if (finished_) return;
  if (found == 0) {
    // Only an ID the database truly lacks is remembered, as for UDP cards.
    if (ops_) ops_->UnknownCards()->Add(id, MonotonicMs());
    RefuseUnknown(id);
    return;
  }
  if (!stored) {
    cards_->Log().WriteLog("card " + id + " from " + address_ + " refused: database failed",
                           "card refused from " + address_);
    Finish();
    return;
  }
  if (secret_state < 0) {
    // Letting it in unproved could hand a card with a secret to anyone.
    cards_->Log().WriteLog("card " + id + " refused: its secret cannot be read");
    Finish();
    return;
  }
  claimed_id_ = id;
  stored_ = std::move(stored);
  secret_ = secret;
  const CCardIdentity::Holder holder = identity_->Find(id);
  const bool takeover = holder.session && holder.address != address_;
  if (takeover)
    cards_->Log().WriteLog("card " + id + " registers from " + address_ + " while online from " +
                           holder.address);
  // Proving a secret and taking over a live card are what an impostor
  // repeats: an address refused before waits its turn for them.
  if (takeover || !secret_.empty()) {
    const int64_t wait = identity_->Refusals().Reserve(address_, MonotonicMs());
    if (wait > 0) {
      const uint64_t step = ++step_;
      step_timer_.expires_after(std::chrono::milliseconds(wait));
      step_timer_.async_wait([self = shared_from_this(), step](const std::error_code& ec) {
        if (!ec && step == self->step_) self->Proceed();
      });
      return;
    }
  }
  Proceed();
}

void CCardSession::Proceed() {
  if (finished_) return;
  if (!secret_.empty()) {
    SendChallenge();
    return;
  }
  // Looked at again: the holder may have left during the wait.
  const CCardIdentity::Holder holder = identity_->Find(claimed_id_);
  if (!holder.session || holder.address == address_) {
    // Free, or the same address again (a card that restarted): as always.
    Register();
    return;
  }
  holder.session->RequestProbe([self = shared_from_this(), loop = sender_->Executor(),
                                probed = holder.session.get(),
                                address = holder.address](bool answered) {
    asio::post(loop,
               [self, answered, probed, address] { self->OnProbed(answered, probed, address); });
  });
}

void CCardSession::OnProbed(bool answered, const CCardSession* probed,
                            const std::string& holder_address) {
  if (finished_) return;
  if (answered) {
    identity_->Refusals().Failed(address_, MonotonicMs());
    Refuse("its connection from " + holder_address + " answers");
    return;
  }
  const CCardIdentity::Holder holder = identity_->Find(claimed_id_);
  if (holder.session && holder.session.get() != probed && holder.address != address_) {
    // Another connection took the Device ID meanwhile: it is asked in turn.
    Proceed();
    return;
  }
  cards_->Log().WriteLog("card " + claimed_id_ + " from " + holder_address +
                         " did not answer its probe: replaced by the connection from " + address_);
  identity_->Refusals().Succeeded(address_);
  Register();
}

void CCardSession::SendChallenge() {
  FillNonce(challenge_.data(), challenge_.size());
  const std::vector<uint8_t> frame = CardChallengeFrame(challenge_);
  if (cards_->IssueSendOperation(*sender_, frame.data(), frame.size()) != 1) {
    Finish();
    return;
  }
  challenged_ = true;
  const uint64_t step = ++step_;
  step_timer_.expires_after(std::chrono::milliseconds(settings_.card_probe_timeout_ms));
  step_timer_.async_wait([self = shared_from_this(), step](const std::error_code& ec) {
    if (ec || step != self->step_ || self->finished_ || !self->challenged_) return;
    self->identity_->Refusals().Failed(self->address_, MonotonicMs());
    self->Refuse("no answer to its challenge in time");
  });
  HandleFrames();  // an answer may be waiting already; else read on
}

void CCardSession::OnChallengeAnswer(const uint8_t* frame, size_t length) {
  challenged_ = false;
  ++step_;
  step_timer_.cancel();
  if (!ChallengeAnswered(frame, length, secret_, challenge_, claimed_id_)) {
    identity_->Refusals().Failed(address_, MonotonicMs());
    Refuse("wrong answer to its challenge");
    return;
  }
  identity_->Refusals().Succeeded(address_);
  const CCardIdentity::Holder holder = identity_->Find(claimed_id_);
  if (holder.session && holder.address != address_)
    cards_->Log().WriteLog("card " + claimed_id_ + " from " + address_ +
                           " proved its secret: it replaces the connection from " + holder.address);
  Register();
}

void CCardSession::Refuse(const std::string& why) {
  cards_->Log().WriteLog("card " + claimed_id_ + " refused from " + address_ + ": " + why);
  Finish();
}

void CCardSession::Register() {
  const CCardRecord& stored = *stored_;
  card.SetDeviceID(stored.GetDeviceID());
  card.SetOrganizationName(stored.GetOrganizationName());
  card.SetRegTime(stored.GetRegTime());
  card.SetOnLine(1);
  stored_.reset();
  secret_.clear();
  // A card that reconnects replaces its old connection.
  cards_->DisconnectById(card.GetDeviceID());
  // A card that comes back from another server to one of this server's
  // users enters the table locked, so none of that user's packets finds it
  // unlocked.
  if (ops_ && ops_->Cluster()) {
    const std::string owner = ops_->Cluster()->CardArrived(card.GetDeviceID());
    if (!owner.empty()) SetLock(owner, 1);
  }
  cards_->Add(key_, this);
  identity_->Enter(card.GetDeviceID(), shared_from_this(), address_);
  workers_.SetCardOnLine(card.GetDeviceID(), settings_.node_name, 1);
  registered_ = true;
  cards_->Log().WriteLog("card " + card.GetDeviceID() + " online from " + address_ + NodeSuffix());
  if (slot_) slot_->Proved();
  HandleFrames();  // what the card sent behind its registration, then read on
}

void CCardSession::RequestProbe(std::function<void(bool answered)> done) {
  asio::post(sender_->Executor(), [self = shared_from_this(), done = std::move(done)]() mutable {
    self->StartProbe(std::move(done));
  });
}

void CCardSession::StartProbe(std::function<void(bool)> done) {
  if (finished_ || !registered_) {
    done(false);
    return;
  }
  probe_waiters_.push_back(std::move(done));
  if (probing_) return;  // one probe answers every claimant waiting
  probing_ = true;
  FillNonce(probe_.data(), probe_.size());
  const std::vector<uint8_t> frame = CardProbeFrame(probe_);
  if (cards_->IssueSendOperation(*sender_, frame.data(), frame.size()) != 1) {
    EndProbe(false);
    return;
  }
  const uint64_t step = ++step_;
  step_timer_.expires_after(std::chrono::milliseconds(settings_.card_probe_timeout_ms));
  step_timer_.async_wait([self = shared_from_this(), step](const std::error_code& ec) {
    if (!ec && step == self->step_ && self->probing_) self->EndProbe(false);
  });
}

void CCardSession::EndProbe(bool answered) {
  probing_ = false;
  ++step_;
  step_timer_.cancel();
  std::vector<std::function<void(bool)>> waiters;
  waiters.swap(probe_waiters_);
  for (auto& done : waiters) done(answered);
}

void CCardSession::OnRead(const std::error_code& ec, size_t n) {
  if (finished_) return;
  if (ec) {
    // The sender closed the connection because its queue was full.
    const bool overflowed = sender_->Overflowed();
    Finish(overflowed, overflowed                             ? "it does not read what it is sent"
                       : ec == asio::error::eof               ? "the card closed it"
                       : ec == asio::error::operation_aborted ? "closed by the server"
                                                              : ec.message());
    return;
  }
  splitter_.Append(read_buffer_.data(), n);
  HandleFrames();
}

void CCardSession::HandleFrames() {
  for (;;) {
    const uint8_t* frame = nullptr;
    size_t length = 0;
    SplitResult r = splitter_.Next(&frame, &length);
    if (r == SplitResult::kNeedMore) break;
    if (r == SplitResult::kBad) {
      Finish(true, "malformed card frame");
      return;
    }
    if (challenged_) {
      // Taken out first: a right answer registers the card, which goes on
      // with the frames behind it.
      const std::vector<uint8_t> answer(frame, frame + length);
      splitter_.Consume();
      OnChallengeAnswer(answer.data(), answer.size());
      return;
    }
    if (!registered_) {
      if (length != kCardIdLength + 2) {
        Finish(true, "its first frame is no registration");
        return;
      }
      const std::string id = CardFrameId(frame);
      splitter_.Consume();
      // A Device ID [Card] lacked a moment ago costs no lookup.
      if (ops_ && ops_->UnknownCards()->Contains(id, MonotonicMs())) {
        RefuseUnknown(id);
        return;
      }
      LookUp(id);
      return;
    }
    switch (ClassifyCardFrame(frame, length)) {
      case CardFrameKind::kProbeAnswer:
        if (probing_ && ProbeAnswered(frame, length, probe_)) EndProbe(true);
        break;
      case CardFrameKind::kChallengeAnswer:
        // Late, or provoked by bytes a user forwarded: an answer to a
        // challenge never reaches a user, who could replay it.
        break;
      case CardFrameKind::kPacket:
        if (length > kCardIdLength + 2) {
          std::string owner;
          if (LockState(owner) && DeliverToLockOwner(owner, frame, length) == 1 && ops_)
            ops_->Stats().AnswerToUser(length);
        }
        break;
    }
    splitter_.Consume();
  }
  ArmTimer();
  Read();
}

void CCardSession::Finish(bool dropped, const std::string& why) {
  if (finished_) return;
  finished_ = true;
  if (!registered_ && !why.empty())
    cards_->Log().WriteLog("card connection closed: " + why + " (" + address_ + ")");
  if (dropped && ops_) ops_->Stats().Dropped();
  timer_.cancel();
  if (probing_) EndProbe(false);
  ++step_;
  step_timer_.cancel();
  sender_->Close();
  if (!registered_) return;
  identity_->Leave(card.GetDeviceID(), this);
  cards_->Remove(key_);
  ClearLock();
  // Another connection of the same card may have replaced this one.
  if (!cards_->IsOnline(card.GetDeviceID())) {
    if (ops_ && ops_->Cluster()) ops_->Cluster()->CardLeft(card.GetDeviceID());
    workers_.SetCardOnLine(card.GetDeviceID(), settings_.node_name, 0);
  }
  cards_->Log().WriteLog("card " + card.GetDeviceID() + " offline from " + address_ + NodeSuffix() +
                         (!why.empty() ? ": " + why
                          : dropped    ? ": closed by the server"
                                       : ""));
}

std::string CCardSession::NodeSuffix() const {
  return settings_.node_name.empty() ? std::string() : " (node " + settings_.node_name + ")";
}

}  // namespace zv::daemon
