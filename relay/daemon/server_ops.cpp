#include "relay/daemon/server_ops.hpp"

namespace zv::daemon {

CServerCounts CServerStats::Take() {
  CServerCounts c;
  c.packets_to_cards = packets_to_cards_.exchange(0, std::memory_order_relaxed);
  c.answers_to_users = answers_to_users_.exchange(0, std::memory_order_relaxed);
  c.bytes = bytes_.exchange(0, std::memory_order_relaxed);
  c.dropped = dropped_.exchange(0, std::memory_order_relaxed);
  return c;
}

CServerOps::CServerOps(const ServerSettings& settings)
    : unknown_cards_(std::make_shared<CUnknownCards>(settings.unknown_card_ttl_ms)) {
  if (settings.log_file.empty()) return;
  unknown_log_.SetPath(settings.log_file);
  unknown_log_.SetSwitch("on");
  unknown_log_.SetRepeatInterval(settings.unknown_card_log_interval_ms);
}

void CServerOps::LogUnknownCard(const std::string& line, const std::string& address) {
  unknown_log_.WriteLog(line, "unknown card from " + address);
}

void CServerOps::FlushLog(bool all) {
  unknown_log_.Flush(all);
}

}  // namespace zv::daemon
