#include "tool/transfer_timing.hpp"

namespace tarvo {

TransferTiming ProductionTiming() {
  return TransferTiming{};
}

int BlockDelayFor(const TransferTiming& t, int comm_type) {
  if (comm_type == 4) return t.block_delay_zv_server_ms;
  if (comm_type == 5) return t.block_delay_zv_gprs_ms;
  return t.block_delay_ms;
}

int QueryDelayFor(const TransferTiming& t, int comm_type) {
  return comm_type == 5 ? t.query_delay_zv_gprs_ms : t.query_delay_ms;
}

}  // namespace tarvo
