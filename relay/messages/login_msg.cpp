#include "relay/messages/login_msg.hpp"

#include "common/wire.hpp"
#include "relay/messages/counted_string.hpp"

namespace zv {

// Body: counted user name, counted password.
int CLoginMsg::GetBodySize() const {
  return static_cast<int>(CountedSize(user_name_) + CountedSize(password_));
}

void CLoginMsg::Encode(uint8_t* out) const {
  const size_t pos = PutCounted(out, user_name_);
  PutCounted(out + pos, password_);
}

int CLoginMsg::Decode(const uint8_t* body, int length) {
  if (length <= 2) return 0;
  const size_t size = static_cast<size_t>(length);
  const size_t l1 = body[0];
  if (size < l1 + 2) return 0;
  size_t pos = 0;
  TakeCounted(body, size, pos, user_name_, &pos);
  const size_t l2 = body[pos];
  if (size < l1 + l2 + 2) return 0;
  TakeCounted(body, size, pos, password_);
  return 1;
}

// Body: result; with result 1 the user record's body size (32-bit) and body.
int CLoginAckMsg::GetBodySize() const {
  return result_ == kLoginOk ? user_.GetBodySize() + 5 : 1;
}

void CLoginAckMsg::Encode(uint8_t* out) const {
  out[0] = result_;
  if (result_ != kLoginOk) return;
  tarvo::wire::PutLe32(out + 1, static_cast<uint32_t>(user_.GetBodySize()));
  user_.Encode(out + 5);
}

int CLoginAckMsg::Decode(const uint8_t* body, int length) {
  if (length < 1) return 0;
  result_ = body[0];
  if (result_ != kLoginOk || length <= 5) return 1;
  const int64_t n = static_cast<int32_t>(tarvo::wire::GetLe32(body + 1));
  if (length < n + 5) return 0;
  // The answer stands even when the record inside is malformed; the record
  // itself rejects a negative size.
  user_.Decode(body + 5, static_cast<int>(n));
  return 1;
}

}  // namespace zv
