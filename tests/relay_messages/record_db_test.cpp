// Database side of the account records against an in-memory recordset.
#include <gtest/gtest.h>

#include "relay/messages/card_record.hpp"
#include "relay/messages/log_record.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/user_record.hpp"
#include "tests/relay_messages/fake_recordset.hpp"

namespace zv {
namespace {

using test::FakeRecordset;
using Calls = std::vector<std::string>;

class ReporterCapture {
 public:
  ReporterCapture() {
    SetDbErrorReporter([this](const std::string& text) { reports.push_back(text); });
  }
  ~ReporterCapture() { SetDbErrorReporter(nullptr); }
  std::vector<std::string> reports;
};

TEST(RecordSql, SelectAndDeleteBindTheKey) {
  COrganizationRecord org;
  org.SetOrganizationName("O'Brien & Co");
  CSqlStatement s = org.GetSelectSql();
  EXPECT_EQ(s.sql, "Select * From [Organization] Where [OrganizationName] = ?");
  EXPECT_EQ(s.params, std::vector<std::string>{"O'Brien & Co"});
  EXPECT_EQ(s.Describe(), "Select * From [Organization] Where [OrganizationName] = 'O'Brien & Co'");
  EXPECT_EQ(org.GetDeleteSql().sql, "Delete From [Organization] Where [OrganizationName] = ?");

  CUserRecord user;
  user.SetName("bob");
  EXPECT_EQ(user.GetSelectSql().Describe(), "Select * From [User] Where [Name] = 'bob'");
  EXPECT_EQ(user.GetDeleteSql().Describe(), "Delete From [User] Where [Name] = 'bob'");

  CCardRecord card;
  card.SetDeviceID("A01");
  EXPECT_EQ(card.GetSelectSql().Describe(), "Select * From [Card] Where [DeviceID] = 'A01'");
  EXPECT_EQ(card.GetDeleteSql().params, std::vector<std::string>{"A01"});

  CLogRecord log;
  EXPECT_EQ(log.GetKey(), "");
  EXPECT_EQ(log.GetSelectSql().Describe(), "Select * From [Log] Where [ID] = '0'");
  log.SetID(42);
  // The ID is bound like every other value, never part of the statement.
  EXPECT_EQ(log.GetDeleteSql().sql, "Delete From [Log] Where [ID] = ?");
  EXPECT_EQ(log.GetDeleteSql().params, std::vector<std::string>{"42"});
}

TEST(RecordSql, TableNamesAndDescribeWithoutParams) {
  EXPECT_EQ(RecordTableName(1), "[Organization]");
  EXPECT_EQ(RecordTableName(2), "[User]");
  EXPECT_EQ(RecordTableName(3), "[Card]");
  EXPECT_EQ(RecordTableName(4), "[Log]");
  EXPECT_EQ(RecordTableName(0), "");
  EXPECT_EQ(RecordTableName(5), "");
  // More placeholders than values: the rest stay as written.
  EXPECT_EQ((CSqlStatement{"a = ? and b = ?", {"x"}}).Describe(), "a = 'x' and b = ?");
}

TEST(DbError, TextForCodesAndDescriptions) {
  EXPECT_EQ(DbErrorText(static_cast<int32_t>(0x80040200u), "ignored"), "IDispatch error #0");
  EXPECT_EQ(DbErrorText(static_cast<int32_t>(0x80040E21u), "desc"), "IDispatch error #3105");
  EXPECT_EQ(DbErrorText(static_cast<int32_t>(0x8004FFFFu), ""), "IDispatch error #65023");
  EXPECT_EQ(DbErrorText(static_cast<int32_t>(0x80004005u), "disk I/O error"), "disk I/O error");
  EXPECT_EQ(DbErrorText(static_cast<int32_t>(0x80004005u), ""), "Unknown error 0x80004005");
  EXPECT_EQ(DbErrorText(19, ""), "Unknown error 0x13");
}

TEST(RecordRead, ColumnOrdersAndValueKinds) {
  FakeRecordset rs;
  rs.row = {{"OrganizationName", std::string("Org")},
            {"Password", std::string("p")},
            {"CardNum", 1},
            {"MaxCardNum", 2},
            {"UserNum", 3},
            {"MaxUserNum", 4}};
  COrganizationRecord org;
  org.ReadFrom(rs);
  EXPECT_EQ(rs.calls, (Calls{"get-text:OrganizationName", "get-text:Password", "get-int:CardNum",
                             "get-int:MaxCardNum", "get-int:UserNum", "get-int:MaxUserNum"}));
  EXPECT_EQ(org.GetOrganizationName(), "Org");
  EXPECT_EQ(org.GetMaxUserNum(), 4);

  FakeRecordset card_rs;
  card_rs.row = {{"DeviceID", std::string("D1")},
                 {"OrganizationName", std::string("Org")},
                 {"OnLine", 0x101},
                 {"RegTime", 41000.5}};
  CCardRecord card;
  card.ReadFrom(card_rs);
  EXPECT_EQ(card_rs.calls, (Calls{"get-text:DeviceID", "get-text:OrganizationName",
                                  "get-int:OnLine", "get-date:RegTime"}));
  EXPECT_EQ(card.GetOnLine(), 1);  // the low byte of the value
  EXPECT_EQ(card.GetRegTime(), 41000.5);

  FakeRecordset log_rs;
  log_rs.row = {{"ID", 7},
                {"time", 40000.25},
                {"MsgType", 0x10002},
                {"NodeType", 0x1FF},
                {"NodeID", std::string("n")},
                {"MsgDescribe", std::monostate{}},
                {"OrganizationName", std::monostate{}}};
  CLogRecord log;
  log.SetMsgDescribe("kept");
  log.ReadFrom(log_rs);
  EXPECT_EQ(log_rs.calls,
            (Calls{"get-int:ID", "get-date:time", "get-int:MsgType", "get-int:NodeType",
                   "get-text:NodeID", "get-text:MsgDescribe", "get-text:OrganizationName"}));
  EXPECT_EQ(log.GetID(), 7);
  EXPECT_EQ(log.GetTime(), 40000.25);
  EXPECT_EQ(log.GetMsgType(), 2);
  EXPECT_EQ(log.GetNodeType(), 0xFF);
  EXPECT_EQ(log.GetMsgDescribe(), "kept");
  EXPECT_EQ(log.GetKey(), "7");
}

TEST(RecordRead, UserWithNullOrganizationAndLastLogin) {
  FakeRecordset rs;
  rs.row = {{"Name", std::string("bob")},
            {"Type", 2},
            {"RegTime", 41000.0},
            {"OnLine", 0},
            {"Password", std::string("secret")},
            {"OrganizationName", std::monostate{}},
            {"LastLoginTime", std::monostate{}}};
  CUserRecord user;
  user.ReadFrom(rs);
  EXPECT_EQ(rs.calls,
            (Calls{"get-text:Name", "get-int:Type", "get-date:RegTime", "get-int:OnLine",
                   "get-text:Password", "get-text:OrganizationName", "get-date:LastLoginTime"}));
  EXPECT_EQ(user.GetName(), "bob");
  EXPECT_EQ(user.GetType(), 2);
  EXPECT_EQ(user.GetPassword(), "secret");
  EXPECT_EQ(user.GetOrganizationName(), "");
  EXPECT_EQ(user.GetLastLoginTime(), 0.0);
}

TEST(RecordRead, MissingColumnRaisesTheDatabaseError) {
  FakeRecordset rs;
  rs.row = {{"DeviceID", std::string("D1")}};
  CCardRecord card;
  EXPECT_THROW(card.ReadFrom(rs), CDbError);
  EXPECT_EQ(card.GetDeviceID(), "D1");
}

TEST(RecordWrite, ColumnOrdersKindsAndUpdate) {
  FakeRecordset rs;
  COrganizationRecord org;
  org.SetOrganizationName("New");
  org.WriteTo(rs);
  EXPECT_EQ(rs.calls,
            (Calls{"set-text:OrganizationName", "set-text:Password", "set-int32:CardNum",
                   "set-int32:MaxCardNum", "set-int32:UserNum", "set-int32:MaxUserNum", "update"}));
  EXPECT_EQ(std::get<int32_t>(rs.committed["MaxCardNum"]), 100);
  EXPECT_EQ(std::get<int32_t>(rs.committed["MaxUserNum"]), 10);

  FakeRecordset card_rs;
  CCardRecord card;
  card.WriteTo(card_rs);
  EXPECT_EQ(card_rs.calls, (Calls{"set-text:DeviceID", "set-text:OrganizationName",
                                  "set-byte:OnLine", "set-date:RegTime", "update"}));

  FakeRecordset log_rs;
  CLogRecord log;
  log.SetID(5);
  log.WriteTo(log_rs);
  // ID and time belong to the database.
  EXPECT_EQ(log_rs.calls, (Calls{"set-int:MsgType", "set-text:MsgDescribe", "set-int:NodeType",
                                 "set-text:NodeID", "set-text:OrganizationName", "update"}));
}

TEST(RecordWrite, UserLastLoginOnlyWhenSet) {
  FakeRecordset rs;
  CUserRecord user;
  user.SetName("n");
  user.WriteTo(rs);
  const Calls base{"set-text:Name",   "set-text:Password",
                   "set-byte:Type",   "set-text:OrganizationName",
                   "set-byte:OnLine", "set-date:RegTime"};
  Calls expected = base;
  expected.push_back("update");
  EXPECT_EQ(rs.calls, expected);
  EXPECT_EQ(rs.committed.count("LastLoginTime"), 0u);

  FakeRecordset rs2;
  user.SetLastLoginTime(45000.5);
  user.WriteTo(rs2);
  expected = base;
  expected.push_back("set-date:LastLoginTime");
  expected.push_back("update");
  EXPECT_EQ(rs2.calls, expected);
  EXPECT_EQ(std::get<double>(rs2.committed["LastLoginTime"]), 45000.5);
}

TEST(RecordWrite, DatabaseErrorIsReportedAndRowNotUpdated) {
  ReporterCapture capture;
  FakeRecordset rs;
  rs.fail_on_write = "OnLine";
  CCardRecord card;
  EXPECT_NO_THROW(card.WriteTo(rs));
  EXPECT_EQ(rs.updates, 0);
  ASSERT_EQ(capture.reports.size(), 1u);
  EXPECT_EQ(capture.reports[0], "IDispatch error #3105");
}

}  // namespace
}  // namespace zv
