#include "relay/daemon/admin_commands.hpp"

#include <functional>

#include "relay/daemon/card_secrets.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"

namespace zv::daemon {
namespace {

bool OrganizationExists(CAccountDb& db, const std::string& organization) {
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(CSqlStatement{
      "SELECT * FROM " + GetTableName(kOrganizationKind) + " WHERE OrganizationName = ?",
      {organization}});
  bool found = rs && !rs->IsBOF();
  if (rs) rs->Close();
  return found;
}

// 1 counted, 0 failed.
int Count(CAccountDb& db, const char* column, const std::string& organization) {
  return db.ExecuteSql(CSqlStatement{std::string("UPDATE ") + GetTableName(kOrganizationKind) +
                                         " SET " + column + " = " + column +
                                         " + 1 WHERE OrganizationName = ?",
                                     {organization}});
}

// Texts travel as counted strings of at most 254 characters.
bool ValidText(const std::string& text, const char* what, std::ostream& err) {
  if (text.empty() || text.size() > 254) {
    err << what << " must have 1 to 254 characters\n";
    return false;
  }
  return true;
}

}  // namespace

int InitDatabase(const std::string& path, const std::string& organization, const std::string& user,
                 const std::string& password, std::ostream& err) {
  if (!ValidText(organization, "--org", err) || !ValidText(user, "--user", err)) return 1;
  std::string why;
  if (!CreateAccountDatabase(path, &why)) {
    err << "cannot create " << DatabaseDisplayName(path) << ": " << why << "\n";
    return 1;
  }
  CAccountDb db(path);
  if (!OrganizationExists(db, organization)) {
    COrganizationRecord org;
    org.SetOrganizationName(organization);
    if (!db.InsertRecord(&org)) {
      err << "cannot store organization " << organization << "\n";
      return 1;
    }
  }
  return AddUser(path, user, password, organization, 1, err);
}

namespace {

// An account command that adds to an organization needs the database open
// and the organization present; says which is missing on `err`.
// Stores the row and counts it in its organization as one transaction, so
// the counter never differs from the rows, whatever stops the command.
// `also`, when given, runs inside the same transaction (a card's secret).
bool StoreCounted(CAccountDb& db, CRecord& record, const char* column,
                  const std::function<bool()>& also = nullptr) {
  CWriteTransaction transaction(db);
  return transaction.IsOpen() && db.InsertRecord(&record) &&
         Count(db, column, record.GetOrganizationName()) && (!also || also()) &&
         transaction.Commit();
}

bool ReadyForOrganization(CAccountDb& db, const std::string& path, const std::string& organization,
                          std::ostream& err) {
  if (const std::string problem = DatabaseProblem(path); !problem.empty()) {
    err << "cannot open " << DatabaseDisplayName(path) << ": " << problem << "\n";
    return false;
  }
  if (!OrganizationExists(db, organization)) {
    err << "no organization " << organization << "\n";
    return false;
  }
  return true;
}

}  // namespace

int AddUser(const std::string& path, const std::string& name, const std::string& password,
            const std::string& organization, int type, std::ostream& err) {
  if (!ValidText(name, "user name", err)) return 1;
  if (type < 0 || type > 255) {
    err << "--type must be 0 to 255\n";
    return 1;
  }
  CAccountDb db(path);
  if (!ReadyForOrganization(db, path, organization, err)) return 1;
  CUserRecord user;
  user.SetName(name);
  user.SetPassword(password);
  user.SetType(static_cast<uint8_t>(type));
  user.SetOrganizationName(organization);
  if (!StoreCounted(db, user, "UserNum")) {
    err << "cannot store user " << name << " (does it exist already?)\n";
    return 1;
  }
  return 0;
}

int AddCard(const std::string& path, const std::string& device_id, const std::string& organization,
            const std::string& secret, std::ostream& err) {
  if (!ValidText(device_id, "device ID", err)) return 1;
  if (!secret.empty() && !ValidText(secret, "--secret", err)) return 1;
  CAccountDb db(path);
  if (!ReadyForOrganization(db, path, organization, err)) return 1;
  CCardRecord card;
  card.SetDeviceID(device_id);
  card.SetOrganizationName(organization);
  // A card stored without its secret could register unproved: both or none.
  std::function<bool()> store_secret;
  if (!secret.empty()) store_secret = [&] { return StoreCardSecret(db, device_id, secret) == 1; };
  if (!StoreCounted(db, card, "CardNum", store_secret)) {
    err << "cannot store card " << device_id << " (does it exist already?)\n";
    return 1;
  }
  return 0;
}

}  // namespace zv::daemon
