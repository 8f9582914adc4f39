// Factories of the five media; each keeps its constants and operations in
// its own file and reads the connection manager's settings at each call.
#pragma once

#include <memory>

#include "tool/link/medium.hpp"

namespace tarvo {

class ConnectionManager;

// Empty reads after which a serial reply is abandoned.
inline constexpr int kSerialIdleReadsPerReply = 3;
// Size of the stream-framing output buffer of the serial medium.
inline constexpr size_t kStreamFrameBufferSize = 2048;

std::unique_ptr<Medium> MakeSerialMedium(ConnectionManager& link);
std::unique_ptr<Medium> MakeNetworkMedium(ConnectionManager& link);
std::unique_ptr<Medium> MakeGatewayMedium(ConnectionManager& link);
// route 1 "Zv Server", route 2 "Zv GPRS".
std::unique_ptr<Medium> MakeRelayMedium(ConnectionManager& link, int route);

}  // namespace tarvo
