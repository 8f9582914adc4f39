#include "relay/messages/comm_packet_msg.hpp"

#include <algorithm>

#include "relay/messages/counted_string.hpp"
#include "relay/messages/relay_packet.hpp"

namespace zv {
namespace {

// Copies caller data; lengths that no frame could carry leave no data.
void CopyData(std::vector<uint8_t>& data, const uint8_t* source, int length) {
  data.clear();
  if (!source || length <= 0 || length > kMaxRelayBody) return;
  data.assign(source, source + length);
}

}  // namespace

void CCommPacketMsg::SetData(const uint8_t* data, int length) {
  CopyData(data_, data, length);
}

// Body: counted device ID, route, data to the end of the body.
int CCommPacketMsg::GetBodySize() const {
  return static_cast<int>(CountedSize(device_id_) + 1 + data_.size());
}

void CCommPacketMsg::Encode(uint8_t* out) const {
  size_t pos = PutCounted(out, device_id_);
  out[pos++] = route_;
  std::copy(data_.begin(), data_.end(), out + pos);
}

int CCommPacketMsg::Decode(const uint8_t* body, int length) {
  if (length <= 2) return 0;
  const size_t size = static_cast<size_t>(length);
  const size_t l = body[0];
  if (size < l + 2) return 0;
  size_t pos = 0;
  TakeCounted(body, size, pos, device_id_, &pos);
  route_ = body[pos++];
  data_.assign(body + pos, body + size);
  return 1;
}

std::string CCommPacketMsg::Describe() const {
  return device_id_ + "," + std::to_string(data_.size()) + ",";
}

void CCommPacketAckMsg::SetData(const uint8_t* data, int length) {
  CopyData(data_, data, length);
  status_ = kCardPacketStatus;
}

// Body: status; with status 5 the card's packet to the end of the body.
int CCommPacketAckMsg::GetBodySize() const {
  return status_ == kCardPacketStatus ? static_cast<int>(data_.size()) + 1 : 1;
}

void CCommPacketAckMsg::Encode(uint8_t* out) const {
  out[0] = status_;
  if (status_ == kCardPacketStatus) std::copy(data_.begin(), data_.end(), out + 1);
}

int CCommPacketAckMsg::Decode(const uint8_t* body, int length) {
  if (length < 1) return 0;
  status_ = body[0];
  data_.clear();
  if (status_ == kCardPacketStatus) data_.assign(body + 1, body + length);
  return 1;
}

}  // namespace zv
