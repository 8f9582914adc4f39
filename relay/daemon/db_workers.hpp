// The database workers of zvrelayd: a small pool of threads that do the
// account work (logins, queries, record operations, name checks, card
// registration lookups, OnLine flags), so that a statement waiting for a lock
// another program holds, or for a slow disk, never holds up an event loop,
// where every connection's forwarding runs. A job posts its result back to
// the loop of its connection itself.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "relay/daemon/node_registry.hpp"

namespace zv::daemon {

class CDbWorkers {
 public:
  // `threads` workers; with 0 every job runs at once on the thread that
  // gives it (see Inline).
  explicit CDbWorkers(int threads);
  ~CDbWorkers();
  CDbWorkers(const CDbWorkers&) = delete;
  CDbWorkers& operator=(const CDbWorkers&) = delete;

  // Workers without threads, for a program that drives one session by
  // itself (a fuzz target polling its own loop): the account work runs
  // inside the handler that asks for it, and its result still comes back
  // through the loop.
  static CDbWorkers& Inline();

  // Runs `job` on a free worker; jobs given here run side by side.
  template <class Job>
  void Run(Job&& job) {
    if (inline_)
      job();
    else
      asio::post(pool_, std::forward<Job>(job));
  }
  // Runs `job` after every job given here before it has ended, one at a
  // time: logins (a user already online must be seen by the next login of
  // the same name) and the OnLine flags (a card that leaves just after it
  // came ends offline).
  template <class Job>
  void RunInOrder(Job&& job) {
    if (inline_) {
      job();
      return;
    }
    ++in_order_posts_;
    asio::post(in_order_, std::forward<Job>(job));
  }
  // A card came online (1) or left (0), on `node` ("": a server without a
  // node name). Runs in order like RunInOrder, but the flags given one after
  // another while none of them has been written yet are written together in
  // one transaction: a fleet that reconnects at once after a restart costs a
  // few commits instead of one per card.
  void SetCardOnLine(const std::string& device_id, const std::string& node, uint8_t online);
  // Runs inside each batch's transaction before its flags are written, with
  // the batch (the servers sharing a database read what the cards bring
  // along there: their former server and their lock). Set before the first
  // flag.
  using FlagObserver = std::function<void(CAccountDb&, const std::vector<CardOnLineFlag>&)>;
  void SetFlagObserver(FlagObserver observer) { observer_ = std::move(observer); }
  // Lets the jobs that run end and drops those still waiting. Idempotent.
  void Stop();

 private:
  // On a worker, in order: writes the oldest batch.
  void WriteCardFlags();

  const bool inline_;
  asio::thread_pool pool_;
  asio::strand<asio::thread_pool::executor_type> in_order_;
  // Jobs given to RunInOrder so far. A flag joins the newest batch only when
  // no other job was given after that batch's write: the flags keep their
  // place among the other jobs.
  std::atomic<uint64_t> in_order_posts_{0};
  std::mutex flags_lock_;
  std::deque<std::vector<CardOnLineFlag>> batches_;  // each with its write job waiting
  uint64_t newest_batch_after_ = 0;                  // in_order_posts_ when it was made
  FlagObserver observer_;
};

}  // namespace zv::daemon
