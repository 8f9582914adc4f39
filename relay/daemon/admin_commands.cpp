#include "relay/daemon/admin_commands.hpp"

#include <algorithm>
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

bool ValidPassword(const std::string& password, std::ostream& err) {
  if (password.empty()) {
    err << "the password must not be empty\n";
    return false;
  }
  if (password.size() > 254) {
    err << "the password must have at most 254 characters\n";
    return false;
  }
  return true;
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

bool ValidUserType(int type) {
  return type >= 1 && type <= 3;
}

bool ValidDeviceId(const std::string& device_id) {
  // A TCP card registers six bytes; a control byte among them is a frame
  // no card sends.
  if (device_id.size() == 6 && std::all_of(device_id.begin(), device_id.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
      }))
    return true;
  return !device_id.empty() && device_id.size() <= 30 &&
         std::all_of(device_id.begin(), device_id.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

int InitDatabase(const std::string& path, const std::string& organization, const std::string& user,
                 const std::string& password, std::ostream& err) {
  if (!ValidText(organization, "--org", err) || !ValidText(user, "--user", err) ||
      !ValidPassword(password, err))
    return 1;
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
  if (!ValidText(name, "user name", err) || !ValidPassword(password, err)) return 1;
  if (!ValidUserType(type)) {
    err << "--type must be 1 (every organization), 2 or 3 (its own)\n";
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
  if (!ValidDeviceId(device_id)) {
    err << "device ID " << device_id
        << " cannot register: a TCP card sends six characters, a UDP card 1 to 30 digits\n";
    return 1;
  }
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

namespace {

bool DatabaseReady(const std::string& path, std::ostream& err) {
  if (const std::string problem = DatabaseProblem(path); !problem.empty()) {
    err << "cannot open " << DatabaseDisplayName(path) << ": " << problem << "\n";
    return false;
  }
  return true;
}

// Deletes the row of `kind` whose `key_column` is `key` and takes it off the
// counter of the organization its stored row names, in one transaction.
// 1 deleted, 0 no such row, -1 the database failed.
int DeleteCounted(CAccountDb& db, int kind, const char* key_column, const std::string& key,
                  const char* counter) {
  CWriteTransaction transaction(db);
  if (!transaction.IsOpen()) return -1;
  const std::string table = GetTableName(kind);
  std::string organization;
  {
    // The row stays locked until the transaction ends: its organization's
    // counter is changed by what was read here.
    std::unique_ptr<CRecordset> rs = db.OpenRecordset(
        CSqlStatement{"SELECT OrganizationName FROM " + table + " WHERE " + key_column + " = ?",
                      {key}},
        CAccountDb::RowLock::kForUpdate);
    if (!rs) return -1;
    bool found = false;
    try {
      found = !rs->IsBOF() && !rs->IsEOF();
      if (found) rs->GetText("OrganizationName", organization);
    } catch (const CDbError&) {
      rs->Close();
      return -1;
    }
    rs->Close();
    if (!found) return 0;
  }
  int changes = 0;
  if (!db.ExecuteSql(CSqlStatement{"DELETE FROM " + table + " WHERE " + key_column + " = ?", {key}},
                     &changes))
    return -1;
  if (changes == 0) return 0;
  if (!db.ExecuteSql(CSqlStatement{std::string("UPDATE ") + GetTableName(kOrganizationKind) +
                                       " SET " + counter + " = " + counter +
                                       " - 1 WHERE OrganizationName = ?",
                                   {organization}}))
    return -1;
  return transaction.Commit() ? 1 : -1;
}

int ReportDeleted(int result, const char* what, const std::string& key, std::ostream& err) {
  if (result == 1) return 0;
  if (result == 0)
    err << "no " << what << " " << key << "\n";
  else
    err << "cannot delete " << what << " " << key << ": the database failed\n";
  return 1;
}

}  // namespace

int DeleteUser(const std::string& path, const std::string& name, std::ostream& err) {
  if (!DatabaseReady(path, err)) return 1;
  CAccountDb db(path);
  return ReportDeleted(DeleteCounted(db, kUserKind, "Name", name, "UserNum"), "user", name, err);
}

int DeleteCard(const std::string& path, const std::string& device_id, std::ostream& err) {
  if (!DatabaseReady(path, err)) return 1;
  CAccountDb db(path);
  // The card's secret goes with its row (the secrets table's trigger).
  return ReportDeleted(DeleteCounted(db, kCardKind, "DeviceID", device_id, "CardNum"), "card",
                       device_id, err);
}

int SetPassword(const std::string& path, const std::string& name, const std::string& password,
                std::ostream& err) {
  if (!ValidPassword(password, err) || !DatabaseReady(path, err)) return 1;
  CAccountDb db(path);
  int changes = 0;
  if (!db.ExecuteSql(
          CSqlStatement{"UPDATE " + GetTableName(kUserKind) + " SET Password = ? WHERE Name = ?",
                        {password, name}},
          &changes)) {
    err << "cannot set the password of " << name << ": the database failed\n";
    return 1;
  }
  if (changes == 0) {
    err << "no user " << name << "\n";
    return 1;
  }
  return 0;
}

}  // namespace zv::daemon
