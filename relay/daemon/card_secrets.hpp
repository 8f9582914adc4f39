// Per-card secrets: a card that has one must prove it (a keyed answer to a
// challenge) before it is registered. They live in a table of their own,
// CardSecret (DeviceID, Secret), beside [Card], whose columns stay as every
// other reader of the database knows them. The table and a trigger that
// drops a card's secret with its [Card] row are made by the first secret
// stored (on PostgreSQL a reference to the card's row does the trigger's
// work); a database without the table has no secrets.
#pragma once

#include <string>

#include "relay/server/account_db.hpp"

namespace zv::daemon {

// Makes the table (and on SQLite its trigger) unless it exists. A serving
// server makes it at start, so that every registration reads the secrets
// with one statement instead of failing on a missing table and asking for
// it. 1 there, 0 failed.
int EnsureCardSecretTable(CAccountDb& db);

// Stores the card's secret on `db`, inside the caller's transaction (with the
// card's row). 1 stored, 0 failed.
int StoreCardSecret(CAccountDb& db, const std::string& device_id, const std::string& secret);

// The card's secret from the server's database: 1 found (*secret filled),
// 0 the card has none, -1 the database failed (the caller refuses the card
// rather than let it in unproved).
int ReadCardSecret(const std::string& device_id, std::string* secret);

}  // namespace zv::daemon
