#include "load_setup.hpp"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/process.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/user_record.hpp"
#include "relay/server/account_db.hpp"

namespace zv::bench {

std::string LoadCardId(int index) {
  char id[16];
  std::snprintf(id, sizeof id, "C%05d", index);
  return id;
}

std::string LoadUserName(int index) {
  return "user" + std::to_string(index);
}

bool SeedLoadDatabase(const std::string& path, int users, int cards) {
  std::string error;
  if (!zv::CreateAccountDatabase(path, &error)) return false;
  zv::CAccountDb db(path);
  // One transaction: ten thousand single inserts would each sync the file.
  db.ExecuteSql(zv::CSqlStatement{"BEGIN", {}});
  zv::COrganizationRecord org;
  org.SetOrganizationName("Load");
  org.SetMaxUserNum(1000000);
  org.SetMaxCardNum(1000000);
  db.InsertRecord(&org);
  for (int i = 0; i < users; ++i) {
    zv::CUserRecord u;
    u.SetName(LoadUserName(i));
    u.SetPassword("pw");
    u.SetType(2);
    u.SetOrganizationName("Load");
    db.InsertRecord(&u);
  }
  for (int i = 0; i < cards; ++i) {
    zv::CCardRecord c;
    c.SetDeviceID(LoadCardId(i));
    c.SetOrganizationName("Load");
    db.InsertRecord(&c);
  }
  return db.ExecuteSql(zv::CSqlStatement{"COMMIT", {}}) == 1;
}

bool StartLoadServer(const std::string& db, int threads, LoadServer* server,
                     const std::string& name) {
  const std::string program = tarvo::platform::ExecutableDir() + name;
  // Every load peer comes from 127.0.0.1: the cap on connections of one
  // address that have not logged in or registered yet would refuse most of a
  // fleet connecting at once.
  if (!server->process.Start(
          program, {"--db", db, "--bind", "127.0.0.1", "--user-port", "0", "--card-port", "0",
                    "--threads", std::to_string(threads), "--max-per-address", "1000000"})) {
    std::fprintf(stderr, "cannot start %s\n", program.c_str());
    return false;
  }
  std::string users_line, cards_line;
  if (!server->process.ReadLine(&users_line, 10000) ||
      !server->process.ReadLine(&cards_line, 10000))
    return false;
  server->user_port = static_cast<uint16_t>(std::stoi(users_line.substr(6)));
  server->card_port = static_cast<uint16_t>(std::stoi(cards_line.substr(6)));
  return true;
}

long ServerRssKiB(const std::string& marker) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream cmd(entry.path() / "cmdline", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(cmd)), std::istreambuf_iterator<char>());
    if (text.find(marker) == std::string::npos || text.find("zvrelayd") == std::string::npos)
      continue;
    std::ifstream status(entry.path() / "status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

double ProcessCpuSeconds(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The command name may hold spaces: fields are counted after its ')'.
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  const long ticks = sysconf(_SC_CLK_TCK);
  return ticks > 0 ? static_cast<double>(utime + stime) / static_cast<double>(ticks) : -1;
}

}  // namespace zv::bench
