// Record queries: what a logged-in user may see, by user type.
#include <vector>

#include "relay/messages/card_record.hpp"
#include "relay/messages/query_msg.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/card_rules.hpp"
#include "relay/server/connection_registry.hpp"
#include "relay/server/database_path.hpp"
#include "relay/server/record_list_loader.hpp"

namespace zv {
namespace {

// The statement for one query, or none when the user may not ask it.
// `allowed` is false for "table not allowed" (status 2); an empty statement
// with allowed true means the user type answers nothing.
struct QueryPlan {
  bool run = false;
  bool allowed = true;
  CSqlStatement statement;
};

QueryPlan PlanQuery(int kind, const std::string& key, const CUserRecord& user) {
  QueryPlan plan;
  const std::string table = GetTableName(kind);
  const std::string select = "SELECT * FROM " + table;
  const std::string& org = user.GetOrganizationName();
  const bool all = user.GetType() == kUserTypeAll;
  const bool own = IsOwnOrganizationType(user.GetType());
  if (!all && !own) return plan;
  plan.run = true;
  if (key.empty()) {
    plan.statement = all ? CSqlStatement{select, {}}
                         : CSqlStatement{select + " WHERE OrganizationName = ?", {org}};
    return plan;
  }
  const std::string id = std::to_string(ParseLogId(key));
  switch (kind) {
    case kOrganizationKind:
      if (!all && key != org) break;
      plan.statement = {select + " WHERE OrganizationName = ?", {key}};
      return plan;
    case kUserKind:
      plan.statement =
          all ? CSqlStatement{select + " WHERE Name = ?", {key}}
              : CSqlStatement{select + " WHERE Name = ? AND OrganizationName = ?", {key, org}};
      return plan;
    case kCardKind:
      plan.statement =
          all ? CSqlStatement{select + " WHERE DeviceID = ?", {key}}
              : CSqlStatement{select + " WHERE DeviceID = ? AND OrganizationName = ?", {key, org}};
      return plan;
    case kLogKind:
      plan.statement =
          all ? CSqlStatement{select + " WHERE ID = ?", {id}}
              : CSqlStatement{select + " WHERE ID = ? AND OrganizationName = ?", {id, org}};
      return plan;
    default:
      break;
  }
  plan.run = false;
  plan.allowed = false;
  return plan;
}

// Cards that are connected but not stored still appear in a card answer.
void MergeLiveCards(CRecordList& list, const std::string& key, const CUserRecord& user) {
  std::vector<std::unique_ptr<CCardRecord>> live;
  CConnectionRegistry::Instance().ListOnlineCards(live);
  const bool all = user.GetType() == kUserTypeAll;
  for (auto& card : live) {
    if (!all && card->GetOrganizationName() != user.GetOrganizationName()) continue;
    if (!key.empty() && card->GetDeviceID() != key) continue;
    if (list.Find(kCardKind, card->GetDeviceID())) {
      if (!key.empty()) break;
      continue;
    }
    auto copy = std::make_unique<CCardRecord>();
    if (card->CopyTo(*copy)) list.Append(std::move(copy));
  }
}

}  // namespace

void CQueryAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {
  SetStatus(kQueryRefused);
  SetRecords(nullptr);
  if (request.GetType() != kQueryMsgType || connectionUser.GetName().empty()) return;
  const auto& query = static_cast<const CQueryMsg&>(request);
  const int kind = query.GetKind();
  const std::string& key = query.GetFilter();
  QueryPlan plan = PlanQuery(kind, key, connectionUser);
  if (!plan.allowed) {
    SetStatus(kQueryTableNotAllowed);
    return;
  }
  if (!plan.run) return;
  auto records = std::make_unique<CRecordList>();
  if (!GetTableName(kind).empty()) {
    CAccountDb db;
    LoadRecordList(db, *records, kind, plan.statement);
  }
  if (kind == kCardKind) MergeLiveCards(*records, key, connectionUser);
  SetKind(static_cast<uint8_t>(kind));
  SetRecords(std::move(records));
  SetStatus(kQueryOk);
}

}  // namespace zv
