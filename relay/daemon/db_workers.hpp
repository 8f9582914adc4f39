// The database workers of zvrelayd: a small pool of threads that do the
// account work (logins, queries, record operations, name checks, card
// registration lookups, OnLine flags), so that a statement waiting for a lock
// another program holds, or for a slow disk, never holds up an event loop,
// where every connection's forwarding runs. A job posts its result back to
// the loop of its connection itself.
#pragma once

#include <asio.hpp>
#include <utility>

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
    if (inline_)
      job();
    else
      asio::post(in_order_, std::forward<Job>(job));
  }
  // Lets the jobs that run end and drops those still waiting. Idempotent.
  void Stop();

 private:
  const bool inline_;
  asio::thread_pool pool_;
  asio::strand<asio::thread_pool::executor_type> in_order_;
};

}  // namespace zv::daemon
