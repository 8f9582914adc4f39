#include "relay/daemon/db_workers.hpp"

#include "relay/daemon/node_registry.hpp"
#include "relay/server/account_db.hpp"

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

void CDbWorkers::SetCardOnLine(const std::string& device_id, const std::string& node,
                               uint8_t online) {
  if (inline_) {
    CAccountDb db;
    CWriteTransaction transaction(db);
    const std::vector<CardOnLineFlag> flag = {{device_id, node, online}};
    if (observer_) observer_(db, flag);
    WriteCardOnLineFlags(db, flag);
    transaction.Commit();
    return;
  }
  std::lock_guard<std::mutex> guard(flags_lock_);
  if (!batches_.empty() && in_order_posts_.load() == newest_batch_after_) {
    batches_.back().push_back({device_id, node, online});
    return;
  }
  batches_.emplace_back();
  batches_.back().push_back({device_id, node, online});
  newest_batch_after_ = in_order_posts_.load();
  asio::post(in_order_, [this] { WriteCardFlags(); });
}

void CDbWorkers::WriteCardFlags() {
  std::vector<CardOnLineFlag> batch;
  {
    std::lock_guard<std::mutex> guard(flags_lock_);
    if (batches_.empty()) return;
    batch = std::move(batches_.front());
    batches_.pop_front();
  }
  // One transaction for the whole batch, in the order the flags were given,
  // so a card that came and went ends as it left.
  CAccountDb db;
  CWriteTransaction transaction(db);
  if (observer_) observer_(db, batch);
  WriteCardOnLineFlags(db, batch);
  transaction.Commit();
}

void CDbWorkers::Stop() {
  pool_.stop();
  pool_.join();
}

}  // namespace zv::daemon
