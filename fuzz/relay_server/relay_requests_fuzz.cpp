// Requests of any content, decoded and processed against a real account
// database by a logged-in type 1 user: no text a request carries may break a
// statement, crash a handler or corrupt the answer it builds.
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "relay/messages/organization_record.hpp"
#include "relay/messages/relay_messages.hpp"
#include "relay/messages/relay_packet.hpp"
#include "relay/server/account_db.hpp"
#include "relay/server/database_path.hpp"

namespace {

struct Fixture {
  zv::CUserRecord root;
  std::string folder;
  ~Fixture() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  Fixture() {
    // A folder of its own, so parallel runs never share a database.
    folder = (std::filesystem::temp_directory_path() /
              ("zv-fuzz-requests-" + std::to_string(std::random_device{}())))
                 .string();
    std::filesystem::create_directories(folder);
    std::string path = folder + "/ZvServer.mdb";
    std::filesystem::remove(path);
    std::string error;
    if (!zv::CreateAccountDatabase(path, &error)) std::abort();
    zv::SetDatabasePath(path);
    zv::SetDbErrorReporter([](const std::string&) {});
    zv::COrganizationRecord org;
    org.SetOrganizationName("Acme");
    zv::CAccountDb db;
    db.InsertRecord(&org);
    root.SetName("root");
    root.SetType(1);
    root.SetOrganizationName("Acme");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture fixture;
  if (size < 2) return 0;
  // Requests 1-7 only; the first byte picks one.
  uint16_t type = static_cast<uint16_t>(data[0] % 7 + 1);
  zv::CRelayPacket request(type);
  zv::CRelayMsg* message = request.GetMessage();
  if (!message || !message->Decode(data + 1, static_cast<int>(size - 1))) return 0;
  // Login would replace the connection user; keep the fuzzer logged in.
  if (type == zv::kLoginMsgType) return 0;
  std::unique_ptr<zv::CRelayMsg> answer =
      zv::CreateRelayMsg(static_cast<uint16_t>(zv::kAnswerTypeBase + type));
  if (!answer) std::abort();
  try {
    answer->Process(*message, fixture.root);
  } catch (const zv::CDbError&) {
    // Allowed: the server's dispatcher catches these and still answers.
  }
  zv::CRelayPacket out;
  out.SetMessage(std::move(answer));
  int length = 0;
  out.Build(length);
  return 0;
}
