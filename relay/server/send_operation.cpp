#include "relay/server/send_operation.hpp"

#include <algorithm>
#include <cstring>

#include "relay/server/server_texts.hpp"
#include "relay/server/srv_exception.hpp"

namespace zv {
namespace {

// Reports a failure the way every send failure is reported: one log line
// with the message, the source line and the error code -1; result 0.
int Fail(CLogWriter& log, const char* message, int line) {
  log.LogException(CSrvException(message, -1, line));
  return 0;
}

// One loop for both media: take a context, copy the next piece, post it.
template <typename Context, typename GetFn, typename PostFn>
int SendPieces(CLogWriter& log, const uint8_t* data, size_t length, const char* no_context_text,
               GetFn get, PostFn post) {
  if (length == 0 || data == nullptr) return Fail(log, texts::kSendFailed, __LINE__);
  size_t remaining = length;
  while (remaining != 0) {
    Context* context = get();
    if (!context) return Fail(log, no_context_text, __LINE__);
    uint32_t n = static_cast<uint32_t>(std::min<size_t>(remaining, context->length));
    std::memcpy(context->buffer.data(), data + (length - remaining), n);
    context->length = n;
    remaining -= n;
    int error = post(context);
    if (error != 0) {
      // The context goes back before the log lock is taken: the pool lock and
      // the log lock are never held together.
      context->Release();
      log.LogSendError(texts::kSendFunction, error);
      return Fail(log, texts::kSendFailed, __LINE__);
    }
  }
  return 1;
}

}  // namespace

int IssueSendOperation(CContextPool& pool, CLogWriter& log, CTcpSendTarget& target,
                       const uint8_t* data, size_t length) {
  return SendPieces<CTcpSendContext>(
      log, data, length, texts::kNoTcpContext,
      [&]() -> CTcpSendContext* {
        if (pool.Kind() != kTcpSendContextKind) return nullptr;
        auto* c = static_cast<CTcpSendContext*>(pool.GetContext());
        if (c) {
          c->socket = target.Id();
          c->length = kSendPieceSize;
        }
        return c;
      },
      [&](CTcpSendContext* c) { return target.Post(c); });
}

int IssueSendOperation(CContextPool& pool, CLogWriter& log, CUdpSendTarget& socket,
                       const CUdpAddress& to, const uint8_t* data, size_t length) {
  return SendPieces<CUdpContext>(
      log, data, length, texts::kNoUdpContext,
      [&]() -> CUdpContext* {
        if (pool.Kind() != kUdpContextKind) return nullptr;
        auto* c = static_cast<CUdpContext*>(pool.GetContext(socket.Id(), kOperationSend));
        if (c) c->address = to;
        return c;
      },
      [&](CUdpContext* c) { return socket.Post(c); });
}

}  // namespace zv
