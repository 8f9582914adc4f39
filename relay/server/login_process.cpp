// Login: who may log in, and what the connection learns about its user.
#include "relay/messages/login_msg.hpp"
#include "relay/messages/ole_date.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/connection_registry.hpp"
#include "relay/server/database_path.hpp"

namespace zv {

void CLoginAckMsg::Process(CRelayMsg& request, CUserRecord& connectionUser) {
  if (request.GetType() != kLoginMsgType) return;
  const auto& login = static_cast<const CLoginMsg&>(request);
  // A database that fails (locked past the busy wait, a full disk) answers
  // as one that cannot be opened does, and before anything can throw: the
  // answer then goes out with a result the client knows, never 0.
  SetResult(kLoginNoSuchUser);
  CAccountDb db;
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(CSqlStatement{
      "Select * from " + GetTableName(kUserKind) + " where Name = ?", {login.GetUserName()}});
  if (!rs || rs->IsBOF()) {
    if (rs) rs->Close();
    return;
  }
  CUserRecord& user = GetUser();
  user.ReadFrom(*rs);
  // Already online wins over a wrong password, so a second login never
  // learns whether its password was right.
  if (CConnectionRegistry::Instance().IsUserOnline(login.GetUserName())) {
    SetResult(kLoginAlreadyOnline);
  } else if (user.GetPassword() != login.GetPassword()) {
    SetResult(kLoginWrongPassword);
  } else if (const int claim = CConnectionRegistry::Instance().ClaimUser(login.GetUserName());
             claim != 1) {
    // Another server sharing the database logged the same user in meanwhile;
    // a database that failed answers as for a missing one.
    if (claim == 0) SetResult(kLoginAlreadyOnline);
  } else {
    double now = OleDateNow();
    rs->SetDate("LastLoginTime", now);
    rs->SetByte("OnLine", 1);
    rs->Update();
    user.SetLastLoginTime(now);
    user.SetOnLine(1);
    if (user.CopyTo(connectionUser)) SetResult(kLoginOk);
  }
  rs->Close();
}

}  // namespace zv
