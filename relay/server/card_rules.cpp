#include "relay/server/card_rules.hpp"

#include "relay/messages/comm_packet_msg.hpp"

namespace zv {

bool MayLockCard(const CUserRecord& user, const CConnection& card) {
  return MayLockCardOf(user, card.GetOrganization());
}

bool MayLockCardOf(const CUserRecord& user, const std::string& organization) {
  if (user.GetType() == kUserTypeAll) return true;
  if (IsOwnOrganizationType(user.GetType())) return organization == user.GetOrganizationName();
  return false;
}

uint8_t CheckForward(const CUserRecord& user, CConnection& card) {
  std::string owner;
  if (!card.LockState(owner)) return kForwardNotLocked;
  if (owner != user.GetName()) return kForwardLockedByOther;
  if (user.GetType() != kUserTypeAll && card.GetOrganization() != user.GetOrganizationName())
    return kForwardOtherOrganization;
  return kForwardSent;
}

}  // namespace zv
