#include "relay/messages/lock_card_msg.hpp"

#include "relay/messages/counted_string.hpp"

namespace zv {

// Body: counted device ID, lock flag.
int CLockCardMsg::GetBodySize() const {
  return static_cast<int>(CountedSize(device_id_) + 1);
}

void CLockCardMsg::Encode(uint8_t* out) const {
  const size_t pos = PutCounted(out, device_id_);
  out[pos] = lock_;
}

int CLockCardMsg::Decode(const uint8_t* body, int length) {
  if (length <= 2) return 0;
  const size_t size = static_cast<size_t>(length);
  const size_t l = body[0];
  if (size < l + 2) return 0;
  size_t pos = 0;
  TakeCounted(body, size, pos, device_id_, &pos);
  lock_ = body[pos];
  return 1;
}

std::string CLockCardMsg::Describe() const {
  return device_id_ + "," + std::to_string(lock_) + ",";
}

void CLockCardAckMsg::Encode(uint8_t* out) const {
  out[0] = result_;
}

int CLockCardAckMsg::Decode(const uint8_t* body, int length) {
  if (length < 1) return 0;
  result_ = body[0];
  return 1;
}

}  // namespace zv
