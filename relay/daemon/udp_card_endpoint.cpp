#include "relay/daemon/udp_card_endpoint.hpp"

#include "platform/clock.hpp"
#include "relay/daemon/card_delivery.hpp"
#include "relay/daemon/card_secrets.hpp"
#include "relay/daemon/node_registry.hpp"
#include "relay/daemon/stream_frames.hpp"
#include "relay/server/account_status.hpp"

namespace zv::daemon {
namespace {
// Registrations looked up at once: a few times the database workers in all,
// and a few per address, so one sender cannot take every place.
constexpr int kMaxUdpLookups = 64;
constexpr int kMaxUdpLookupsPerAddress = 4;
}  // namespace

CUdpCardEndpoint::CUdpCardEndpoint(asio::io_context& io, const asio::ip::udp::endpoint& at,
                                   std::error_code* ec)
    : socket_(io), sender_(socket_, 0) {
  socket_.open(at.protocol(), *ec);
  if (!*ec) socket_.bind(at, *ec);
  if (!*ec) sender_.MakeNonBlocking();
}

CUdpCardEndpoint::~CUdpCardEndpoint() {
  Close();
}

void CUdpCardEndpoint::Close() {
  std::error_code ignored;
  socket_.close(ignored);
}

uint16_t CUdpCardEndpoint::Port() const {
  std::error_code ec;
  return socket_.local_endpoint(ec).port();
}

void CUdpCardEndpoint::Start(std::shared_ptr<CUdpCardTable> table, CDbWorkers& workers,
                             std::shared_ptr<CServerOps> ops, const std::string& node) {
  table_ = std::move(table);
  workers_ = &workers;
  ops_ = std::move(ops);
  node_ = node;
  node_suffix_ = node.empty() ? std::string() : " (node " + node + ")";
  Receive();
}

void CUdpCardEndpoint::Receive() {
  socket_.async_receive_from(asio::buffer(buffer_), from_,
                             [this](const std::error_code& ec, size_t n) {
                               if (ec == asio::error::operation_aborted || !socket_.is_open())
                                 return;
                               if (!ec) OnDatagram(n);
                               Receive();
                             });
}

void CUdpCardEndpoint::OnDatagram(size_t size) {
  UdpCardDatagram d;
  if (!ParseUdpCardDatagram(buffer_.data(), size, &d)) return;
  CUdpAddress address = FromEndpoint(from_);
  if (d.registration) {
    if (ops_->UnknownCards()->Contains(d.device_id, tarvo::platform::MonotonicMs())) return;
    if (!lookups_->Take(address.address)) return;
    workers_->Run([this, loop = socket_.get_executor(), id = d.device_id, address,
                   lookups = lookups_] {
      auto stored = std::make_unique<CCardRecord>();
      const int found = FindCard(id, stored.get());
      lookups->Give(address.address);
      if (found != 1) {
        const std::string from = ToEndpoint(address).address().to_string();
        // A database that fails says nothing about the card: only a card
        // [Card] lacks is remembered, and named once per interval.
        if (found == 0) {
          ops_->UnknownCards()->Add(id, tarvo::platform::MonotonicMs());
          ops_->LogUnknownCard(
              "UDP card " + id + " from " + from + " refused: not registered in [Card]", from);
        } else {
          table_->Log().WriteLog("UDP card " + id + " from " + from + " refused: database failed",
                                 "UDP card refused from " + from);
        }
        return;
      }
      // A UDP card cannot answer a challenge: a card with a secret registers over TCP.
      if (std::string secret; ReadCardSecret(id, &secret) != 0) {
        table_->Log().WriteLog("UDP card " + id + " refused: it has a secret (TCP only)");
        return;
      }
      asio::post(loop, [this, stored = std::move(stored), address] { Register(*stored, address); });
    });
    return;
  }
  if (!table_->UpdateAddress(d.device_id, address)) return;
  std::string owner;
  if (table_->LockOwnerOf(d.device_id, &owner) && !owner.empty() &&
      DeliverToLockOwner(owner, buffer_.data(), size) == 1)
    ops_->Stats().AnswerToUser(size);
}

bool CUdpCardEndpoint::Lookups::Take(uint32_t address) {
  std::lock_guard<std::mutex> guard(lock);
  if (total >= kMaxUdpLookups) return false;
  int& mine = per_address[address];
  if (mine >= kMaxUdpLookupsPerAddress) return false;
  ++mine;
  ++total;
  return true;
}

void CUdpCardEndpoint::Lookups::Give(uint32_t address) {
  std::lock_guard<std::mutex> guard(lock);
  --total;
  auto it = per_address.find(address);
  if (it != per_address.end() && --it->second <= 0) per_address.erase(it);
}

void CUdpCardEndpoint::Register(const CCardRecord& stored, const CUdpAddress& address) {
  auto connection = std::make_unique<CUdpCardConnection>();
  connection->card.SetDeviceID(stored.GetDeviceID());
  connection->card.SetOrganizationName(stored.GetOrganizationName());
  connection->card.SetRegTime(stored.GetRegTime());
  connection->card.SetOnLine(1);
  if (!table_->Register(std::move(connection), address)) return;
  workers_->SetCardOnLine(stored.GetDeviceID(), node_, 1);
  table_->Log().WriteLog("UDP card " + stored.GetDeviceID() + " online from " +
                         ToEndpoint(address).address().to_string() + node_suffix_);
}

}  // namespace zv::daemon
