// The common steps of every command: send the request, wait where the
// command says so, receive the reply into a cleared buffer of the command's
// capacity.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tool/codec/command_requests.hpp"

namespace tarvo {

class ConnectionManager;

RequestAddress AddressOf(const ConnectionManager& link);

// Sends `request` (nothing when it is empty), sleeps `wait_ms`, then
// receives. `reply` is resized to `capacity` and cleared first. Returns the
// reply length, 0 when there is none or nothing was sent. Records what came
// back in link.last_reply.
size_t Exchange(ConnectionManager& link, const Bytes& request, int wait_ms, Bytes* reply,
                size_t capacity);

}  // namespace tarvo
