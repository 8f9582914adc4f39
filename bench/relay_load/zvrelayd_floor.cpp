// The least a relay can do for relay_load's traffic, to tell what the machine
// allows from what zvrelayd costs: one thread, one epoll set, no database, no
// accounts, no checks beyond what keeps it from crashing. Users get "logged
// in" and "locked" at once; a packet for a card goes to the card's socket and
// is answered with status 1; a card's frame goes to the user who locked the
// card as status 5 with the frame. What each connection is sent while one
// batch of events is handled leaves in one write at the end of the batch.
//
// Takes zvrelayd's serving options (--db and --threads are accepted and
// ignored) and prints the same "users <port>" and "cards <port>" lines.
//
// A measuring fixture only: it trusts its peers and holds every connection's
// unsent bytes without bound.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/wire.hpp"

namespace {

using tarvo::wire::GetLe16;
using tarvo::wire::GetLe32;

constexpr size_t kHeader = 14;
constexpr size_t kIdLength = 6;

struct Peer {
  int fd = -1;
  bool card = false;
  std::string id;  // a card's DeviceID once registered
  std::vector<uint8_t> in;
  std::vector<uint8_t> out;
  bool queued = false;  // in the list of peers to flush
};

std::unordered_map<int, std::unique_ptr<Peer>> peers;
std::unordered_map<std::string, Peer*> cards_by_id;
std::unordered_map<std::string, Peer*> lock_owner;  // card id -> user
std::vector<Peer*> to_flush;
std::vector<int> closed_in_batch;  // their events in this batch are stale
volatile std::sig_atomic_t stop = 0;

int Listen(const char* bind_address, uint16_t port, uint16_t* bound) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  inet_pton(AF_INET, bind_address, &a.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4096) != 0) return -1;
  socklen_t n = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  *bound = ntohs(a.sin_port);
  return fd;
}

void Queue(Peer* p, const uint8_t* data, size_t size) {
  p->out.insert(p->out.end(), data, data + size);
  if (!p->queued) {
    p->queued = true;
    to_flush.push_back(p);
  }
}

void QueueFrame(Peer* p, uint16_t type, const uint8_t* body, size_t size, uint8_t lead) {
  uint8_t header[kHeader + 1];
  std::memcpy(header, "ZVMSGPUB", 8);
  tarvo::wire::PutLe16(header + 8, type);
  tarvo::wire::PutLe32(header + 10, static_cast<uint32_t>(size + 1));
  header[kHeader] = lead;
  Queue(p, header, sizeof header);
  if (size) Queue(p, body, size);
}

void Close(int epoll_fd, Peer* p) {
  closed_in_batch.push_back(p->fd);
  epoll_ctl(epoll_fd, EPOLL_CTL_DEL, p->fd, nullptr);
  close(p->fd);
  if (p->card && !p->id.empty() && cards_by_id[p->id] == p) cards_by_id.erase(p->id);
  for (auto& [id, owner] : lock_owner)
    if (owner == p) owner = nullptr;
  for (Peer*& f : to_flush)
    if (f == p) f = nullptr;
  peers.erase(p->fd);
}

// Handles the whole frames in a user's bytes; false closes the connection.
bool UserFrames(Peer* u) {
  size_t at = 0;
  while (u->in.size() - at >= kHeader) {
    const uint8_t* f = u->in.data() + at;
    const uint32_t length = GetLe32(f + 10);
    if (std::memcmp(f, "ZVMSGPUB", 8) != 0 || length > (1u << 20)) return false;
    if (u->in.size() - at < kHeader + length) break;
    const uint16_t type = GetLe16(f + 8);
    const uint8_t* body = f + kHeader;
    // Counted DeviceID (length + 1, characters, zero), then the rest.
    const size_t counted = length > 0 ? body[0] : 0;
    std::string id;
    if (counted >= 1 && counted + 1 <= length)
      id.assign(reinterpret_cast<const char*>(body + 1), counted - 1);
    if (type == 0x0001) {
      QueueFrame(u, 0x0F01, nullptr, 0, 1);
    } else if (type == 0x0006) {
      lock_owner[id] = u;
      QueueFrame(u, 0x0F06, nullptr, 0, 1);
    } else if (type == 0x0005 && counted + 2 <= length) {
      auto card = cards_by_id.find(id);
      const uint8_t* data = body + counted + 2;  // after the route byte
      const size_t size = length - counted - 2;
      if (card != cards_by_id.end() && size > 0) Queue(card->second, data, size);
      QueueFrame(u, 0x0F05, nullptr, 0, card != cards_by_id.end() ? 1 : 2);
    }
    at += kHeader + length;
  }
  u->in.erase(u->in.begin(), u->in.begin() + static_cast<long>(at));
  return true;
}

bool CardFrames(Peer* c) {
  size_t at = 0;
  while (c->in.size() - at >= 2) {
    const uint8_t* f = c->in.data() + at;
    const size_t length = GetLe16(f);
    if (length < kIdLength) return false;
    if (c->in.size() - at < length + 2) break;
    if (c->id.empty()) {
      c->id.assign(reinterpret_cast<const char*>(f + 2), kIdLength);
      cards_by_id[c->id] = c;
    } else {
      auto owner = lock_owner.find(c->id);
      if (owner != lock_owner.end() && owner->second)
        QueueFrame(owner->second, 0x0F05, f, length + 2, 5);
    }
    at += length + 2;
  }
  c->in.erase(c->in.begin(), c->in.begin() + static_cast<long>(at));
  return true;
}

void Flush(int epoll_fd) {
  std::vector<Peer*> later;  // what a socket did not take waits for the next batch
  for (Peer* p : to_flush) {
    if (!p) continue;
    p->queued = false;
    ssize_t n = send(p->fd, p->out.data(), p->out.size(), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) n = 0;
    if (n < 0) {
      Close(epoll_fd, p);
      continue;
    }
    p->out.erase(p->out.begin(), p->out.begin() + n);
    if (!p->out.empty()) {
      p->queued = true;
      later.push_back(p);
    }
  }
  to_flush.swap(later);
}

}  // namespace

int main(int argc, char** argv) {
  std::string bind_address = "0.0.0.0";
  uint16_t user_port = 5202, card_port = 5203;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--bind") bind_address = argv[i + 1];
    if (a == "--user-port") user_port = static_cast<uint16_t>(std::atoi(argv[i + 1]));
    if (a == "--card-port") card_port = static_cast<uint16_t>(std::atoi(argv[i + 1]));
  }
  std::signal(SIGTERM, [](int) { stop = 1; });
  std::signal(SIGINT, [](int) { stop = 1; });
  uint16_t users_bound = 0, cards_bound = 0;
  const int users_fd = Listen(bind_address.c_str(), user_port, &users_bound);
  const int cards_fd = Listen(bind_address.c_str(), card_port, &cards_bound);
  if (users_fd < 0 || cards_fd < 0) {
    std::fprintf(stderr, "cannot listen\n");
    return 1;
  }
  std::printf("users %u\ncards %u\n", users_bound, cards_bound);
  std::fflush(stdout);
  const int epoll_fd = epoll_create1(0);
  for (int fd : {users_fd, cards_fd}) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    epoll_ctl(epoll_fd, EPOLL_CTL_ADD, fd, &ev);
  }
  std::vector<epoll_event> events(1024);
  std::vector<uint8_t> buffer(65536);
  while (!stop) {
    // Bytes still waiting for a full socket: look again soon instead of sleeping.
    const int wait_ms = to_flush.empty() ? 100 : 1;
    const int n = epoll_wait(epoll_fd, events.data(), static_cast<int>(events.size()), wait_ms);
    closed_in_batch.clear();
    for (int i = 0; i < n; ++i) {
      const int fd = events[static_cast<size_t>(i)].data.fd;
      // A descriptor closed earlier in this batch may already be reused.
      if (std::find(closed_in_batch.begin(), closed_in_batch.end(), fd) != closed_in_batch.end())
        continue;
      if (fd == users_fd || fd == cards_fd) {
        const int s = accept4(fd, nullptr, nullptr, SOCK_NONBLOCK);
        if (s < 0) continue;
        int one = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto p = std::make_unique<Peer>();
        p->fd = s;
        p->card = fd == cards_fd;
        epoll_event ev{};
        ev.events = EPOLLIN;  // level-triggered: one read per readiness, no empty reads
        ev.data.fd = s;
        epoll_ctl(epoll_fd, EPOLL_CTL_ADD, s, &ev);
        peers[s] = std::move(p);
        continue;
      }
      auto it = peers.find(fd);
      if (it == peers.end()) continue;
      Peer* p = it->second.get();
      const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
      if (got <= 0) {
        Close(epoll_fd, p);
        continue;
      }
      p->in.insert(p->in.end(), buffer.data(), buffer.data() + got);
      if (!(p->card ? CardFrames(p) : UserFrames(p))) Close(epoll_fd, p);
    }
    Flush(epoll_fd);
  }
  return 0;
}
