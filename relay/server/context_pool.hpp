// A pool of reusable send contexts of one kind.
//
// GetContext pops a free context or creates a new one; Release (called by
// the completion handler) resets it and pushes it back. The pool owns every
// context it created, so nothing is lost when the free stack is full, and it
// creates at most `capacity` of them: when that many are in flight at once
// GetContext answers none, which the send layer reports as a failure instead
// of letting memory grow without bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "relay/server/send_context.hpp"

namespace zv {

class CContextPool {
 public:
  // 16384 contexts of 4 KiB: up to 64 MiB in flight per table.
  static constexpr size_t kDefaultCapacity = 16384;

  explicit CContextPool(int32_t kind, size_t capacity = kDefaultCapacity);
  CContextPool(const CContextPool&) = delete;
  CContextPool& operator=(const CContextPool&) = delete;

  int32_t Kind() const { return kind_; }

  // A context ready for use, or nullptr when none can be made.
  COverlappedContext* GetContext();
  // The same, storing the socket and the operation into the context (UDP pool).
  COverlappedContext* GetContext(uint64_t socket, int32_t operation);
  // Resets the context and puts it back on the free stack.
  void Release(COverlappedContext* context);

  size_t CreatedCount() const;
  size_t FreeCount() const;
  size_t Capacity() const { return capacity_; }

 private:
  std::unique_ptr<COverlappedContext> Create() const;

  const int32_t kind_;
  const size_t capacity_;
  mutable std::mutex lock_;
  std::vector<std::unique_ptr<COverlappedContext>> all_;
  std::vector<COverlappedContext*> free_;
};

}  // namespace zv
