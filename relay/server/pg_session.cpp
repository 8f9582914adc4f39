#include "relay/server/pg_session.hpp"

#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "relay/server/pg_dialect.hpp"

namespace zv {
namespace {

// The type numbers of PostgreSQL's built-in types the tables use.
constexpr Oid kBoolOid = 16, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23, kOidOid = 26,
              kFloat4Oid = 700, kFloat8Oid = 701, kNumericOid = 1700;

// Connections kept open between handler calls. A new PostgreSQL connection
// starts a server process (about 3 ms here, against 40 us for a statement),
// so the connections of finished calls wait here for the next ones; a
// handler still holds its own connection for the length of its call.
constexpr size_t kMaxIdlePerDatabase = 16;

struct ConnDeleter {
  void operator()(PGconn* c) const { PQfinish(c); }
};
using ConnPtr = std::unique_ptr<PGconn, ConnDeleter>;

struct Pool {
  std::mutex mutex;
  std::map<std::string, std::vector<ConnPtr>> idle;
};
Pool& ThePool() {
  static Pool pool;
  return pool;
}

// The pool's key: the same URI with another lock wait is another connection.
std::string PoolKey(const std::string& uri, int busy_timeout_ms) {
  return std::to_string(busy_timeout_ms) + " " + uri;
}

// libpq's messages end with a new line and may hold several lines.
std::string OneLine(const char* message) {
  std::string text = message ? message : "";
  std::string out;
  bool line_start = false;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != ' ') out += "; ";
      line_start = true;
      continue;
    }
    // libpq indents its hint lines with a tab.
    if (line_start && (c == ' ' || c == '\t')) continue;
    line_start = false;
    out += c;
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == ';')) out.pop_back();
  return out.empty() ? "unknown error" : out;
}

ConnPtr Connect(const std::string& uri, int busy_timeout_ms, std::string* error) {
  // Our settings come before the URI, so what the URI says wins: a bounded
  // connect (an unreachable host would otherwise wait for the system's TCP
  // time-out) and a row lock waited for as long as SQLite waits for its file.
  const std::string options = "-c lock_timeout=" + std::to_string(busy_timeout_ms);
  const char* keys[] = {"connect_timeout", "options", "fallback_application_name", "dbname",
                        nullptr};
  const char* values[] = {"5", options.c_str(), "zvrelayd", uri.c_str(), nullptr};
  ConnPtr conn(PQconnectdbParams(keys, values, 1));
  if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
    if (error) *error = OneLine(conn ? PQerrorMessage(conn.get()) : "out of memory");
    return nullptr;
  }
  // The server's notices ("... does not exist, skipping") would otherwise go
  // to the standard error stream; what matters reaches the callers as errors.
  PQsetNoticeProcessor(
      conn.get(), [](void*, const char*) {}, nullptr);
  return conn;
}

// An idle connection whose server went away (a restart) has its end of file
// waiting; reading what waits finds it without blocking (libpq's sockets
// never block).
bool StillUsable(PGconn* c) {
  return PQconsumeInput(c) == 1 && PQstatus(c) == CONNECTION_OK &&
         PQtransactionStatus(c) == PQTRANS_IDLE;
}

ConnPtr TakeIdle(const std::string& key) {
  Pool& pool = ThePool();
  for (;;) {
    ConnPtr c;
    {
      std::lock_guard<std::mutex> lock(pool.mutex);
      auto it = pool.idle.find(key);
      if (it == pool.idle.end() || it->second.empty()) return nullptr;
      c = std::move(it->second.back());
      it->second.pop_back();
    }
    if (StillUsable(c.get())) return c;
  }
}

void GiveBack(const std::string& key, ConnPtr c) {
  if (!c || PQstatus(c.get()) != CONNECTION_OK || PQtransactionStatus(c.get()) != PQTRANS_IDLE)
    return;
  Pool& pool = ThePool();
  std::lock_guard<std::mutex> lock(pool.mutex);
  std::vector<ConnPtr>& idle = pool.idle[key];
  if (idle.size() < kMaxIdlePerDatabase) idle.push_back(std::move(c));
}

// A server that restarted took every connection with it.
void DropIdle(const std::string& key) {
  std::vector<ConnPtr> gone;
  Pool& pool = ThePool();
  std::lock_guard<std::mutex> lock(pool.mutex);
  auto it = pool.idle.find(key);
  if (it != pool.idle.end()) gone.swap(it->second);
}

DbValue ReadValue(const PGresult* r, int row, int column) {
  if (PQgetisnull(r, row, column)) return DbValue();
  const char* text = PQgetvalue(r, row, column);
  switch (PQftype(r, column)) {
    case kBoolOid:
      return DbValue(static_cast<int64_t>(text[0] == 't' ? 1 : 0));
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid:
      return DbValue(static_cast<int64_t>(std::strtoll(text, nullptr, 10)));
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid:
      return DbValue(std::strtod(text, nullptr));
    default:
      return DbValue(std::string(text, static_cast<size_t>(PQgetlength(r, row, column))));
  }
}

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

class CPgSession : public CDbSession {
 public:
  CPgSession(std::string key, std::string uri, int busy_timeout_ms, ConnPtr conn, bool reused)
      : key_(std::move(key)),
        uri_(std::move(uri)),
        busy_timeout_ms_(busy_timeout_ms),
        conn_(std::move(conn)),
        may_reconnect_(reused) {}
  ~CPgSession() override { GiveBack(key_, std::move(conn_)); }

  DbEngine Engine() const override { return DbEngine::kPostgres; }

  void Query(const std::string& sql, const std::vector<DbValue>& params, DbRows* out) override {
    ResultPtr r = Run(sql, params);
    const int columns = PQnfields(r.get()), rows = PQntuples(r.get());
    out->columns.clear();
    out->rows.clear();
    for (int c = 0; c < columns; ++c) out->columns.emplace_back(PQfname(r.get(), c));
    out->rows.reserve(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) {
      std::vector<DbValue> row;
      row.reserve(static_cast<size_t>(columns));
      for (int c = 0; c < columns; ++c) row.push_back(ReadValue(r.get(), i, c));
      out->rows.push_back(std::move(row));
    }
  }

  int64_t Execute(const std::string& sql, const std::vector<DbValue>& params) override {
    ResultPtr r = Run(sql, params);
    return std::strtoll(PQcmdTuples(r.get()), nullptr, 10);
  }

  void Insert(const std::string& table, const std::vector<std::string>& columns,
              const std::vector<DbValue>& values, DbRows* out) override {
    std::string sql;
    if (columns.empty()) {
      sql = "INSERT INTO " + table + " DEFAULT VALUES RETURNING *";
    } else {
      std::string names, marks;
      for (const std::string& name : columns) {
        names += (names.empty() ? "[" : ", [") + name + "]";
        marks += marks.empty() ? "?" : ", ?";
      }
      sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ") RETURNING *";
    }
    Query(sql, values, out);
    if (out->rows.empty()) Fail("read back", "no row returned");
  }

  // READ COMMITTED: other servers' transactions run beside this one, and
  // the reads that later writes depend on lock their rows (RowLockSuffix).
  void BeginWrite() override { Execute("BEGIN", {}); }
  void Commit() override { Execute("COMMIT", {}); }
  void Rollback() override { Execute("ROLLBACK", {}); }
  const char* RowLockSuffix() const override { return " FOR UPDATE"; }

  bool HasTable(const std::string& name) override {
    DbRows rows;
    Query(
        "SELECT 1 FROM pg_catalog.pg_tables WHERE tablename = lower(?) "
        "AND schemaname = ANY (current_schemas(false))",
        {DbValue(name)}, &rows);
    return !rows.rows.empty();
  }

 private:
  [[noreturn]] void Fail(const char* what, const std::string& message) {
    CDbError e;
    e.code = 1;
    e.description = std::string(what) + ": " + message;
    throw e;
  }

  ResultPtr Run(const std::string& sql, const std::vector<DbValue>& params) {
    int placeholders = 0;
    const std::string text = ToPostgresDialect(sql, &placeholders);
    if (placeholders != static_cast<int>(params.size()))
      Fail("bind", "statement placeholders and values differ in number");
    std::vector<std::string> texts(params.size());
    std::vector<const char*> pointers(params.size(), nullptr);
    for (size_t i = 0; i < params.size(); ++i) {
      const DbValue& v = params[i];
      if (std::holds_alternative<std::monostate>(v)) continue;
      if (std::holds_alternative<int64_t>(v)) {
        texts[i] = std::to_string(std::get<int64_t>(v));
      } else if (std::holds_alternative<double>(v)) {
        char b[40];
        std::snprintf(b, sizeof b, "%.17g", std::get<double>(v));
        texts[i] = b;
      } else {
        texts[i] = std::get<std::string>(v);
        // A text parameter ends at its first zero byte.
        if (texts[i].find('\0') != std::string::npos) Fail("bind", "a text holds a zero byte");
      }
      pointers[i] = texts[i].c_str();
    }
    for (;;) {
      if (!conn_) Fail("execute", "no connection to the database server");
      ResultPtr r(PQexecParams(conn_.get(), text.c_str(), static_cast<int>(params.size()), nullptr,
                               pointers.data(), nullptr, nullptr, 0));
      const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
      if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        may_reconnect_ = false;
        return r;
      }
      // A pooled connection that meets a server restarted since its last use
      // fails its first statement; nothing has happened on it yet, so the
      // statement runs again on a new connection.
      if (may_reconnect_ && PQstatus(conn_.get()) == CONNECTION_BAD) {
        may_reconnect_ = false;
        DropIdle(key_);
        conn_ = Connect(uri_, busy_timeout_ms_, nullptr);
        continue;
      }
      Fail("execute", OneLine(r ? PQresultErrorMessage(r.get()) : PQerrorMessage(conn_.get())));
    }
  }

  std::string key_;
  std::string uri_;
  int busy_timeout_ms_;
  ConnPtr conn_;
  bool may_reconnect_;
};

const char* const kSchema[] = {
    // Names compare without case, as in the SQLite file (COLLATE NOCASE):
    // citext compares by lower(), which in a C-locale database folds ASCII
    // only, as SQLite does. It is a trusted extension: a database owner may
    // add it.
    "CREATE EXTENSION IF NOT EXISTS citext",
    "CREATE TABLE IF NOT EXISTS [Organization] ("
    " id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
    " organizationname citext NOT NULL UNIQUE,"
    " password text,"
    " cardnum integer NOT NULL DEFAULT 0,"
    " maxcardnum integer NOT NULL DEFAULT 100,"
    " usernum integer NOT NULL DEFAULT 0,"
    " maxusernum integer NOT NULL DEFAULT 10)",
    "CREATE TABLE IF NOT EXISTS [User] ("
    " id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
    " name citext NOT NULL UNIQUE,"
    " password text,"
    " type integer NOT NULL DEFAULT 0,"
    " organizationname citext,"
    " online integer NOT NULL DEFAULT 0,"
    " regtime double precision,"
    " lastlogintime double precision)",
    "CREATE INDEX IF NOT EXISTS user_organizationname ON [User] (organizationname)",
    "CREATE TABLE IF NOT EXISTS [Card] ("
    " id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
    " deviceid citext NOT NULL UNIQUE,"
    " organizationname citext,"
    " online integer NOT NULL DEFAULT 0,"
    " regtime double precision)",
    "CREATE INDEX IF NOT EXISTS card_organizationname ON [Card] (organizationname)",
    // time: the server's local time as a date value (days since 1899-12-30;
    // 1970-01-01 is day 25569).
    "CREATE TABLE IF NOT EXISTS [Log] ("
    " id integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
    " \"time\" double precision NOT NULL"
    "  DEFAULT (extract(epoch FROM localtimestamp) / 86400 + 25569),"
    " msgtype integer NOT NULL DEFAULT 0,"
    " nodetype integer NOT NULL DEFAULT 0,"
    " nodeid text,"
    " msgdescribe text,"
    " organizationname citext)",
};

}  // namespace

std::unique_ptr<CDbSession> OpenPgSession(const std::string& uri, int busy_timeout_ms) {
  const std::string key = PoolKey(uri, busy_timeout_ms);
  ConnPtr conn = TakeIdle(key);
  const bool reused = conn != nullptr;
  if (!conn) conn = Connect(uri, busy_timeout_ms, nullptr);
  if (!conn) return nullptr;
  return std::make_unique<CPgSession>(key, uri, busy_timeout_ms, std::move(conn), reused);
}

int CreatePgDatabase(const std::string& uri, int busy_timeout_ms, std::string* error) {
  std::string why;
  ConnPtr conn = Connect(uri, busy_timeout_ms, &why);
  if (!conn) {
    if (error) *error = why;
    return 0;
  }
  CPgSession session(PoolKey(uri, busy_timeout_ms), uri, busy_timeout_ms, std::move(conn), false);
  try {
    // All tables or none.
    session.BeginWrite();
    for (const char* sql : kSchema) session.Execute(sql, {});
    session.Commit();
  } catch (const CDbError& e) {
    if (error) *error = e.description;
    return 0;
  }
  return 1;
}

std::string PgDatabaseProblem(const std::string& uri, int busy_timeout_ms) {
  std::string why;
  ConnPtr conn = Connect(uri, busy_timeout_ms, &why);
  if (!conn) return why;
  CPgSession session(PoolKey(uri, busy_timeout_ms), uri, busy_timeout_ms, std::move(conn), false);
  try {
    for (const char* table : {"organization", "user", "card", "log"}) {
      if (!session.HasTable(table))
        return "the database has no account tables (create them with --init-db)";
    }
    DbRows rows;
    session.Query(
        "SELECT current_setting('transaction_read_only') = 'on' AS v, "
        "has_table_privilege('\"user\"', 'UPDATE') AND has_table_privilege('card', 'UPDATE') AS w",
        {}, &rows);
    if (std::get<int64_t>(rows.rows[0][0]) == 1)
      return "it is read-only (the server writes on every login: is this a standby?)";
    if (std::get<int64_t>(rows.rows[0][1]) == 0)
      return "the role may not change the account tables (the server writes on every login: "
             "grant it SELECT, INSERT, UPDATE and DELETE on them)";
  } catch (const CDbError& e) {
    return e.description;
  }
  return std::string();
}

void ClosePooledPgConnections() {
  std::map<std::string, std::vector<ConnPtr>> gone;
  Pool& pool = ThePool();
  std::lock_guard<std::mutex> lock(pool.mutex);
  gone.swap(pool.idle);
}

std::string PgMessageLine(const char* message) {
  return OneLine(message);
}

}  // namespace zv
