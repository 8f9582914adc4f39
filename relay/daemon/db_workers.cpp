#include "relay/daemon/db_workers.hpp"

namespace zv::daemon {

CDbWorkers::CDbWorkers(int threads)
    : inline_(threads <= 0),
      pool_(static_cast<size_t>(threads > 0 ? threads : 0)),
      in_order_(asio::make_strand(pool_.get_executor())) {}

CDbWorkers& CDbWorkers::Inline() {
  static CDbWorkers workers(0);
  return workers;
}

CDbWorkers::~CDbWorkers() {
  Stop();
}

void CDbWorkers::Stop() {
  pool_.stop();
  pool_.join();
}

}  // namespace zv::daemon
