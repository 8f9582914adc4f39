// The account commands of zvrelayd: create the database with its first
// organization and user, add a user, add a card (with a secret it must prove
// when it registers, or none), delete a user or a card, set a password, list
// the accounts. Each prints what went wrong to `err` and answers 0 on
// success, 1 on failure.
#pragma once

#include <ostream>
#include <string>

namespace zv::daemon {

// Values a command refuses before it touches the database: a user type is
// 1 (every organization), 2 or 3 (its own); a password is never empty; a
// Device ID is one a card can register with: six characters over TCP, or 1
// to 30 digits over UDP.
bool ValidUserType(int type);
bool ValidDeviceId(const std::string& device_id);

int InitDatabase(const std::string& path, const std::string& organization, const std::string& user,
                 const std::string& password, std::ostream& err);
int AddUser(const std::string& path, const std::string& name, const std::string& password,
            const std::string& organization, int type, std::ostream& err);
// An empty `secret` adds a card that registers as cards always did.
int AddCard(const std::string& path, const std::string& device_id, const std::string& organization,
            const std::string& secret, std::ostream& err);
// Each deletes the row and takes it off its organization's counter in one
// transaction. A server that carries the user or card keeps its connection
// until it leaves; the row is gone for its next login or registration.
int DeleteUser(const std::string& path, const std::string& name, std::ostream& err);
int DeleteCard(const std::string& path, const std::string& device_id, std::ostream& err);
int SetPassword(const std::string& path, const std::string& name, const std::string& password,
                std::ostream& err);

// "users", "cards" or "online" as tab-separated lines with a header, dates
// as YYYY-MM-DD hh:mm:ss. `online` lists the users and the cards whose
// OnLine is set, each card with the node that holds it ("-" when no node
// says so).
int ListAccounts(const std::string& path, const std::string& what, std::ostream& out,
                 std::ostream& err);

}  // namespace zv::daemon
