#include "relay_peers.hpp"

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/wire.hpp"
#include "load_setup.hpp"
#include "platform/clock.hpp"
#include "platform/process.hpp"

namespace relay_load {

using zv::test::Concat;
using zv::test::Counted;
using zv::test::RelayFrame;

bool OnSecondNode(int index, double fraction) {
  return std::floor((index + 1) * fraction) > std::floor(index * fraction);
}

Bytes CardRegistration(const std::string& id) {
  return Concat({Bytes{6, 0}, Bytes(id.begin(), id.end())});
}
Bytes LoginFrame(int index) {
  return RelayFrame(0x0001, Concat({Counted(zv::bench::LoadUserName(index)), Counted("pw")}));
}
Bytes LockFrame(const std::string& id) {
  return RelayFrame(0x0006, Concat({Counted(id), Bytes{1}}));
}
Bytes PacketFrame(const std::string& id) {
  const Bytes controller = {0x68, 0x32, 0xFF, 0x4B, 0x01, 0x00, 0x00};
  const Bytes envelope =
      Concat({Bytes{static_cast<uint8_t>(controller.size() + 6), 0, 1, 1, 1, 1, 1, 1}, controller});
  return RelayFrame(0x0005, Concat({Counted(id), Bytes{1}, envelope}));
}

tcp::endpoint Loopback(uint16_t port) {
  return {asio::ip::address_v4::loopback(), port};
}

uint8_t* StreamBuffer::Space() {
  if (data_.size() - end_ < kMinSpace) {
    // Move what waits to the front, growing only when a frame needs it.
    std::memmove(data_.data(), data_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    if (data_.size() - end_ < kMinSpace) data_.resize(data_.size() * 2);
  }
  return data_.data() + end_;
}

awaitable<bool> ReadFrame(tcp::socket& s, Bytes& header, Bytes& body, uint16_t* type) {
  std::error_code ec;
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  header.resize(kFrameHeader);
  co_await asio::async_read(s, asio::buffer(header), token);
  if (ec) co_return false;
  *type = tarvo::wire::GetLe16(header.data() + 8);
  const uint32_t length = tarvo::wire::GetLe32(header.data() + 10);
  if (length > (1u << 20)) co_return false;
  body.resize(length);
  co_await asio::async_read(s, asio::buffer(body), token);
  co_return !ec;
}

awaitable<bool> ConnectCard(tcp::socket& s, uint16_t port, const std::string& id) {
  std::error_code ec;
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  co_await s.async_connect(Loopback(port), token);
  if (ec) co_return false;
  s.set_option(tcp::no_delay(true), ec);
  const Bytes registration = CardRegistration(id);
  co_await asio::async_write(s, asio::buffer(registration), token);
  co_return !ec;
}

awaitable<bool> EchoPackets(tcp::socket& s, const std::string& id, const std::atomic<bool>& stop) {
  std::error_code ec;
  auto token = asio::redirect_error(asio::use_awaitable, ec);
  StreamBuffer in;
  Bytes out;
  while (!stop) {
    const size_t n = co_await s.async_read_some(asio::buffer(in.Space(), in.SpaceSize()), token);
    if (ec) co_return true;
    in.Added(n);
    out.clear();
    while (in.Size() >= 2) {
      const size_t length = tarvo::wire::GetLe16(in.Front());
      if (length < kIdLength) {
        std::fprintf(stderr, "card %s: malformed frame from the server\n", id.c_str());
        co_return false;
      }
      if (in.Size() < length + 2) break;
      const uint8_t* frame = in.Front();
      out.insert(out.end(), frame, frame + 2);
      out.insert(out.end(), id.begin(), id.end());
      out.insert(out.end(), frame + 2 + kIdLength, frame + 2 + length);
      in.Consume(length + 2);
    }
    if (out.empty()) continue;
    co_await asio::async_write(s, asio::buffer(out), token);
    if (ec) co_return true;
  }
  co_return true;
}

bool StartNode(const RunConfig& run, int index, Node* node) {
  const std::string program = tarvo::platform::ExecutableDir() + run.server;
  // Every load peer comes from 127.0.0.1: the cap on connections of one
  // address that have not logged in or registered yet would refuse most of a
  // fleet connecting at once.
  std::vector<std::string> args = {"--db", run.db, "--bind", "127.0.0.1", "--user-port", "0"};
  args.insert(args.end(), {"--card-port", "0", "--threads", std::to_string(run.threads)});
  args.insert(args.end(), {"--max-per-address", "1000000"});
  if (run.nodes > 1) {
    std::string name = "n";  // appended: GCC 12 warns falsely on "n" + std::to_string
    name += std::to_string(index + 1);
    args.insert(args.end(), {"--node", name});
    if (run.lease > 0) args.insert(args.end(), {"--lease", std::to_string(run.lease)});
  }
  if (!node->process.Start(program, args)) {
    std::fprintf(stderr, "cannot start %s\n", program.c_str());
    return false;
  }
  std::string users_line, cards_line;
  if (!node->process.ReadLine(&users_line, 10000) || !node->process.ReadLine(&cards_line, 10000) ||
      users_line.rfind("users ", 0) != 0 || cards_line.rfind("cards ", 0) != 0) {
    std::fprintf(stderr, "node %d did not start serving\n", index + 1);
    return false;
  }
  node->user_port = static_cast<uint16_t>(std::stoi(users_line.substr(6)));
  node->card_port = static_cast<uint16_t>(std::stoi(cards_line.substr(6)));
  return true;
}

void KillNode(Node* node) {
  if (node->process.Pid() <= 0) return;
  ::kill(node->process.Pid(), SIGKILL);
  node->process.Wait(10000);
}

long RssKiB(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

double TreeCpuSeconds(int pid) {
  double sum = zv::bench::ProcessCpuSeconds(pid);
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name may hold spaces: fields are counted after its ')'.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int parent = 0;
    if (std::sscanf(text.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == pid)
      sum += zv::bench::ProcessCpuSeconds(std::atoi(name.c_str()));
  }
  return sum;
}

double Percentile(std::vector<double>& v, double p) {
  if (v.empty()) return 0;
  size_t k = static_cast<size_t>(p * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
  return v[k];
}

bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  const int64_t end = tarvo::platform::MonotonicMs() + timeout_ms;
  while (!done()) {
    if (tarvo::platform::MonotonicMs() > end) return false;
    tarvo::platform::SleepMs(10);
  }
  return true;
}

}  // namespace relay_load
