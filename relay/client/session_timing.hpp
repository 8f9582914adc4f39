// Replacing the pauses and time-outs of the library's process-wide session.
//
// Programs that drive the library in tests (tarvo-cli --fast-pacing) hand in
// short values so that they never wait for the production pacing; the
// values apply to the next connection the session makes (the next login).
#pragma once

#include "relay/client/relay_socket_timing.hpp"

namespace zv {

// Exported from libZvServerAPI.so beside the nine C entry points. Never
// throws; returns 1.
int SetSessionTiming(const RelaySocketTiming& timing) noexcept;

}  // namespace zv
