#include "relay/daemon/card_session.hpp"

#include "relay/daemon/card_delivery.hpp"
#include "relay/server/account_status.hpp"

namespace zv::daemon {

CCardSession::CCardSession(asio::ip::tcp::socket socket, uint64_t key,
                           std::shared_ptr<CTcpConnectionTable> cards,
                           const ServerSettings& settings, CDbWorkers& workers,
                           std::unique_ptr<CConnectionSlot> slot)
    : sender_(std::make_shared<CAsioTcpSender>(std::move(socket), key, settings.send_queue_limit,
                                               CAsioTcpSender::Serialise::kSingleLoop)),
      key_(key),
      cards_(std::move(cards)),
      settings_(settings),
      workers_(workers),
      slot_(std::move(slot)),
      timer_(sender_->Executor()) {}

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
    self->cards_->Log().WriteLog("card connection closed: registration or frame timed out");
    self->Finish();
  });
}

void CCardSession::LookUp(const std::string& id) {
  workers_.Run([self = shared_from_this(), loop = sender_->Executor(), id] {
    auto stored = std::make_unique<CCardRecord>();
    if (!LookupCard(id, stored.get())) stored.reset();
    asio::post(loop, [self, id, stored = std::move(stored)] { self->Register(id, stored.get()); });
  });
}

void CCardSession::Register(const std::string& id, const CCardRecord* stored) {
  if (finished_) return;
  if (!stored) {
    cards_->Log().WriteLog("card " + id + " refused: not registered in [Card]");
    Finish();
    return;
  }
  card.SetDeviceID(stored->GetDeviceID());
  card.SetOrganizationName(stored->GetOrganizationName());
  card.SetRegTime(stored->GetRegTime());
  card.SetOnLine(1);
  // A card that reconnects replaces its old connection.
  cards_->DisconnectById(card.GetDeviceID());
  cards_->Add(key_, this);
  workers_.RunInOrder([id = card.GetDeviceID()] { SetCardOnLine(id, 1); });
  registered_ = true;
  if (slot_) slot_->Proved();
  HandleFrames();  // what the card sent behind its registration, then read on
}

void CCardSession::OnRead(const std::error_code& ec, size_t n) {
  if (finished_) return;
  if (ec) {
    // The sender closed the connection because its queue was full.
    if (sender_->Overflowed())
      cards_->Log().WriteLog("card connection closed: it does not read what it is sent");
    Finish();
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
    if (r == SplitResult::kBad || (!registered_ && length != kCardIdLength + 2)) {
      Finish();
      return;
    }
    if (!registered_) {
      const std::string id = CardFrameId(frame);
      splitter_.Consume();
      LookUp(id);
      return;
    }
    if (length > kCardIdLength + 2) {
      std::string owner;
      if (LockState(owner)) DeliverToLockOwner(owner, frame, length);
    }
    splitter_.Consume();
  }
  ArmTimer();
  Read();
}

void CCardSession::Finish() {
  if (finished_) return;
  finished_ = true;
  timer_.cancel();
  sender_->Close();
  if (!registered_) return;
  cards_->Remove(key_);
  ClearLock();
  // Another connection of the same card may have replaced this one.
  if (!cards_->IsOnline(card.GetDeviceID()))
    workers_.RunInOrder([id = card.GetDeviceID()] { SetCardOnLine(id, 0); });
}

}  // namespace zv::daemon
