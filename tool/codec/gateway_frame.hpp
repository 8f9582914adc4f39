// The GPRS gateway's message record carrying one stream-framed packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tool/codec/dcc_message.hpp"

namespace tarvo {

// Clears `message` and fills it as user data for `imei` with the framed
// packet. False when the IMEI or the frame do not fit the record (nothing
// is to be sent then).
bool BuildGatewayMessage(const std::string& imei, const uint8_t* packet, size_t length,
                         DccMessage* message);

// Decodes the stream framing in the data of a received message: the packet
// up to the end byte (a zero byte is written after it when there is room),
// or the bytes collected so far when the data ends without one. 0 when the
// message is not user data, carries no data, claims more data than the
// record holds, or the packet does not fit `capacity`.
size_t DecodeGatewayMessage(const DccMessage& message, uint8_t* destination, size_t capacity);

}  // namespace tarvo
