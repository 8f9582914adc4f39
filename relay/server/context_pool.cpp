#include "relay/server/context_pool.hpp"

#include <algorithm>

namespace zv {

void COverlappedContext::Reset() {
  socket = 0;
}

void COverlappedContext::Release() {
  if (pool) pool->Release(this);
}

void CBufferContext::Reset() {
  COverlappedContext::Reset();
  // Only the bytes a use carried can be other than zero: clearing those
  // leaves the whole buffer clear without writing 4 KiB per packet.
  std::fill_n(buffer.begin(), std::min<size_t>(length, buffer.size()), uint8_t{0});
  length = 0;
}

void CTcpSendContext::Reset() {
  CBufferContext::Reset();
  operation = kOperationSend;
}

void CUdpContext::Reset() {
  CBufferContext::Reset();
  operation = kOperationReceive;
  address = CUdpAddress{};
  length = kSendPieceSize;
}

CContextPool::CContextPool(int32_t kind, size_t capacity)
    : kind_(kind), capacity_(std::max<size_t>(capacity, 1)) {}

std::unique_ptr<COverlappedContext> CContextPool::Create() const {
  switch (kind_) {
    case kTcpSendContextKind:
      return std::make_unique<CTcpSendContext>();
    case kUdpContextKind:
      return std::make_unique<CUdpContext>();
    case kBufferContext:
      return std::make_unique<CBufferContext>(kBufferContext);
    default:
      return std::make_unique<COverlappedContext>(kPlainContext);
  }
}

COverlappedContext* CContextPool::GetContext() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!free_.empty()) {
    COverlappedContext* c = free_.back();
    free_.pop_back();
    return c;
  }
  if (all_.size() >= capacity_) return nullptr;
  std::unique_ptr<COverlappedContext> c = Create();
  c->index = static_cast<int32_t>(all_.size());
  c->pool = this;
  all_.push_back(std::move(c));
  return all_.back().get();
}

COverlappedContext* CContextPool::GetContext(uint64_t socket, int32_t operation) {
  COverlappedContext* c = GetContext();
  if (c) {
    c->socket = socket;
    c->operation = operation;
  }
  return c;
}

void CContextPool::Release(COverlappedContext* context) {
  if (!context || context->pool != this) return;
  std::lock_guard<std::mutex> guard(lock_);
  context->Reset();
  free_.push_back(context);
}

size_t CContextPool::CreatedCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return all_.size();
}

size_t CContextPool::FreeCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return free_.size();
}

}  // namespace zv
