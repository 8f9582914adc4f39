#include "sim/gateway_record.hpp"

#include <cstring>

#include "common/wire.hpp"

namespace tarvo::sim {

bool MakeGatewayRecord(const std::string& id, uint8_t type, const uint8_t* data, size_t size,
                       DccMessage* out) {
  if (size > kDccDataSize) return false;
  std::memset(out, 0, sizeof *out);
  std::memcpy(out->id, id.data(), id.size() < kDccIdSize ? id.size() : kDccIdSize - 1);
  out->type = type;
  wire::PutLe16(out->length, static_cast<uint16_t>(size));
  if (size) std::memcpy(out->data, data, size);
  return true;
}

int GatewayRecordDataLength(const DccMessage& record) {
  const uint16_t length = wire::GetLe16(record.length);
  if (length > kDccDataSize || record.zero != 0) return -1;
  return length;
}

std::string GatewayRecordId(const DccMessage& record) {
  return wire::FixedText(reinterpret_cast<const uint8_t*>(record.id), kDccIdSize);
}

}  // namespace tarvo::sim
