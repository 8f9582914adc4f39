// What the account requests cost on each database: a login (a row read and
// written back) and a card query (a row read), on the SQLite file and on
// PostgreSQL, the latter with pooled connections and with a new connection
// per request. Handlers are called as the database workers call them.
//
// PostgreSQL: TARVO_BENCH_PG_URI names a database the bench may fill (for
// instance one made with createdb on a local server); without it those cases
// are skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "relay/messages/card_record.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/relay_messages.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"
#include "relay/server/pg_session.hpp"

namespace {

enum Case { kSqlite = 0, kPostgres = 1, kPostgresUnpooled = 2 };

// The database of a case with one organization, one user and one card, or ""
// when the case has none.
std::string Prepare(int which) {
  std::string path;
  if (which == kSqlite) {
    path = (std::filesystem::temp_directory_path() / "zv-bench-accounts.mdb").string();
  } else if (const char* uri = std::getenv("TARVO_BENCH_PG_URI"); uri && *uri) {
    path = uri;
  } else {
    return std::string();
  }
  std::string error;
  if (!zv::CreateAccountDatabase(path, &error)) return std::string();
  // The rows may be there from an earlier run: their refusals are no news.
  zv::SetDbErrorReporter([](const std::string&) {});
  zv::CAccountDb db(path);
  zv::COrganizationRecord org;
  org.SetOrganizationName("Bench");
  db.InsertRecord(&org);  // refused when it is there from an earlier run
  zv::CUserRecord user;
  user.SetName("bench");
  user.SetPassword("pw");
  user.SetType(1);
  user.SetOrganizationName("Bench");
  db.InsertRecord(&user);
  zv::CCardRecord card;
  card.SetDeviceID("BEN001");
  card.SetOrganizationName("Bench");
  db.InsertRecord(&card);
  zv::SetDatabasePath(path);
  return path;
}

void BM_Login(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  if (Prepare(which).empty()) {
    state.SkipWithError("no database (set TARVO_BENCH_PG_URI for PostgreSQL)");
    return;
  }
  zv::CLoginMsg login;
  login.SetUserName("bench");
  login.SetPassword("pw");
  for (auto _ : state) {
    if (which == kPostgresUnpooled) zv::ClosePooledPgConnections();
    zv::CUserRecord user;
    zv::CLoginAckMsg ack;
    ack.Process(login, user);
    if (ack.GetResult() != zv::kLoginOk) state.SkipWithError("login refused");
  }
  zv::ClosePooledPgConnections();
}

void BM_CardQuery(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  if (Prepare(which).empty()) {
    state.SkipWithError("no database (set TARVO_BENCH_PG_URI for PostgreSQL)");
    return;
  }
  zv::CUserRecord user;
  user.SetName("bench");
  user.SetType(1);
  zv::CQueryMsg query;
  query.SetKind(zv::kCardKind);
  query.SetFilter("BEN001");
  for (auto _ : state) {
    if (which == kPostgresUnpooled) zv::ClosePooledPgConnections();
    zv::CQueryAckMsg ack;
    ack.Process(query, user);
    if (!ack.GetRecords() || ack.GetRecords()->GetCount() != 1) state.SkipWithError("no card");
  }
  zv::ClosePooledPgConnections();
}

// 0 SQLite, 1 PostgreSQL (pooled), 2 PostgreSQL with a new connection each.
BENCHMARK(BM_Login)->Arg(kSqlite)->Arg(kPostgres)->Arg(kPostgresUnpooled)->UseRealTime();
BENCHMARK(BM_CardQuery)->Arg(kSqlite)->Arg(kPostgres)->Arg(kPostgresUnpooled)->UseRealTime();

}  // namespace
BENCHMARK_MAIN();
