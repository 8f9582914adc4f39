// Misbehaviour that tests switch on in the simulated controller.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

namespace tarvo::sim {

struct FaultSettings {
  // Requests with these command codes are never answered (nor carried out:
  // the controller behaves as if the request was lost on the line).
  std::set<uint8_t> silent_commands;
  // Every reply goes out with its checksum one too high.
  bool corrupt_checksums = false;
  // The reply to this command code (-1: none) carries the next code in byte 3,
  // with a correct checksum.
  int wrong_reply_command = -1;
  // Unacknowledged WriteFileBlock requests (reply flag 0) lost on the line:
  // the listed block numbers on their first arrival in each block file (on
  // every arrival with drop_repeats), and a share of all of them chosen by a
  // random generator seeded with drop_seed.
  std::vector<uint16_t> drop_blocks;
  bool drop_repeats = false;
  double drop_fraction = 0.0;
  uint32_t drop_seed = 1;
  // The next this-many CreateStreamFile requests are answered 253 ("not ready").
  int not_ready_count = 0;
  // Wait before the first byte of every reply.
  int reply_delay_ms = 0;
};

}  // namespace tarvo::sim
