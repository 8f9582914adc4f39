// A card's TCP connection to zvrelayd, from its first byte on: what the card
// sends ([06 00][DeviceID] to register, then answers [L][DeviceID][reply
// packet]) goes through the daemon's own card session - frame splitting,
// registration against the [Card] table, the lock and the delivery to the
// user who holds it - over a socket pair instead of a network connection,
// in chunks whose size the input picks, each handled as its own read.
//
// Afterwards: no session may be left in the card table nor alive, the
// card's OnLine is 0 again, and the user received exactly the answers the
// card sent, whole and in order (those that arrived while the lock was held).
//
// Input: [mode] then the card's bytes.
//   mode bits 0-5: chunk size - 1 (63: all bytes at once)
//   mode bit 6: the card connects again halfway through its bytes while its
//               first connection is still open, and sends the rest there
//   mode bit 7: nobody locks the card (otherwise user01 locks it as soon as
//               it is online, as a tool does after its login)
#include <asio.hpp>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/wire.hpp"
#include "relay/daemon/card_secrets.hpp"
#include "relay/daemon/card_session.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/comm_packet_msg.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/relay_packet.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/account_status.hpp"
#include "relay/server/connection_registry.hpp"
#include "relay/server/database_path.hpp"

namespace {

using Bytes = std::vector<uint8_t>;
using zv::daemon::CCardSession;

// The cards of the [Card] table. A card registers with any case of its
// DeviceID ("AB12CD" finds "Ab12cD"). The last has a secret: it is sent a
// challenge, and what follows its registration must be the keyed answer
// before anything of it counts.
const char* const kCards[] = {"100001", "Ab12cD", "5ECRE7"};
const char* const kSecretCard = "5ECRE7";

void Require(bool condition) {
  if (!condition) std::abort();
}

// The user holding the lock: takes the frames the daemon hands it.
class LockHolder : public zv::CConnection {
 public:
  std::string GetId() const override { return "user01"; }
  std::string GetOrganization() const override { return "Acme"; }
  bool Deliver(const uint8_t* data, size_t length) override {
    frames.emplace_back(data, data + length);
    return true;
  }
  std::vector<Bytes> frames;
};

struct Fixture {
  std::string folder;
  asio::io_context io{1};
  zv::daemon::ServerSettings settings;
  std::shared_ptr<zv::CTcpConnectionTable> users = std::make_shared<zv::CTcpConnectionTable>();
  std::shared_ptr<zv::CTcpConnectionTable> cards = std::make_shared<zv::CTcpConnectionTable>();
  LockHolder holder;
  zv::CUserRecord holder_record;

  Fixture() {
    // Every registration reads the database and writes OnLine twice: a
    // memory-backed folder keeps that from dominating the run.
    std::error_code ec;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
    folder = (base / ("zv-fuzz-cards-" + std::to_string(std::random_device{}()))).string();
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/ZvServer.mdb";
    std::string error;
    if (!zv::CreateAccountDatabase(path, &error)) std::abort();
    zv::SetDatabasePath(path);
    zv::SetDbErrorReporter([](const std::string&) {});
    zv::CAccountDb db;
    zv::COrganizationRecord org;
    org.SetOrganizationName("Acme");
    Require(db.InsertRecord(&org) == 1);
    for (const char* id : kCards) {
      zv::CCardRecord card;
      card.SetDeviceID(id);
      card.SetOrganizationName("Acme");
      Require(db.InsertRecord(&card) == 1);
    }
    Require(zv::daemon::StoreCardSecret(db, kSecretCard, "fuzz") == 1);
    holder_record.SetName("user01");
    holder_record.SetType(1);
    holder_record.SetOrganizationName("Acme");
    users->Add(1, &holder);
    zv::CConnectionRegistry::Instance().InstallUserTable(users);
    zv::CConnectionRegistry::Instance().InstallTcpCardTable(cards);
  }
  ~Fixture() {
    zv::CConnectionRegistry::Instance().RemoveTables();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }

  // Runs the handlers the written bytes made ready, until none is left.
  void Drain() {
    io.restart();
    while (io.poll() > 0) {
    }
  }
};

// One card connection: the daemon's session on one end of a socket pair (as
// its TCP socket), the card's end kept here. Only the handlers keep the
// session alive, as in the server.
struct CardConnection {
  std::weak_ptr<CCardSession> session;
  asio::local::stream_protocol::socket card;
  bool open = true;

  CardConnection(Fixture& f, uint64_t key) : card(f.io) {
    asio::local::stream_protocol::socket daemon_end(f.io);
    asio::local::connect_pair(daemon_end, card);
    asio::ip::tcp::socket socket(f.io);
    socket.assign(asio::ip::tcp::v4(), daemon_end.release());
    auto s = std::make_shared<CCardSession>(std::move(socket), key, f.cards, f.settings);
    s->Start();
    session = s;
  }

  // Sends `n` bytes in chunks, letting the daemon handle each; stops when
  // the daemon has closed the connection.
  void Send(Fixture& f, const uint8_t* p, size_t n, size_t chunk, bool lock) {
    for (size_t at = 0; at < n && open; at += chunk) {
      std::error_code ec;
      asio::write(card, asio::buffer(p + at, std::min(chunk, n - at)), ec);
      if (ec) open = false;
      f.Drain();
      if (lock) LockKnownCards(f);
    }
  }

  static void LockKnownCards(Fixture& f) {
    for (const char* id : kCards) {
      uint8_t result = 0;
      f.cards->LockCard(f.holder_record, id, zv::kLockGranted, &result);
    }
  }
};

// The card's answers by the card protocol alone: whole [L][L bytes] frames
// after the first (the registration), each longer than the DeviceID, up to
// the first frame that is too short to carry a DeviceID or incomplete.
void AppendAnswers(const uint8_t* p, size_t n, std::vector<Bytes>& out) {
  size_t at = 0;
  bool first = true;
  while (n - at >= 2) {
    const size_t length = tarvo::wire::GetLe16(p + at);
    if (length < zv::daemon::kCardIdLength || n - at - 2 < length) break;
    if (!first && length > zv::daemon::kCardIdLength) out.emplace_back(p + at, p + at + 2 + length);
    first = false;
    at += 2 + length;
  }
}

// The card frame carried by a delivered relay frame, which must be a
// CCommPacketAckMsg with the card status.
Bytes Unwrap(const Bytes& frame) {
  zv::RelayHeader header;
  Require(frame.size() > static_cast<size_t>(zv::kRelayHeaderSize) + 1);
  Require(zv::ParseRelayHeader(frame.data(), header) == 1);
  Require(header.type == zv::kCommPacketAckMsgType);
  Require(static_cast<size_t>(header.body_length) + zv::kRelayHeaderSize == frame.size());
  Require(frame[zv::kRelayHeaderSize] == zv::kCardPacketStatus);
  return Bytes(frame.begin() + zv::kRelayHeaderSize + 1, frame.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture f;
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  const size_t chunk = (mode & 0x3F) == 0x3F ? size : (mode & 0x3F) + 1u;
  const bool reconnect = mode & 0x40;
  const bool lock = !(mode & 0x80);
  const uint8_t* stream = data + 1;
  const size_t length = size - 1;
  const size_t first_part = reconnect ? length / 2 : length;
  f.holder.frames.clear();

  CardConnection first(f, 2);
  f.Drain();
  first.Send(f, stream, first_part, chunk, lock);
  std::unique_ptr<CardConnection> second;
  if (reconnect) {
    second = std::make_unique<CardConnection>(f, 3);
    f.Drain();
    second->Send(f, stream + first_part, length - first_part, chunk, lock);
  }
  // The card goes away.
  first.card.close();
  if (second) second->card.close();
  f.Drain();

  Require(f.cards->Size() == 0);
  Require(first.session.expired());
  Require(!second || second->session.expired());
  for (const char* id : kCards) {
    zv::CCardRecord stored;
    Require(zv::LookupCard(id, &stored));
    Require(stored.GetOnLine() == 0);
  }

  std::vector<Bytes> answers;
  AppendAnswers(stream, first_part, answers);
  if (reconnect) AppendAnswers(stream + first_part, length - first_part, answers);
  if (!lock) Require(f.holder.frames.empty());
  size_t next = 0;
  for (const Bytes& frame : f.holder.frames) {
    const Bytes answer = Unwrap(frame);
    while (next < answers.size() && answers[next] != answer) ++next;
    Require(next < answers.size());
    ++next;
  }
  return 0;
}
