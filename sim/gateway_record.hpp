// The records exchanged between libdcc.so and the simulator's gateway port:
// every DccMessage travels whole, 1528 bytes, in both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tool/codec/dcc_message.hpp"

namespace tarvo::sim {

inline constexpr size_t kGatewayRecordSize = sizeof(DccMessage);

// A record with the identifier, type and data filled and everything else
// zero. False (and nothing filled) when the data does not fit.
bool MakeGatewayRecord(const std::string& id, uint8_t type, const uint8_t* data, size_t size,
                       DccMessage* out);
// The data length of a record, or -1 when the record is malformed (length
// beyond the data field or the zero byte not zero).
int GatewayRecordDataLength(const DccMessage& record);
// The identifier text (stops at the first zero or the field's end).
std::string GatewayRecordId(const DccMessage& record);

}  // namespace tarvo::sim
