#include "relay/server/asio_senders.hpp"

#include <vector>

namespace zv {

CAsioTcpSender::CAsioTcpSender(asio::ip::tcp::socket socket, uint64_t id, size_t queue_limit)
    : socket_(std::move(socket)),
      strand_(asio::make_strand(socket_.get_executor())),
      id_(id),
      queue_limit_(queue_limit) {}

bool CAsioTcpSender::CanSend() const {
  std::lock_guard<std::mutex> guard(lock_);
  return !closed_ && error_ == 0;
}

size_t CAsioTcpSender::Queued() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queue_.size();
}

int CAsioTcpSender::Post(CTcpSendContext* context) {
  std::lock_guard<std::mutex> guard(lock_);
  if (error_) return error_;
  if (closed_) return asio::error::not_connected;
  if (queue_.size() >= queue_limit_) return asio::error::no_buffer_space;
  queue_.push_back(context);
  if (!writing_) {
    writing_ = true;
    asio::post(strand_, [self = shared_from_this()] { self->WriteFront(); });
  }
  return 0;
}

void CAsioTcpSender::WriteFront() {
  CTcpSendContext* context = nullptr;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (queue_.empty()) {
      writing_ = false;
      return;
    }
    context = queue_.front();
  }
  asio::async_write(socket_, asio::buffer(context->buffer.data(), context->length),
                    asio::bind_executor(strand_, [self = shared_from_this(), context](
                                                     const std::error_code& ec, size_t) {
                      self->OnWritten(context, ec);
                    }));
}

void CAsioTcpSender::OnWritten(CTcpSendContext* context, const std::error_code& ec) {
  std::vector<CTcpSendContext*> dropped;
  {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.pop_front();
    if (ec) {
      error_ = ec.value() ? ec.value() : asio::error::connection_reset;
      dropped.assign(queue_.begin(), queue_.end());
      queue_.clear();
      writing_ = false;
    }
  }
  // Contexts go back to their pool outside the sender's lock.
  context->Release();
  for (CTcpSendContext* c : dropped) c->Release();
  if (!ec) WriteFront();
}

void CAsioTcpSender::Close() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) return;
    closed_ = true;
  }
  // Socket calls happen on the strand, never beside a read or write in flight.
  asio::post(strand_, [self = shared_from_this()] {
    std::error_code ignored;
    self->socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    self->socket_.close(ignored);
  });
}

int CAsioUdpSender::Post(CUdpContext* context) {
  asio::ip::udp::endpoint to = ToEndpoint(context->address);
  std::error_code ec;
  socket_.non_blocking(true, ec);
  size_t sent = socket_.send_to(asio::buffer(context->buffer.data(), context->length), to, 0, ec);
  if (!ec) {
    (void)sent;  // a datagram is sent whole or not at all
    context->Release();
    return 0;
  }
  if (ec != asio::error::would_block && ec != asio::error::try_again) return ec.value();
  socket_.async_send_to(asio::buffer(context->buffer.data(), context->length), to,
                        [context](const std::error_code&, size_t) { context->Release(); });
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
