// Account rows that follow the connections: OnLine of users and cards.
#pragma once

#include <cstdint>
#include <string>

#include "relay/messages/card_record.hpp"

namespace zv {

// Reads the stored card: 1 found, 0 no such card, -1 the database failed
// (the card may well exist).
int FindCard(const std::string& device_id, CCardRecord* out);
// Reads the stored card; false when it is unknown or the database fails.
bool LookupCard(const std::string& device_id, CCardRecord* out);
// Whether a user of this name exists: 1 yes, 0 no, -1 the database failed.
int FindUser(const std::string& name);
// Sets the OnLine column of a card or a user; 1 done, 0 failed.
int SetCardOnLine(const std::string& device_id, uint8_t online);
int SetUserOnLine(const std::string& name, uint8_t online);
// Sets OnLine of every card and every user to 0: a server that starts or
// stops has no connected peers. 1 done, 0 failed.
int ResetAllOnLine();

}  // namespace zv
