// The account commands of zvrelayd: create the database with its first
// organization and user, add a user, add a card (with a secret it must prove
// when it registers, or none). Each prints what went wrong to `err` and
// answers 0 on success, 1 on failure.
#pragma once

#include <ostream>
#include <string>

namespace zv::daemon {

int InitDatabase(const std::string& path, const std::string& organization, const std::string& user,
                 const std::string& password, std::ostream& err);
int AddUser(const std::string& path, const std::string& name, const std::string& password,
            const std::string& organization, int type, std::ostream& err);
// An empty `secret` adds a card that registers as cards always did.
int AddCard(const std::string& path, const std::string& device_id, const std::string& organization,
            const std::string& secret, std::ostream& err);

}  // namespace zv::daemon
