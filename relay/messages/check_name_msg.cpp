#include "relay/messages/check_name_msg.hpp"

#include "relay/messages/counted_string.hpp"

namespace zv {

// An organization (kind 1) joins nothing, so only users and cards name one.
static bool NamesOrganization(uint8_t kind) {
  return kind != 1;
}

// Body: kind, counted name, counted organization (not for kind 1).
int CCheckNameMsg::GetBodySize() const {
  size_t size = 1 + CountedSize(name_);
  if (NamesOrganization(kind_)) size += CountedSize(organization_);
  return static_cast<int>(size);
}

void CCheckNameMsg::Encode(uint8_t* out) const {
  out[0] = kind_;
  const size_t pos = 1 + PutCounted(out + 1, name_);
  if (NamesOrganization(kind_)) PutCounted(out + pos, organization_);
}

int CCheckNameMsg::Decode(const uint8_t* body, int length) {
  if (length <= 1) return 0;
  const size_t size = static_cast<size_t>(length);
  kind_ = body[0];
  const size_t l = body[1];
  if (size < l + 2) return 0;
  size_t pos = 1;
  TakeCounted(body, size, pos, name_, &pos);
  // The organization is optional: taken only when its length byte exists and
  // its counted bytes fit in the body.
  if (NamesOrganization(kind_) && size > pos && size >= body[pos] + l + 3) {
    TakeCounted(body, size, pos, organization_);
  }
  return 1;
}

std::string CCheckNameMsg::Describe() const {
  return std::to_string(kind_) + "," + name_ + "," + organization_ + ",";
}

// Body: kind, counted name, counted organization (not for kind 1), result.
int CCheckNameAckMsg::GetBodySize() const {
  size_t size = 2 + CountedSize(name_);
  if (NamesOrganization(kind_)) size += CountedSize(organization_);
  return static_cast<int>(size);
}

void CCheckNameAckMsg::Encode(uint8_t* out) const {
  out[0] = kind_;
  size_t pos = 1 + PutCounted(out + 1, name_);
  if (NamesOrganization(kind_)) pos += PutCounted(out + pos, organization_);
  out[pos] = result_;
}

int CCheckNameAckMsg::Decode(const uint8_t* body, int length) {
  if (length <= 2) return 0;
  const size_t size = static_cast<size_t>(length);
  kind_ = body[0];
  const size_t l = body[1];
  if (size < l + 3) return 0;
  size_t pos = 1;
  TakeCounted(body, size, pos, name_, &pos);
  if (NamesOrganization(kind_)) {
    const size_t m = body[pos];
    if (size >= l + m + 4) TakeCounted(body, size, pos, organization_);
    pos += 1;
    if (size >= l + m + 4) pos += m;
  }
  // A body that ends where the result byte should be is truncated.
  if (pos >= size) return 0;
  result_ = body[pos];
  return 1;
}

}  // namespace zv
