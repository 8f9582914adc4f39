// The send targets on standalone Asio.
//
// CAsioTcpSender owns a connection's socket and the executor that serialises
// its work: a strand of its own when the socket's event loop runs on several
// threads, or the loop itself when only one thread runs it (a strand there
// would add a queue and a lock to every handler for nothing). Posted contexts wait
// in a bounded queue and are written in order, one write at a time, so pieces
// of a packet never interleave with another packet's pieces; the contexts that
// are waiting when a write starts go out together in one gathered write (up to
// kMaxGather), and each completed write returns its contexts to the pool. A
// post made on the sender's own strand starts the write at once instead of
// queuing a hop through the event loop; on a one-thread loop the write is
// queued behind the handlers already ready, which gathers more into it. A failed write marks the
// sender broken: every context still queued is released and later posts answer the error.
//
// CAsioUdpSender wraps the server's UDP socket: a datagram is sent at once
// when the socket accepts it, else queued with Asio until it does.
#pragma once

#include <array>
#include <asio.hpp>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "relay/server/send_target.hpp"

namespace zv {

class CAsioTcpSender : public CTcpSendTarget, public std::enable_shared_from_this<CAsioTcpSender> {
 public:
  // 256 pieces of 4 KiB: 1 MiB may wait per connection before posts fail.
  static constexpr size_t kDefaultQueueLimit = 256;
  // Contexts written by one gathered write at most.
  static constexpr size_t kMaxGather = 16;
  // A full queue with no write completed for this long means the peer has
  // stopped reading.
  static constexpr int kDefaultStallMs = 5000;

  // How the connection's handlers are kept from running at the same time.
  enum class Serialise {
    kOwnStrand,   // the socket's loop may run on several threads
    kSingleLoop,  // exactly one thread runs the socket's loop
  };

  CAsioTcpSender(asio::ip::tcp::socket socket, uint64_t id, size_t queue_limit = kDefaultQueueLimit,
                 Serialise serialise = Serialise::kOwnStrand, int stall_ms = kDefaultStallMs);

  asio::ip::tcp::socket& Socket() { return socket_; }
  // Every handler of the connection runs on this executor.
  const asio::any_io_executor& Executor() const { return executor_; }
  // Whether the caller runs on that executor right now.
  bool RunningHere() const;

  uint64_t Id() const override { return id_; }
  bool CanSend() const override;
  int Post(CTcpSendContext* context) override;
  void Close() override;
  size_t Queued() const;
  size_t QueueLimit() const { return queue_limit_; }
  // A post found the queue full long after the last completed write and
  // closed the connection: the peer had stopped reading.
  bool Overflowed() const;
  // Calls `drained` once, on the connection's executor, when a completed
  // write leaves fewer than `below` contexts queued or the connection breaks.
  // Replaces an earlier callback that has not been called.
  void WhenDrained(size_t below, std::function<void()> drained);

 private:
  void WriteFront();
  void OnWritten(size_t count, const std::error_code& ec);

  asio::ip::tcp::socket socket_;
  asio::any_io_executor executor_;
  std::optional<asio::strand<asio::any_io_executor>> strand_;  // kOwnStrand
  asio::io_context* loop_ = nullptr;                           // kSingleLoop
  const uint64_t id_;
  const size_t queue_limit_;
  mutable std::mutex lock_;
  std::deque<CTcpSendContext*> queue_;
  // The buffers of the write in flight (only the strand touches them).
  std::array<asio::const_buffer, kMaxGather> gather_{};
  bool writing_ = false;
  bool closed_ = false;
  bool overflowed_ = false;
  int error_ = 0;
  const int stall_ms_;
  // When the last write completed, or the queue last started from empty.
  std::chrono::steady_clock::time_point progress_;
  size_t drained_below_ = 0;
  std::function<void()> drained_;
};

class CAsioUdpSender : public CUdpSendTarget {
 public:
  CAsioUdpSender(asio::ip::udp::socket& socket, uint64_t id);
  // Puts the socket into non-blocking mode; the constructor does it for a
  // socket that is already open, its owner after opening it otherwise.
  void MakeNonBlocking();
  uint64_t Id() const override { return id_; }
  int Post(CUdpContext* context) override;

 private:
  asio::ip::udp::socket& socket_;
  const uint64_t id_;
};

asio::ip::udp::endpoint ToEndpoint(const CUdpAddress& a);
CUdpAddress FromEndpoint(const asio::ip::udp::endpoint& e);

}  // namespace zv
