// What the zvrelayd load tools share: a seeded account database, the card
// names, starting the real program on free ports, and its resident memory.
#pragma once

#include <cstdint>
#include <string>

#include "platform/child_process.hpp"

namespace zv::bench {

// "C00000", "C00001", ...: six characters, as a TCP card's DeviceID must be.
std::string LoadCardId(int index);
// "user0", "user1", ... with password "pw", all in one organization.
std::string LoadUserName(int index);

// A fresh database with `users` users and `cards` cards. False on failure.
bool SeedLoadDatabase(const std::string& path, int users, int cards);

// Starts zvrelayd (beside this program) on loopback with free ports;
struct LoadServer {
  tarvo::platform::ChildProcess process;
  uint16_t user_port = 0;
  uint16_t card_port = 0;
};
// `program` names another server beside this program with zvrelayd's
// serving options and start lines.
bool StartLoadServer(const std::string& db, int threads, LoadServer* server,
                     const std::string& program = "zvrelayd");

// VmRSS in KiB of the zvrelayd process whose command line names `marker`
// (its database path), read from /proc/<pid>/status; -1 when not found.
long ServerRssKiB(const std::string& marker);

// User plus system CPU seconds the process has used so far, from
// /proc/<pid>/stat; -1 when it cannot be read.
double ProcessCpuSeconds(int pid);

}  // namespace zv::bench
