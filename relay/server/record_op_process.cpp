// Record operations: adding, changing and deleting organizations, users,
// cards and log entries, with the organization counters kept in step.
#include <vector>

#include "relay/messages/card_record.hpp"
#include "relay/messages/record_op_msg.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/card_rules.hpp"
#include "relay/server/connection.hpp"
#include "relay/server/connection_registry.hpp"
#include "relay/server/database_path.hpp"

namespace zv {
namespace {

enum class Counter { kUsers, kCards };

// ASCII only, as the tables compare organization names.
std::string LowerCase(std::string text) {
  for (char& ch : text)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return text;
}

// 1 done (also when no organization has that name), 0 failed.
int ChangeCounter(CAccountDb& db, Counter which, int delta, const std::string& organization) {
  const char* column = which == Counter::kUsers ? "UserNum" : "CardNum";
  std::string sql = std::string(" Update ") + GetTableName(kOrganizationKind) + " SET " + column +
                    " = " + column + (delta > 0 ? " + 1" : " - 1") +
                    " Where [OrganizationName] = ?";
  return db.ExecuteSql(CSqlStatement{sql, {organization}});
}

// The organization of the record's stored row; false when there is no row.
// Inside a write transaction the row is locked until it ends (`lock`), so
// another server cannot move it between this read and the counters.
bool StoredOrganization(CAccountDb& db, const CRecord& record, std::string* organization,
                        CAccountDb::RowLock lock = CAccountDb::RowLock::kNone) {
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(record.GetSelectSql(), lock);
  if (!rs) return false;
  bool found = !rs->IsBOF() && !rs->IsEOF();
  if (found) {
    std::string org;
    rs->GetText("OrganizationName", org);
    *organization = org;
  }
  rs->Close();
  return found;
}

// Users of type 1 manage every record. Users of types 2 and 3 manage the
// users, cards and log entries of their own organization, and may neither
// touch organization records (the quotas are the operator's) nor create or
// promote a user of type 1. Other types manage nothing.
bool MayChange(CAccountDb& db, const CUserRecord& user, uint8_t operation, const CRecord& record) {
  if (user.GetType() == kUserTypeAll) return true;
  if (!IsOwnOrganizationType(user.GetType())) return false;
  if (record.GetKind() == kOrganizationKind) return false;
  if (record.GetOrganizationName() != user.GetOrganizationName()) return false;
  if (record.GetKind() == kUserKind &&
      static_cast<const CUserRecord&>(record).GetType() == kUserTypeAll)
    return false;
  if (operation == kRecordModify || operation == kRecordDelete) {
    std::string stored;
    if (StoredOrganization(db, record, &stored) && stored != user.GetOrganizationName())
      return false;
  }
  return true;
}

// Stores the row and counts it in its organization as one transaction: the
// counter follows the stored rows, and a server killed between the two would
// otherwise leave the counter one below the rows.
int AddCounted(CAccountDb& db, CRecord& record, Counter which) {
  CWriteTransaction transaction(db);
  if (!transaction.IsOpen() || !db.InsertRecord(&record)) return 0;
  if (!ChangeCounter(db, which, +1, record.GetOrganizationName())) return 0;
  return transaction.Commit();
}

// Adds a card unless it is connected under another organization; a card that
// is connected under its own organization is stored with its live state.
int AddCard(CAccountDb& db, CRecord& record) {
  auto& card = static_cast<CCardRecord&>(record);
  std::vector<std::unique_ptr<CCardRecord>> live;
  CConnectionRegistry::Instance().ListOnlineCards(live);
  for (const auto& l : live) {
    if (l->GetDeviceID() != card.GetDeviceID()) continue;
    if (l->GetOrganizationName() != card.GetOrganizationName()) return 0;
    card.SetOnLine(l->GetOnLine());
    card.SetRegTime(l->GetRegTime());
    break;
  }
  return AddCounted(db, card, Counter::kCards);
}

int Add(CAccountDb& db, CRecord& record) {
  switch (record.GetKind()) {
    case kUserKind:
      return AddCounted(db, record, Counter::kUsers);
    case kCardKind:
      return AddCard(db, record);
    default:
      return db.InsertRecord(&record);
  }
}

int Delete(CAccountDb& db, const CRecord& record, const std::string& key) {
  CConnectionRegistry& registry = CConnectionRegistry::Instance();
  const int kind = record.GetKind();
  if (kind == kOrganizationKind) {
    registry.DisconnectOrganizationCards(key);
    registry.DisconnectOrganizationUsers(key);
    // Its cards, users and log entries go with it or, when any step fails,
    // nothing goes: an organization must never outlive its rows half-way.
    CWriteTransaction transaction(db);
    if (!transaction.IsOpen()) return 0;
    for (int table : {kCardKind, kUserKind, kLogKind}) {
      if (!db.ExecuteSql(CSqlStatement{
              "Delete From " + GetTableName(table) + " Where [OrganizationName] = ?", {key}}))
        return 0;
    }
    if (!db.DeleteRecord(kind, key)) return 0;
    return transaction.Commit();
  }
  if (kind == kUserKind || kind == kCardKind) {
    if (kind == kUserKind) {
      registry.DisconnectUser(key);
    } else {
      registry.DisconnectCard(key);
    }
    // The counter of the organization the stored row belongs to, and only
    // when a row was really deleted.
    CWriteTransaction transaction(db);
    if (!transaction.IsOpen()) return 0;
    std::string organization;
    bool stored = StoredOrganization(db, record, &organization, CAccountDb::RowLock::kForUpdate);
    int changes = 0;
    if (!db.DeleteRecord(kind, key, &changes)) return 0;
    if (stored && changes > 0 &&
        !ChangeCounter(db, kind == kUserKind ? Counter::kUsers : Counter::kCards, -1, organization))
      return 0;
    return transaction.Commit();
  }
  return db.DeleteRecord(kind, key);
}

// Overwrites the stored row. A user or card that moves to another
// organization moves between the two organizations' counters too, once the
// row has really changed; otherwise the counters would drift from the rows.
int Modify(CAccountDb& db, const CRecord& record) {
  const int kind = record.GetKind();
  if (kind != kUserKind && kind != kCardKind) return db.UpdateRecord(record);
  // Reads the row, changes it and moves the counters as one step:
  // connections on other threads may change the same row at the same time,
  // and a counter moved on what another one changed meanwhile would drift.
  CWriteTransaction transaction(db);
  if (!transaction.IsOpen()) return 0;
  std::string before;
  const bool stored = StoredOrganization(db, record, &before, CAccountDb::RowLock::kForUpdate);
  if (!db.UpdateRecord(record)) return 0;
  const std::string& after = record.GetOrganizationName();
  // Organization names compare without case, as the tables store them.
  if (stored && !EqualsIgnoreCase(before, after)) {
    const Counter which = kind == kUserKind ? Counter::kUsers : Counter::kCards;
    // The two organization rows are locked in one order (by name), so two
    // moves in opposite directions on other rows cannot wait on each other.
    const bool down_first = LowerCase(before) < LowerCase(after);
    const int first = down_first ? -1 : +1;
    if (!ChangeCounter(db, which, first, down_first ? before : after) ||
        !ChangeCounter(db, which, -first, down_first ? after : before))
      return 0;
  }
  return transaction.Commit();
}

}  // namespace

void CRecordOpAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {
  if (connectionUser.GetName().empty() || request.GetType() != kRecordOpMsgType) return;
  auto& op = static_cast<CRecordOpMsg&>(request);
  CRecord* record = op.GetRecord();
  if (!record) return;
  const uint8_t operation = op.GetOperation();
  const std::string key = record->GetKey();
  SetOperation(operation);
  SetKind(static_cast<uint8_t>(record->GetKind()));
  SetKey(key);

  CAccountDb db;
  if (!MayChange(db, connectionUser, operation, *record)) return;
  int done = 0;
  switch (operation) {
    case kRecordAdd:
      done = Add(db, *record);
      break;
    case kRecordModify:
      done = Modify(db, *record);
      break;
    case kRecordDelete:
      done = Delete(db, *record, key);
      break;
    default:
      break;
  }
  if (done) SetResult(0);
}

}  // namespace zv
