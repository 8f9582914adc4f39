// Where the send layer hands its filled contexts: one peer's TCP stream, or
// the server's one UDP socket. Post either takes the context (its completion
// returns it to the pool) and answers 0, or answers a non-zero socket error
// code and leaves the context with the caller.
#pragma once

#include <cstdint>

#include "relay/server/send_context.hpp"

namespace zv {

class CTcpSendTarget {
 public:
  virtual ~CTcpSendTarget() = default;
  virtual uint64_t Id() const = 0;
  // The socket check: whether data may still be sent on this connection.
  virtual bool CanSend() const = 0;
  virtual int Post(CTcpSendContext* context) = 0;
  // Shuts the connection down for sending and closes it.
  virtual void Close() = 0;
};

class CUdpSendTarget {
 public:
  virtual ~CUdpSendTarget() = default;
  virtual uint64_t Id() const = 0;
  // Sends the context's buffer as one datagram to the context's address.
  virtual int Post(CUdpContext* context) = 0;
};

}  // namespace zv
