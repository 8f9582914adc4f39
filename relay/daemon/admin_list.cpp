// zvrelayd --list: the accounts as tab-separated lines under a header, for
// an operator to read or a script to cut.
#include <cstdio>

#include "relay/daemon/admin_commands.hpp"
#include "relay/daemon/node_registry.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/ole_date.hpp"
#include "relay/messages/record_list.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"
#include "relay/server/record_list_loader.hpp"

namespace zv::daemon {
namespace {

// YYYY-MM-DD hh:mm:ss; "-" for a date never set (0) or out of range.
std::string Readable(double date) {
  DateParts p;
  if (date == 0 || !OleDateToParts(date, p)) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                p.minute, p.second);
  return text;
}

void ListUsers(CAccountDb& db, const std::string& where, std::ostream& out) {
  CRecordList list;
  LoadRecordList(
      db, list, kUserKind,
      CSqlStatement{"SELECT * FROM " + GetTableName(kUserKind) + where + " ORDER BY Name", {}});
  out << "user\ttype\torganization\tonline\tregistered\tlast login\n";
  for (const auto& r : list.Records()) {
    const auto& u = static_cast<const CUserRecord&>(*r);
    out << u.GetName() << '\t' << static_cast<int>(u.GetType()) << '\t' << u.GetOrganizationName()
        << '\t' << static_cast<int>(u.GetOnLine()) << '\t' << Readable(u.GetRegTime()) << '\t'
        << Readable(u.GetLastLoginTime()) << '\n';
  }
}

void ListCards(CAccountDb& db, std::ostream& out) {
  CRecordList list;
  LoadRecordList(
      db, list, kCardKind,
      CSqlStatement{"SELECT * FROM " + GetTableName(kCardKind) + " ORDER BY DeviceID", {}});
  out << "card\torganization\tonline\tregistered\n";
  for (const auto& r : list.Records()) {
    const auto& c = static_cast<const CCardRecord&>(*r);
    out << c.GetDeviceID() << '\t' << c.GetOrganizationName() << '\t'
        << static_cast<int>(c.GetOnLine()) << '\t' << Readable(c.GetRegTime()) << '\n';
  }
}

// The cards whose OnLine is set, with the node the card directory names.
void ListOnlineCards(CAccountDb& db, std::ostream& out) {
  std::map<std::string, std::string> nodes = ReadCardNodes(db);
  CRecordList list;
  LoadRecordList(
      db, list, kCardKind,
      CSqlStatement{
          "SELECT * FROM " + GetTableName(kCardKind) + " WHERE OnLine <> 0 ORDER BY DeviceID", {}});
  out << "card\torganization\tnode\tregistered\n";
  for (const auto& r : list.Records()) {
    const auto& c = static_cast<const CCardRecord&>(*r);
    auto node = nodes.find(c.GetDeviceID());
    out << c.GetDeviceID() << '\t' << c.GetOrganizationName() << '\t'
        << (node == nodes.end() ? "-" : node->second) << '\t' << Readable(c.GetRegTime()) << '\n';
  }
}

}  // namespace

int ListAccounts(const std::string& path, const std::string& what, std::ostream& out,
                 std::ostream& err) {
  if (const std::string problem = DatabaseProblem(path); !problem.empty()) {
    err << "cannot open " << DatabaseDisplayName(path) << ": " << problem << "\n";
    return 1;
  }
  CAccountDb db(path);
  try {
    if (what == "users") {
      ListUsers(db, "", out);
    } else if (what == "cards") {
      ListCards(db, out);
    } else if (what == "online") {
      ListUsers(db, " WHERE OnLine <> 0", out);
      out << '\n';
      ListOnlineCards(db, out);
    } else {
      err << "--list takes users, cards or online\n";
      return 1;
    }
  } catch (const CDbError& e) {
    err << "cannot read " << DatabaseDisplayName(path) << ": " << DbErrorText(e.code, e.description)
        << "\n";
    return 1;
  }
  return 0;
}

}  // namespace zv::daemon
