// Who may lock a card and who may send to it. Shared by both card tables.
#pragma once

#include <cstdint>

#include "relay/messages/user_record.hpp"
#include "relay/server/connection.hpp"

namespace zv {

// User types: 1 reaches every organization, 2 and 3 only their own.
inline constexpr uint8_t kUserTypeAll = 1;
inline bool IsOwnOrganizationType(uint8_t type) {
  return type == 2 || type == 3;
}

// Type 1 may lock any card; types 2 and 3 the cards of their organization
// (compared with case); any other type none.
bool MayLockCard(const CUserRecord& user, const CConnection& card);
// The same for a card known by its organization only (held elsewhere).
bool MayLockCardOf(const CUserRecord& user, const std::string& organization);

// Checks, in this order, that the card is locked (else 5), that the user holds
// the lock (else 3) and that a user of a type other than 1 belongs to the
// card's organization (else 4). Returns 1 when the user may send.
uint8_t CheckForward(const CUserRecord& user, CConnection& card);

}  // namespace zv
