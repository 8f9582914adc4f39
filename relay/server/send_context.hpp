// Send contexts: the buffers handed to an asynchronous send. A context is
// taken from its pool, filled with one piece of at most 4096 bytes, handed to
// the socket, and returned to the pool by the send's completion handler.
#pragma once

#include <array>
#include <cstdint>

namespace zv {

class CContextPool;

// Kinds of context a pool can make. The send layer asks only for 1 and 3.
enum ContextKind : int32_t {
  kPlainContext = 0,
  kTcpSendContextKind = 1,
  kBufferContext = 2,
  kUdpContextKind = 3,
};

// What a context is used for.
enum ContextOperation : int32_t {
  kOperationNone = -1,
  kOperationReceive = 1,
  kOperationSend = 2,
};

inline constexpr uint32_t kSendPieceSize = 4096;

// An IPv4 destination: the address with its first octet in the high byte, and the port.
struct CUdpAddress {
  uint32_t address = 0;
  uint16_t port = 0;
  bool operator==(const CUdpAddress&) const = default;
};

class COverlappedContext {
 public:
  explicit COverlappedContext(int32_t kind) : kind_(kind) {}
  virtual ~COverlappedContext() = default;
  COverlappedContext(const COverlappedContext&) = delete;
  COverlappedContext& operator=(const COverlappedContext&) = delete;

  int32_t Kind() const { return kind_; }
  // Prepares the context for reuse; called by the pool on release.
  virtual void Reset();
  // Returns the context to the pool that created it.
  void Release();

  uint64_t socket = 0;  // the send target's identifier
  int32_t operation = kOperationNone;
  int32_t index = -1;  // position in the pool's list of all contexts
  CContextPool* pool = nullptr;

 private:
  int32_t kind_;
};

// A context with a zero-filled buffer of at least 4096 bytes (kind 0 has none).
class CBufferContext : public COverlappedContext {
 public:
  explicit CBufferContext(int32_t kind) : COverlappedContext(kind) {}
  void Reset() override;
  std::array<uint8_t, kSendPieceSize> buffer{};
  uint32_t length = 0;  // bytes of the buffer that the send carries
};

class CTcpSendContext : public CBufferContext {
 public:
  CTcpSendContext() : CBufferContext(kTcpSendContextKind) { operation = kOperationSend; }
  void Reset() override;
};

class CUdpContext : public CBufferContext {
 public:
  CUdpContext() : CBufferContext(kUdpContextKind) {
    operation = kOperationReceive;
    length = kSendPieceSize;
  }
  void Reset() override;
  CUdpAddress address;
};

}  // namespace zv
