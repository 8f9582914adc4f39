#include "relay/daemon/node_channel.hpp"

#include <fcntl.h>
#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "common/sha256.hpp"
#include "relay/server/pg_session.hpp"

namespace zv::daemon {
namespace {

// Notifications per statement: enough to carry a busy pair of servers in a
// few round trips a millisecond, few enough that one statement stays small.
constexpr size_t kBatch = 64;
// What may wait to be sent (a database that is slow or away); more is
// refused, as a card's packets are when its connection cannot take them.
constexpr size_t kMaxQueuedBytes = 64 * 1024 * 1024;
constexpr int kRetryMs = 1000;

PGconn* Connect(const std::string& uri, std::string* error) {
  const char* keys[] = {"connect_timeout", "fallback_application_name", "dbname", nullptr};
  const char* values[] = {"5", "zvrelayd", uri.c_str(), nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 1);
  if (conn && PQstatus(conn) == CONNECTION_OK) {
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    return conn;
  }
  if (error) *error = PgMessageLine(conn ? PQerrorMessage(conn) : "out of memory");
  PQfinish(conn);
  return nullptr;
}

bool Run(PGconn* conn, const std::string& sql) {
  PGresult* r = PQexec(conn, sql.c_str());
  const bool ok = r && PQresultStatus(r) == PGRES_COMMAND_OK;
  PQclear(r);
  return ok;
}

bool ListenOn(PGconn* conn, const std::string& channel) {
  return Run(conn, "LISTEN " + channel);
}

}  // namespace

std::string NodeChannelName(const std::string& node) {
  const auto digest =
      tarvo::hash::Sha256Of(reinterpret_cast<const uint8_t*>(node.data()), node.size());
  static const char kHex[] = "0123456789abcdef";
  std::string name = "zvrelayd_";
  for (size_t i = 0; i < 12; ++i) {
    name += kHex[digest[i] >> 4];
    name += kHex[digest[i] & 15];
  }
  return name;
}

CNodeChannel::CNodeChannel(std::string uri, std::string node, Handler handler, LogFn log)
    : uri_(std::move(uri)),
      node_(std::move(node)),
      handler_(std::move(handler)),
      log_(std::move(log)) {}

CNodeChannel::~CNodeChannel() {
  Stop();
  if (stop_pipe_[0] >= 0) close(stop_pipe_[0]);
  if (stop_pipe_[1] >= 0) close(stop_pipe_[1]);
}

int CNodeChannel::Start(std::string* error) {
  PGconn* conn = Connect(uri_, error);
  if (!conn) return 0;
  if (!ListenOn(conn, NodeChannelName(node_))) {
    *error = "cannot listen for the other servers: " + PgMessageLine(PQerrorMessage(conn));
    PQfinish(conn);
    return 0;
  }
  if (pipe2(stop_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = "cannot make a pipe";
    PQfinish(conn);
    return 0;
  }
  listen_conn_ = conn;
  listener_ = std::thread([this] { Listen(); });
  sender_ = std::thread([this] { SendQueued(); });
  return 1;
}

bool CNodeChannel::Send(const std::string& to, NodeMessage message) {
  message.from = node_;
  const std::string channel = NodeChannelName(to);
  std::lock_guard<std::mutex> guard(lock_);
  // While the database cannot be reached nothing would arrive: the caller
  // answers a failure now instead of a success nobody can keep.
  if (stop_ || !reachable_) return false;
  std::vector<std::string> payloads = EncodeNodeMessage(message, ++serial_);
  // A message goes whole or not at all: its parts are only worth anything together.
  size_t bytes = 0;
  for (const std::string& p : payloads) bytes += p.size();
  if (payloads.empty() || queued_bytes_ + bytes > kMaxQueuedBytes) return false;
  queued_bytes_ += bytes;
  for (std::string& p : payloads) queue_.emplace_back(channel, std::move(p));
  wake_.notify_one();
  return true;
}

void CNodeChannel::Stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (stop_) return;
    stop_ = true;
  }
  wake_.notify_all();
  if (stop_pipe_[1] >= 0) {
    const char b = 1;
    (void)!write(stop_pipe_[1], &b, 1);
  }
  if (listener_.joinable()) listener_.join();
  if (sender_.joinable()) sender_.join();
}

void CNodeChannel::Listen() {
  PGconn* conn = static_cast<PGconn*>(listen_conn_);
  const std::string channel = NodeChannelName(node_);
  CNodeReassembler parts;
  bool failing = false;
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (stop_) break;
    }
    if (!conn) {
      std::string why;
      conn = Connect(uri_, &why);
      if (conn && !ListenOn(conn, channel)) {
        PQfinish(conn);
        conn = nullptr;
      }
      if (!conn) {
        pollfd p{stop_pipe_[0], POLLIN, 0};
        poll(&p, 1, kRetryMs);
        continue;
      }
      if (failing) log_("listening for the other servers again");
      failing = false;
      parts = CNodeReassembler();
    }
    pollfd fds[2] = {{PQsocket(conn), POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (poll(fds, 2, 1000) < 0) continue;
    if (fds[1].revents) break;
    if (PQconsumeInput(conn) != 1 || PQstatus(conn) != CONNECTION_OK) {
      if (!failing)
        log_(
            "lost the database connection that listens for the other servers; packets between "
            "servers are lost until it is back");
      failing = true;
      PQfinish(conn);
      conn = nullptr;
      continue;
    }
    while (PGnotify* n = PQnotifies(conn)) {
      std::optional<NodeMessage> message = parts.Feed(n->extra ? n->extra : "");
      PQfreemem(n);
      if (message) handler_(std::move(*message));
    }
  }
  PQfinish(conn);
}

void CNodeChannel::SendQueued() {
  PGconn* conn = nullptr;
  bool failing = false;
  std::vector<std::pair<std::string, std::string>> batch;  // kept until it went out
  std::vector<const char*> values;
  for (;;) {
    {
      std::unique_lock<std::mutex> guard(lock_);
      wake_.wait(guard, [&] { return stop_ || !queue_.empty() || !batch.empty(); });
      if (stop_) break;
      while (!queue_.empty() && batch.size() < kBatch) {
        queued_bytes_ -= queue_.front().second.size();
        batch.push_back(std::move(queue_.front()));
        queue_.pop_front();
      }
    }
    if (!conn) {
      conn = Connect(uri_, nullptr);
      if (!conn) {
        if (!failing)
          log_(
              "cannot reach the database to send to the other servers; packets for cards on "
              "other servers fail until it is back");
        failing = true;
        std::unique_lock<std::mutex> guard(lock_);
        reachable_ = false;
        wake_.wait_for(guard, std::chrono::milliseconds(kRetryMs), [this] { return stop_; });
        continue;
      }
    }
    std::string sql = "SELECT ";
    values.clear();
    for (size_t i = 0; i < batch.size(); ++i) {
      sql += (i ? ", pg_notify($" : "pg_notify($") + std::to_string(2 * i + 1) + ", $" +
             std::to_string(2 * i + 2) + ")";
      values.push_back(batch[i].first.c_str());
      values.push_back(batch[i].second.c_str());
    }
    PGresult* r = PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0);
    const bool ok = r && PQresultStatus(r) == PGRES_TUPLES_OK;
    PQclear(r);
    if (ok || PQstatus(conn) == CONNECTION_OK) {
      // Sent, or refused by the server for what it holds: either way done
      // with (a statement the database refuses would be refused again).
      batch.clear();
      if (failing) log_("sending to the other servers again");
      failing = false;
      std::lock_guard<std::mutex> guard(lock_);
      reachable_ = true;
      continue;
    }
    // The connection died (a database restart): the batch goes again on a
    // new one, or waits for the database with the others.
    PQfinish(conn);
    conn = nullptr;
  }
  PQfinish(conn);
}

}  // namespace zv::daemon
