// What relay_load's runs share: the frames its users and cards send, reading
// whole frames from a stream, the echoing card, and the zvrelayd nodes it
// starts on loopback.
#pragma once

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/child_process.hpp"
#include "raw_peers.hpp"

namespace relay_load {

using asio::awaitable;
using asio::ip::tcp;
using zv::test::Bytes;
using Clock = std::chrono::steady_clock;

constexpr size_t kFrameHeader = 14;  // "ZVMSGPUB", type LE16, body length LE32
constexpr size_t kIdLength = 6;
constexpr uint16_t kLoginAckType = 0x0F01;
constexpr uint16_t kCommPacketAckType = 0x0F05;
constexpr uint16_t kLockAckType = 0x0F06;

struct RunConfig {
  std::string db;
  int cards = 1000;
  int users = 100;
  int seconds = 10;
  int threads = 2;
  int load_threads = 1;
  std::string server = "zvrelayd";  // or zvrelayd_floor, the bare forwarder
  int idle_parallel = 16;           // idle cards connecting at once
  int nodes = 1;                    // zvrelayd processes on one database
  double cross = 0.5;               // the fraction of the users on node 2
  int lease = 0;                    // zvrelayd's --lease; 0: its default
  int db_pid = -1;                  // the PostgreSQL server's main process when it runs here
};

// Whether user `index` connects to node 2: `fraction` of the users, spread
// evenly over the indexes.
bool OnSecondNode(int index, double fraction);

struct Shared {
  std::atomic<int> cards_registered{0};
  std::atomic<int> users_ready{0};
  std::atomic<int> failures{0};
  std::atomic<bool> measuring{false};
  std::atomic<bool> stop{false};
};

// Frames are built outside the coroutines: GCC 12 mishandles braced
// initializer lists inside coroutine bodies.
Bytes CardRegistration(const std::string& id);
Bytes LoginFrame(int index);
Bytes LockFrame(const std::string& id);
// A route 1 envelope around a small GetVersions request.
Bytes PacketFrame(const std::string& id);
inline bool IsOne(const uint8_t* body, size_t size) {
  return size == 1 && body[0] == 1;
}
// A card's answer as its lock owner receives it: status 5, then the card's
// frame [length][DeviceID][packet].
inline bool IsCardAnswer(const uint8_t* body, size_t size) {
  return size >= 3 + kIdLength && body[0] == 5;
}

tcp::endpoint Loopback(uint16_t port);

// Bytes read from a stream, cut into whole frames as they complete; the
// rest waits for the next read. One read takes whatever the socket holds.
class StreamBuffer {
 public:
  uint8_t* Space();
  size_t SpaceSize() const { return data_.size() - end_; }
  void Added(size_t n) { end_ += n; }
  const uint8_t* Front() const { return data_.data() + begin_; }
  size_t Size() const { return end_ - begin_; }
  void Consume(size_t n) {
    begin_ += n;
    if (begin_ == end_) begin_ = end_ = 0;
  }

 private:
  static constexpr size_t kMinSpace = 4096;
  std::vector<uint8_t> data_ = std::vector<uint8_t>(65536);
  size_t begin_ = 0;
  size_t end_ = 0;
};

// One whole relay frame: its type and body. False when the stream ends or
// announces an oversized body.
awaitable<bool> ReadFrame(tcp::socket& s, Bytes& header, Bytes& body, uint16_t* type);
// Connects a card and sends its registration.
awaitable<bool> ConnectCard(tcp::socket& s, uint16_t port, const std::string& id);
// Answers every packet forwarded on a registered card's connection with the
// same bytes, all the answers to one read going out in one write, until the
// connection ends or `stop` is set. False for a frame that breaks the card
// framing.
awaitable<bool> EchoPackets(tcp::socket& s, const std::string& id, const std::atomic<bool>& stop);

// One zvrelayd (or bare forwarder) process on loopback with free ports.
struct Node {
  tarvo::platform::ChildProcess process;
  uint16_t user_port = 0;
  uint16_t card_port = 0;
};
// Starts node `index` (named n1, n2... when the run has several) of the run.
bool StartNode(const RunConfig& run, int index, Node* node);
// Kills a node the way a crash or a power cut ends it: no clean stop.
void KillNode(Node* node);
// VmRSS in KiB of a process, from /proc/<pid>/status; -1 when not found.
long RssKiB(int pid);
// CPU seconds of a process and its children so far (a PostgreSQL server
// and its backends), from /proc.
double TreeCpuSeconds(int pid);

double Percentile(std::vector<double>& v, double p);
bool WaitFor(const std::function<bool()>& done, int timeout_ms);

// A node of the fleet dies under cards and users: how long until the cards
// serve again from the other node, and until its users are back there.
int Failover(const RunConfig& run);

}  // namespace relay_load
