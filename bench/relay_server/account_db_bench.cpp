// What the account requests cost on each database, with handlers called as
// the database workers call them: a login (a row read and written back, the
// user offline before each), a
// query (one card by Device ID, and an administrator's list of 100 cards),
// and record operations (adding, changing and deleting a user, each with its
// organization's counter in one transaction). On the SQLite file and on
// PostgreSQL, the latter with pooled connections and, for the login and the
// card query, with a new connection per request. Every figure carries its
// requests per second (items_per_second).
//
// PostgreSQL: TARVO_BENCH_PG_URI names a database the bench may fill (for
// instance one made with createdb on a local server); without it the bench
// starts a server of its own in a temporary folder and removes it at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "relay/messages/card_record.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/relay_messages.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"
#include "relay/server/pg_session.hpp"
#include "scratch_postgres.hpp"

namespace {

enum Case { kSqlite = 0, kPostgres = 1, kPostgresUnpooled = 2 };
using Clock = std::chrono::steady_clock;

// Benchmarks with work per iteration that must not count time themselves.
double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}
constexpr int kListedCards = 100;

std::unique_ptr<zv::bench::ScratchPostgres> g_scratch;
std::string g_scratch_uri;

std::string PostgresUri() {
  if (const char* uri = std::getenv("TARVO_BENCH_PG_URI"); uri && *uri) return uri;
  if (!g_scratch) {
    g_scratch = std::make_unique<zv::bench::ScratchPostgres>();
    std::string problem;
    g_scratch_uri = g_scratch->Start("zv_bench", &problem);
    if (g_scratch_uri.empty()) std::fprintf(stderr, "no PostgreSQL: %s\n", problem.c_str());
  }
  return g_scratch_uri;
}

std::string CardId(int i) {
  char id[8];
  std::snprintf(id, sizeof id, "BEN%03d", i);
  return id;
}

std::unique_ptr<zv::CRecord> User(const std::string& name, int type) {
  auto u = std::make_unique<zv::CUserRecord>();
  u->SetName(name);
  u->SetPassword("pw");
  u->SetType(static_cast<uint8_t>(type));
  u->SetOrganizationName("Bench");
  return u;
}

// The database of a case with one organization, its administrator "bench"
// and kListedCards cards, or "" when the case has none.
std::string Prepare(int which) {
  std::string path;
  if (which == kSqlite) {
    path = (std::filesystem::temp_directory_path() / "zv-bench-accounts.mdb").string();
  } else {
    path = PostgresUri();
    if (path.empty()) return std::string();
  }
  std::string error;
  if (!zv::CreateAccountDatabase(path, &error)) return std::string();
  // The rows may be there from an earlier case: their refusals are no news.
  zv::SetDbErrorReporter([](const std::string&) {});
  zv::CAccountDb db(path);
  zv::COrganizationRecord org;
  org.SetOrganizationName("Bench");
  org.SetMaxUserNum(1000000);
  org.SetMaxCardNum(1000000);
  db.InsertRecord(&org);
  db.InsertRecord(User("bench", 1).get());
  db.ExecuteSql(zv::CSqlStatement{"BEGIN", {}});
  for (int i = 0; i < kListedCards; ++i) {
    zv::CCardRecord card;
    card.SetDeviceID(CardId(i));
    card.SetOrganizationName("Bench");
    db.InsertRecord(&card);
  }
  db.ExecuteSql(zv::CSqlStatement{"COMMIT", {}});
  // Users the record operations of an earlier run left behind.
  db.ExecuteSql(zv::CSqlStatement{"DELETE FROM [User] WHERE Name LIKE 'op%'", {}});
  zv::SetDatabasePath(path);
  return path;
}

void Administrator(zv::CUserRecord* user) {
  user->SetName("bench");
  user->SetType(1);
  user->SetOrganizationName("Bench");
}

// Each login finds the user offline, as a real one does: the same values
// written again would cost SQLite no write at all.
void BM_Login(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const std::string path = Prepare(which);
  if (path.empty()) {
    state.SkipWithError("no database");
    return;
  }
  zv::CAccountDb db(path);
  const zv::CSqlStatement offline{"UPDATE [User] SET OnLine = 0 WHERE Name = 'bench'", {}};
  zv::CLoginMsg login;
  login.SetUserName("bench");
  login.SetPassword("pw");
  for (auto _ : state) {
    db.ExecuteSql(offline);
    const auto t0 = Clock::now();
    if (which == kPostgresUnpooled) zv::ClosePooledPgConnections();
    zv::CUserRecord user;
    zv::CLoginAckMsg ack;
    ack.Process(login, user);
    state.SetIterationTime(Seconds(Clock::now() - t0));
    if (ack.GetResult() != zv::kLoginOk) state.SkipWithError("login refused");
  }
  state.SetItemsProcessed(state.iterations());
  zv::ClosePooledPgConnections();
}

// range(1): the filter's Device ID, or -1 for the list of every card.
void BM_CardQuery(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  if (Prepare(which).empty()) {
    state.SkipWithError("no database");
    return;
  }
  zv::CUserRecord user;
  Administrator(&user);
  zv::CQueryMsg query;
  query.SetKind(zv::kCardKind);
  const bool list = state.range(1) < 0;
  if (!list) query.SetFilter(CardId(static_cast<int>(state.range(1))));
  const size_t expected = list ? kListedCards : 1;
  for (auto _ : state) {
    if (which == kPostgresUnpooled) zv::ClosePooledPgConnections();
    zv::CQueryAckMsg ack;
    ack.Process(query, user);
    if (!ack.GetRecords() || ack.GetRecords()->GetCount() != expected)
      state.SkipWithError("wrong card count");
  }
  state.SetItemsProcessed(state.iterations());
  zv::ClosePooledPgConnections();
}

uint8_t RecordOp(zv::CUserRecord& by, uint8_t operation, std::unique_ptr<zv::CRecord> record) {
  zv::CRecordOpMsg op;
  op.SetOperation(operation);
  op.SetRecord(std::move(record));
  zv::CRecordOpAckMsg ack;
  ack.Process(op, by);
  return ack.GetResult();
}

// range(1): zv::kRecordAdd, kRecordModify or kRecordDelete of a user record,
// through the handler an administrator's request reaches.
void BM_UserRecordOp(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const auto operation = static_cast<uint8_t>(state.range(1));
  if (Prepare(which).empty()) {
    state.SkipWithError("no database");
    return;
  }
  zv::CUserRecord admin;
  Administrator(&admin);
  int n = 0;
  if (operation == zv::kRecordModify && RecordOp(admin, zv::kRecordAdd, User("opmod", 2)) != 0)
    state.SkipWithError("cannot add the user to modify");
  for (auto _ : state) {
    uint8_t result = 1;
    auto t0 = Clock::now();
    if (operation == zv::kRecordAdd) {
      result = RecordOp(admin, operation, User("op" + std::to_string(n++), 2));
    } else if (operation == zv::kRecordModify) {
      result = RecordOp(admin, operation, User("opmod", 2 + (n++ & 1)));
    } else {
      const uint8_t added = RecordOp(admin, zv::kRecordAdd, User("opdel", 2));
      t0 = Clock::now();
      result = added == 0 ? RecordOp(admin, operation, User("opdel", 2)) : 1;
    }
    state.SetIterationTime(Seconds(Clock::now() - t0));
    if (result != 0) {
      state.SkipWithError("record operation refused");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  for (int i = 0; operation == zv::kRecordAdd && i < n; ++i)
    RecordOp(admin, zv::kRecordDelete, User("op" + std::to_string(i), 2));
  zv::ClosePooledPgConnections();
}

// 0 SQLite, 1 PostgreSQL (pooled), 2 PostgreSQL with a new connection each.
BENCHMARK(BM_Login)
    ->ArgName("db")
    ->Arg(kSqlite)
    ->Arg(kPostgres)
    ->Arg(kPostgresUnpooled)
    ->UseManualTime();
BENCHMARK(BM_CardQuery)
    ->ArgNames({"db", "card"})
    ->ArgsProduct({{kSqlite, kPostgres, kPostgresUnpooled}, {1}})
    ->ArgsProduct({{kSqlite, kPostgres}, {-1}})
    ->UseRealTime();
BENCHMARK(BM_UserRecordOp)
    ->ArgNames({"db", "op"})
    ->ArgsProduct({{kSqlite, kPostgres}, {zv::kRecordAdd, zv::kRecordModify, zv::kRecordDelete}})
    ->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // Before the static objects go: the server's folder and its pooled
  // connections.
  g_scratch.reset();
  return 0;
}
