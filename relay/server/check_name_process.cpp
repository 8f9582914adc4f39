// Name checks before an add: is the name free, and has the organization room.
#include "relay/messages/check_name_msg.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"

namespace zv {
namespace {

bool FindsRow(CAccountDb& db, const CSqlStatement& statement) {
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(statement);
  if (!rs) return false;
  bool found = !rs->IsBOF();
  rs->Close();
  return found;
}

}  // namespace

void CCheckNameAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {
  if (connectionUser.GetName().empty() || request.GetType() != kCheckNameMsgType) return;
  const auto& check = static_cast<const CCheckNameMsg&>(request);
  SetKind(check.GetKind());
  SetName(check.GetName());
  SetOrganization(check.GetOrganization());
  static const char* const kKeyColumn[] = {"", "[OrganizationName]", "[Name]", "[DeviceID]"};
  const int kind = check.GetKind();
  if (kind < kOrganizationKind || kind > kCardKind) return;

  CAccountDb db;
  if (FindsRow(db, CSqlStatement{"Select * from " + GetTableName(kind) + " where " +
                                     kKeyColumn[kind] + " = ?",
                                 {check.GetName()}})) {
    SetResult(kNameTaken);
    return;
  }
  if (kind == kOrganizationKind) {
    SetResult(kNameFree);
    return;
  }
  const char* room =
      kind == kUserKind ? " And [UserNum]<[MaxUserNum]" : " And [CardNum]<[MaxCardNum]";
  bool has_room = FindsRow(db, CSqlStatement{"Select * from " + GetTableName(kOrganizationKind) +
                                                 " where [OrganizationName] = ?" + room,
                                             {GetOrganization()}});
  SetResult(has_room ? kNameFree : kNameOrganizationFull);
}

}  // namespace zv
