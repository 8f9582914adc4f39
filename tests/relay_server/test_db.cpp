#include "test_db.hpp"

#include <atomic>
#include <chrono>

#include "pg_cluster.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"

namespace zv::test {

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::kSqlite ? "Sqlite" : "Postgres";
}

TempDatabase::TempDatabase(Backend backend) : backend_(backend) {
  static std::atomic<int> counter{0};
  folder_ = std::filesystem::temp_directory_path() /
            ("zv-relay-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(counter++) + "-" +
             std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(folder_);
  if (backend_ == Backend::kPostgres) {
    PgCluster& cluster = PgCluster::Get();
    if (!cluster.ok()) {
      ADD_FAILURE() << "no PostgreSQL for this test: " << cluster.problem();
    } else {
      path_ = cluster.CreateDatabase(&pg_name_);
      EXPECT_FALSE(path_.empty()) << "CREATE DATABASE failed";
    }
    if (path_.empty()) path_ = "postgresql:///absent?host=" + Folder();
  } else {
    path_ = (folder_ / "ZvServer.mdb").string();
    std::string error;
    EXPECT_EQ(CreateAccountDatabase(path_, &error), 1) << error;
  }
  SetDatabasePath(path_);
}

TempDatabase::~TempDatabase() {
  SetDatabasePath("");
  if (!pg_name_.empty()) PgCluster::Get().DropDatabase(pg_name_);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string TempDatabase::AbsentPath() const {
  if (backend_ == Backend::kPostgres) return PgCluster::Get().Uri("zv_absent");
  return Folder() + "/absent.mdb";
}

void TempDatabase::RefuseChanges(const std::string& table, const std::string& event) {
  CAccountDb db;
  const std::string name = "refuse_" + event;
  if (backend_ == Backend::kSqlite) {
    ASSERT_EQ(db.ExecuteSql(CSqlStatement{"CREATE TRIGGER " + name + " BEFORE " + event + " ON " +
                                              table + " BEGIN SELECT RAISE(ABORT, 'refused'); END",
                                          {}}),
              1);
    return;
  }
  ASSERT_EQ(db.ExecuteSql(CSqlStatement{"CREATE OR REPLACE FUNCTION refuse() RETURNS trigger "
                                        "LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION "
                                        "'refused'; END $$",
                                        {}}),
            1);
  ASSERT_EQ(db.ExecuteSql(CSqlStatement{"CREATE TRIGGER " + name + " BEFORE " + event + " ON " +
                                            table + " FOR EACH ROW EXECUTE FUNCTION refuse()",
                                        {}}),
            1);
}

void TempDatabase::AddOrganization(const std::string& name, int max_users, int max_cards) {
  COrganizationRecord r;
  r.SetOrganizationName(name);
  r.SetMaxUserNum(max_users);
  r.SetMaxCardNum(max_cards);
  CAccountDb db;
  ASSERT_EQ(db.InsertRecord(&r), 1);
}

void TempDatabase::AddUser(const std::string& name, const std::string& password, int type,
                           const std::string& organization) {
  CUserRecord r;
  r.SetName(name);
  r.SetPassword(password);
  r.SetType(static_cast<uint8_t>(type));
  r.SetOrganizationName(organization);
  CAccountDb db;
  ASSERT_EQ(db.InsertRecord(&r), 1);
}

void TempDatabase::AddCard(const std::string& device_id, const std::string& organization) {
  CCardRecord r;
  r.SetDeviceID(device_id);
  r.SetOrganizationName(organization);
  CAccountDb db;
  ASSERT_EQ(db.InsertRecord(&r), 1);
}

long TempDatabase::Scalar(const std::string& sql, const std::string& param) {
  CAccountDb db;
  CSqlStatement s{sql, {}};
  if (!param.empty()) s.params.push_back(param);
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(s);
  if (!rs || rs->IsEOF()) return -1;
  std::string text;
  // The first column of the first row, whatever its name.
  int32_t v = -1;
  if (!rs->GetInt("v", v)) return -1;
  return v;
}

}  // namespace zv::test
