#include "relay/daemon/card_identity.hpp"

#include <cctype>
#include <map>

namespace zv::daemon {
namespace {

std::string Folded(const std::string& id) {
  std::string out = id;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

CCardIdentity::CCardIdentity(const ServerSettings& settings)
    : refusals_(settings.takeover_delay_base_ms, settings.takeover_delay_cap_ms) {}

std::shared_ptr<CCardIdentity> CCardIdentity::Of(const std::shared_ptr<CTcpConnectionTable>& cards,
                                                 const ServerSettings& settings) {
  // Keyed by the table: each server (tests run several in one process) has
  // its own. A table that is gone takes its entry with it, before its
  // address can be reused by a new table.
  struct Kept {
    std::weak_ptr<CTcpConnectionTable> table;
    std::shared_ptr<CCardIdentity> identity;
  };
  static std::mutex lock;
  static std::map<const CTcpConnectionTable*, Kept> kept;
  std::lock_guard<std::mutex> guard(lock);
  std::erase_if(kept, [](const auto& kv) { return kv.second.table.expired(); });
  Kept& k = kept[cards.get()];
  if (!k.identity) k = Kept{cards, std::make_shared<CCardIdentity>(settings)};
  return k.identity;
}

void CCardIdentity::Enter(const std::string& id, const std::shared_ptr<CCardSession>& session,
                          const std::string& address) {
  std::lock_guard<std::mutex> guard(lock_);
  holders_[Folded(id)] = Entry{session, address};
}

void CCardIdentity::Leave(const std::string& id, const CCardSession* session) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = holders_.find(Folded(id));
  if (it == holders_.end()) return;
  // An expired pointer is a holder that is gone too.
  std::shared_ptr<CCardSession> holder = it->second.session.lock();
  if (!holder || holder.get() == session) holders_.erase(it);
}

CCardIdentity::Holder CCardIdentity::Find(const std::string& id) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = holders_.find(Folded(id));
  if (it == holders_.end()) return {};
  return Holder{it->second.session.lock(), it->second.address};
}

}  // namespace zv::daemon
