// Delivering a card's bytes to the user who holds its lock, as a
// CCommPacketAckMsg with status 5 and the bytes as data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zv::daemon {

// The relay frame of a CCommPacketAckMsg with status 5 carrying `data`,
// written into `frame` (which keeps its capacity from call to call).
void BuildCardPacketFrame(const uint8_t* data, size_t length, std::vector<uint8_t>& frame);

// 1 queued, 0 send failed, -1 the owner is not connected (or no owner).
// An owner on another server sharing the database gets it through that
// server.
int DeliverToLockOwner(const std::string& owner, const uint8_t* data, size_t length);
// The same, for an owner connected to this server only.
int DeliverToUserHere(const std::string& owner, const uint8_t* data, size_t length);

}  // namespace zv::daemon
