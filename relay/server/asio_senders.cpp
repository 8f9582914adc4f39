#include "relay/server/asio_senders.hpp"

#include <span>
#include <vector>

namespace zv {

CAsioTcpSender::CAsioTcpSender(asio::ip::tcp::socket socket, uint64_t id, size_t queue_limit,
                               Serialise serialise, int stall_ms)
    : socket_(std::move(socket)),
      id_(id),
      queue_limit_(queue_limit),
      stall_ms_(stall_ms),
      progress_(std::chrono::steady_clock::now()) {
  if (serialise == Serialise::kOwnStrand) {
    strand_.emplace(asio::make_strand(socket_.get_executor()));
    executor_ = *strand_;
  } else {
    executor_ = socket_.get_executor();
    loop_ = &static_cast<asio::io_context&>(asio::query(executor_, asio::execution::context));
  }
}

bool CAsioTcpSender::RunningHere() const {
  // Asio's type-erased executor cannot tell a strand from a loop reliably, so
  // the sender keeps the typed one it made.
  if (strand_) return strand_->running_in_this_thread();
  return loop_ != nullptr && loop_->get_executor().running_in_this_thread();
}

bool CAsioTcpSender::CanSend() const {
  std::lock_guard<std::mutex> guard(lock_);
  return !closed_ && error_ == 0;
}

bool CAsioTcpSender::Overflowed() const {
  std::lock_guard<std::mutex> guard(lock_);
  return overflowed_;
}

size_t CAsioTcpSender::Queued() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queue_.size();
}

int CAsioTcpSender::Post(CTcpSendContext* context) {
  bool start_here = false;
  bool overflow = false;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (error_) return error_;
    if (closed_) return asio::error::not_connected;
    const auto now = std::chrono::steady_clock::now();
    if (queue_.size() < queue_limit_) {
      if (queue_.empty()) progress_ = now;
      queue_.push_back(context);
      if (writing_) return 0;
      writing_ = true;
      start_here = strand_ && RunningHere();
    } else if (now - progress_ >= std::chrono::milliseconds(stall_ms_)) {
      overflowed_ = overflow = true;
    } else {
      // Full for now (a burst queued within one turn of the loop): this send
      // fails, the connection stays.
      return asio::error::no_buffer_space;
    }
  }
  if (overflow) {
    // Full, and nothing written for the whole stall time: the peer has
    // stopped reading. Keeping the connection would only turn every later
    // send into failure lines in the log, so it is closed.
    Close();
    return asio::error::no_buffer_space;
  }
  // On its own strand already (a connection answering its own request): write
  // now rather than take a second trip through a pool's threads. On a
  // one-thread loop the write waits for the handlers that are ready at this
  // moment, so that what they add for this connection (the answers of several
  // cards, say) leaves in the same gathered write.
  if (start_here) {
    WriteFront();
  } else {
    asio::post(executor_, [self = shared_from_this()] { self->WriteFront(); });
  }
  return 0;
}

void CAsioTcpSender::WriteFront() {
  size_t count = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (queue_.empty()) {
      writing_ = false;
      return;
    }
    for (CTcpSendContext* c : queue_) {
      if (count == kMaxGather) break;
      gather_[count++] = asio::buffer(c->buffer.data(), c->length);
    }
  }
  std::span<const asio::const_buffer> buffers(gather_.data(), count);
  auto done = [self = shared_from_this(), count](const std::error_code& ec, size_t) {
    self->OnWritten(count, ec);
  };
  // On a one-thread loop the socket's executor is already the connection's.
  if (strand_) {
    asio::async_write(socket_, buffers, asio::bind_executor(*strand_, std::move(done)));
  } else {
    asio::async_write(socket_, buffers, std::move(done));
  }
}

void CAsioTcpSender::OnWritten(size_t count, const std::error_code& ec) {
  std::array<CTcpSendContext*, kMaxGather> written{};
  std::vector<CTcpSendContext*> dropped;
  std::function<void()> drained;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (size_t i = 0; i < count; ++i) {
      written[i] = queue_.front();
      queue_.pop_front();
    }
    progress_ = std::chrono::steady_clock::now();
    if (ec) {
      error_ = ec.value() ? ec.value() : asio::error::connection_reset;
      dropped.assign(queue_.begin(), queue_.end());
      queue_.clear();
      writing_ = false;
    }
    if (drained_ && queue_.size() < drained_below_) drained.swap(drained_);
  }
  // Contexts go back to their pool outside the sender's lock.
  for (size_t i = 0; i < count; ++i) written[i]->Release();
  for (CTcpSendContext* c : dropped) c->Release();
  if (!ec) WriteFront();
  if (drained) drained();
}

void CAsioTcpSender::WhenDrained(size_t below, std::function<void()> drained) {
  std::lock_guard<std::mutex> guard(lock_);
  drained_below_ = below;
  drained_ = std::move(drained);
}

void CAsioTcpSender::Close() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return;
    closed_ = true;
  }
  // Socket calls happen on the strand, never beside a read or write in flight.
  asio::post(executor_, [self = shared_from_this()] {
    std::error_code ignored;
    self->socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    self->socket_.close(ignored);
  });
}

CAsioUdpSender::CAsioUdpSender(asio::ip::udp::socket& socket, uint64_t id)
    : socket_(socket), id_(id) {
  MakeNonBlocking();
}

void CAsioUdpSender::MakeNonBlocking() {
  // Set once, before any other thread sends: a full socket answers at once
  // instead of blocking the sending thread.
  std::error_code ignored;
  if (socket_.is_open()) socket_.non_blocking(true, ignored);
}

int CAsioUdpSender::Post(CUdpContext* context) {
  asio::ip::udp::endpoint to = ToEndpoint(context->address);
  std::error_code ec;
  size_t sent = socket_.send_to(asio::buffer(context->buffer.data(), context->length), to, 0, ec);
  if (!ec) {
    (void)sent;  // a datagram is sent whole or not at all
    context->Release();
    return 0;
  }
  if (ec != asio::error::would_block && ec != asio::error::try_again) return ec.value();
  // The socket's own loop waits until it takes the datagram: asynchronous
  // operations on one socket are started from the thread that runs it.
  asio::post(socket_.get_executor(), [&socket = socket_, context, to] {
    socket.async_send_to(asio::buffer(context->buffer.data(), context->length), to,
                         [context](const std::error_code&, size_t) { context->Release(); });
  });
  return 0;
}

asio::ip::udp::endpoint ToEndpoint(const CUdpAddress& a) {
  return asio::ip::udp::endpoint(asio::ip::address_v4(a.address), a.port);
}

CUdpAddress FromEndpoint(const asio::ip::udp::endpoint& e) {
  CUdpAddress a;
  if (e.address().is_v4()) a.address = e.address().to_v4().to_uint();
  a.port = e.port();
  return a;
}

}  // namespace zv
