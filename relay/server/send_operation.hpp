// IssueSendOperation: cuts a packet into pieces of at most 4096 bytes, copies
// each into a context of the table's pool and posts it without waiting for the
// network. Returns 1 when every piece was queued; 0 after a failure, which has
// been written to the log (the socket error line, then the failure line).
// Pieces queued before a failure stay queued.
#pragma once

#include <cstddef>
#include <cstdint>

#include "relay/server/context_pool.hpp"
#include "relay/server/log_writer.hpp"
#include "relay/server/send_target.hpp"

namespace zv {

int IssueSendOperation(CContextPool& pool, CLogWriter& log, CTcpSendTarget& target,
                       const uint8_t* data, size_t length);

int IssueSendOperation(CContextPool& pool, CLogWriter& log, CUdpSendTarget& socket,
                       const CUdpAddress& to, const uint8_t* data, size_t length);

}  // namespace zv
