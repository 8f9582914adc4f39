// The send layer: pieces of at most 4096 bytes in order, contexts returned
// to their pool, bounded pools, and failures turned into log lines and 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <thread>

#include "platform/socket.hpp"
#include "recording_target.hpp"
#include "relay/server/asio_senders.hpp"
#include "relay/server/context_pool.hpp"
#include "relay/server/send_operation.hpp"
#include "test_db.hpp"

namespace zv {
namespace {

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 3);
  return v;
}

// A loopback connection: `peer` is the far end, the socket returned is the
// server's side, on `io`.
asio::ip::tcp::socket AcceptedSocket(asio::io_context& io, tarvo::platform::TcpSocket& peer) {
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
  asio::ip::tcp::socket server_side(io);
  std::thread connector(
      [&] { ASSERT_EQ(peer.Connect(0x7F000001, acceptor.local_endpoint().port(), 2000), 1); });
  acceptor.accept(server_side);
  connector.join();
  return server_side;
}

// Reads on `peer` until `got` is full, the peer closes or 2 s pass without data.
std::thread ReadInto(tarvo::platform::TcpSocket& peer, std::vector<uint8_t>& got) {
  return std::thread([&peer, &got] {
    size_t have = 0;
    peer.SetReceiveTimeout(2000);
    while (have < got.size()) {
      long n = peer.ReceiveSome(got.data() + have, got.size() - have);
      if (n <= 0) return;
      have += static_cast<size_t>(n);
    }
  });
}

// A log writer on a private file, and the messages written to it.
struct TestLog {
  test::TempDatabase tmp;
  std::string path = tmp.Folder() + "/send.log";
  CLogWriter log;
  TestLog() {
    log.SetPath(path);
    log.SetSwitch("on");
  }
  std::vector<std::string> Messages() const {
    std::ifstream in(path);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) out.push_back(line.substr(27));
    return out;
  }
};

TEST(ContextPool, CreatesOnDemandWithIndexesAndReusesReleasedContexts) {
  CContextPool pool(kTcpSendContextKind, 3);
  auto* a = pool.GetContext();
  auto* b = pool.GetContext();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->index, 0);
  EXPECT_EQ(b->index, 1);
  EXPECT_EQ(a->Kind(), kTcpSendContextKind);
  EXPECT_EQ(a->operation, kOperationSend);
  a->Release();
  EXPECT_EQ(pool.GetContext(), a);  // reused, not a new one
  EXPECT_EQ(pool.CreatedCount(), 2u);
  auto* c = pool.GetContext();
  ASSERT_TRUE(c);
  EXPECT_EQ(c->index, 2);
  // Bounded: a fourth context in flight is refused instead of allocated.
  EXPECT_EQ(pool.GetContext(), nullptr);
  c->Release();
  EXPECT_EQ(pool.FreeCount(), 1u);
}

TEST(ContextPool, ReleasedUdpContextIsResetForReuse) {
  CContextPool pool(kUdpContextKind, 4);
  auto* c = static_cast<CUdpContext*>(pool.GetContext(99, kOperationSend));
  ASSERT_TRUE(c);
  EXPECT_EQ(c->socket, 99u);
  EXPECT_EQ(c->operation, kOperationSend);
  c->address = CUdpAddress{0x7F000001, 5203};
  c->length = 17;
  c->buffer[0] = 0xAA;
  c->Release();
  EXPECT_EQ(c->length, kSendPieceSize);
  EXPECT_EQ(c->address, CUdpAddress{});
  EXPECT_EQ(c->operation, kOperationReceive);
  EXPECT_EQ(c->buffer[0], 0);
  EXPECT_EQ(c->socket, 0u);
}

TEST(ContextPool, AContextReusedForShorterSendsCarriesNoOldBytes) {
  // One context serves a full piece, then short ones: each piece must carry
  // only its own bytes, and every released context is clear again.
  TestLog log;
  CContextPool pool(kTcpSendContextKind, 1);
  test::RecordingTcpTarget target;
  const std::vector<uint8_t> full = Pattern(4096);
  const std::vector<uint8_t> shorter(10, 0x5A), shortest(3, 0xC3);
  for (const auto* data : {&full, &shorter, &shortest, &full, &shortest}) {
    ASSERT_EQ(IssueSendOperation(pool, log.log, target, data->data(), data->size()), 1);
    EXPECT_EQ(target.pieces.back(), *data);
    auto* c = static_cast<CTcpSendContext*>(pool.GetContext());
    ASSERT_TRUE(c);
    EXPECT_EQ(std::count(c->buffer.begin(), c->buffer.end(), 0), 4096) << data->size();
    c->Release();
  }
  EXPECT_EQ(pool.CreatedCount(), 1u);
}

TEST(IssueSendOperation, CutsPacketsIntoPiecesOfAtMost4096InOrder) {
  TestLog log;
  CContextPool pool(kTcpSendContextKind, 8);
  test::RecordingTcpTarget target;
  target.complete_at_once = false;
  std::vector<uint8_t> data = Pattern(10000);
  EXPECT_EQ(IssueSendOperation(pool, log.log, target, data.data(), data.size()), 1);
  ASSERT_EQ(target.pieces.size(), 3u);
  EXPECT_EQ(target.pieces[0].size(), 4096u);
  EXPECT_EQ(target.pieces[1].size(), 4096u);
  EXPECT_EQ(target.pieces[2].size(), 1808u);
  EXPECT_EQ(target.Joined(), data);
  // Queued contexts stay out of the pool until their sends complete.
  EXPECT_EQ(pool.CreatedCount(), 3u);
  EXPECT_EQ(pool.FreeCount(), 0u);
  for (auto* c : target.held) c->Release();
  EXPECT_EQ(pool.FreeCount(), 3u);

  test::RecordingTcpTarget one;
  std::vector<uint8_t> exact = Pattern(4096);
  EXPECT_EQ(IssueSendOperation(pool, log.log, one, exact.data(), exact.size()), 1);
  EXPECT_EQ(one.pieces.size(), 1u);
  EXPECT_TRUE(log.Messages().empty());
}

TEST(IssueSendOperation, FailuresAreLoggedAndAnsweredWithZero) {
  TestLog log;
  CContextPool pool(kTcpSendContextKind, 2);
  test::RecordingTcpTarget target;
  uint8_t byte = 1;

  // Nothing to send.
  EXPECT_EQ(IssueSendOperation(pool, log.log, target, &byte, 0), 0);
  // The socket refuses the second piece: socket error line, then failure line.
  target.fail_after = 1;
  std::vector<uint8_t> data = Pattern(5000);
  EXPECT_EQ(IssueSendOperation(pool, log.log, target, data.data(), data.size()), 0);
  EXPECT_EQ(target.pieces.size(), 1u);               // the first piece stays queued
  EXPECT_EQ(pool.FreeCount(), pool.CreatedCount());  // the refused context came back

  // No context to be had: every context of the pool is in flight.
  test::RecordingTcpTarget holder;
  holder.complete_at_once = false;
  EXPECT_EQ(IssueSendOperation(pool, log.log, holder, data.data(), data.size()), 1);
  EXPECT_EQ(IssueSendOperation(pool, log.log, holder, data.data(), data.size()), 0);

  std::vector<std::string> m = log.Messages();
  ASSERT_EQ(m.size(), 4u);
  EXPECT_EQ(m[0].find("IssueSendOperation->WSASend occured an error. at line:"), 0u) << m[0];
  EXPECT_NE(m[0].find(", errorCode: -1."), std::string::npos);
  EXPECT_NE(m[1].find("IssueSendOperation->WSASend()"), std::string::npos);
  EXPECT_NE(m[1].find("10054."), std::string::npos);
  EXPECT_EQ(m[2].find("IssueSendOperation->WSASend occured an error."), 0u);
  EXPECT_EQ(m[3].find("IssueSendOperation->CTcpSendContext::GetContext() occured an error."), 0u);
  for (auto* c : holder.held) c->Release();
}

TEST(IssueSendOperation, AsioTcpSenderDeliversEveryByteAndReturnsEveryContext) {
  TestLog log;
  asio::io_context io;
  tarvo::platform::TcpSocket peer;
  asio::ip::tcp::socket server_side = AcceptedSocket(io, peer);
  auto sender = std::make_shared<CAsioTcpSender>(std::move(server_side), 1);
  CContextPool pool(kTcpSendContextKind, 64);
  std::vector<uint8_t> a = Pattern(10000), b(3000, 0x5A);
  EXPECT_EQ(IssueSendOperation(pool, log.log, *sender, a.data(), a.size()), 1);
  EXPECT_EQ(IssueSendOperation(pool, log.log, *sender, b.data(), b.size()), 1);
  io.run_for(std::chrono::milliseconds(300));
  std::vector<uint8_t> got(13000);
  size_t have = 0;
  peer.SetReceiveTimeout(2000);
  while (have < got.size()) {
    long n = peer.ReceiveSome(got.data() + have, got.size() - have);
    ASSERT_GT(n, 0);
    have += static_cast<size_t>(n);
  }
  std::vector<uint8_t> expect = a;
  expect.insert(expect.end(), b.begin(), b.end());
  EXPECT_EQ(got, expect);
  EXPECT_EQ(pool.FreeCount(), pool.CreatedCount());

  // After the sender is closed, sends fail and are logged.
  sender->Close();
  io.restart();
  io.run_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(sender->CanSend());
  EXPECT_EQ(IssueSendOperation(pool, log.log, *sender, b.data(), b.size()), 0);
  EXPECT_EQ(log.Messages().size(), 2u);
}

// Both ways of serialising a connection: a strand of its own, and the
// connection's one-thread loop (where a write waits for the loop's ready handlers).
class AsioTcpSenderOrder : public ::testing::TestWithParam<CAsioTcpSender::Serialise> {};

TEST_P(AsioTcpSenderOrder, KeepsOrderWhenManyPiecesWaitForOneWrite) {
  // Forty packets queued at once, half from the connection's own executor
  // and half from outside it: more than one gathered write holds,
  // and every byte still arrives in the order it was posted.
  TestLog log;
  asio::io_context io;
  tarvo::platform::TcpSocket peer;
  asio::ip::tcp::socket server_side = AcceptedSocket(io, peer);
  auto sender = std::make_shared<CAsioTcpSender>(std::move(server_side), 1,
                                                 CAsioTcpSender::kDefaultQueueLimit, GetParam());
  CContextPool pool(kTcpSendContextKind, 64);
  std::vector<uint8_t> expect;
  std::vector<std::vector<uint8_t>> packets;
  for (int i = 0; i < 40; ++i) {
    packets.push_back(
        std::vector<uint8_t>(static_cast<size_t>(100 + i * 50), static_cast<uint8_t>(i)));
    expect.insert(expect.end(), packets.back().begin(), packets.back().end());
  }
  asio::post(sender->Executor(), [&] {
    EXPECT_TRUE(sender->RunningHere());
    for (int i = 0; i < 20; ++i)
      EXPECT_EQ(IssueSendOperation(pool, log.log, *sender, packets[i].data(), packets[i].size()),
                1);
  });
  io.run_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(sender->RunningHere());
  for (int i = 20; i < 40; ++i)
    EXPECT_EQ(IssueSendOperation(pool, log.log, *sender, packets[i].data(), packets[i].size()), 1);
  std::vector<uint8_t> got(expect.size());
  std::thread reader = ReadInto(peer, got);
  io.restart();
  io.run_for(std::chrono::milliseconds(300));
  reader.join();
  EXPECT_EQ(got, expect);
  EXPECT_EQ(sender->Queued(), 0u);
  EXPECT_EQ(pool.FreeCount(), pool.CreatedCount());
  EXPECT_TRUE(log.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Serialise, AsioTcpSenderOrder,
                         ::testing::Values(CAsioTcpSender::Serialise::kOwnStrand,
                                           CAsioTcpSender::Serialise::kSingleLoop));

TEST(IssueSendOperation, AsioTcpSenderRefusesBeyondItsQueueLimit) {
  TestLog log;
  asio::io_context io;  // not run: nothing completes
  asio::ip::tcp::socket s(io);
  auto sender = std::make_shared<CAsioTcpSender>(std::move(s), 1, 2);
  CContextPool pool(kTcpSendContextKind, 16);
  std::vector<uint8_t> data = Pattern(3 * 4096);
  EXPECT_EQ(IssueSendOperation(pool, log.log, *sender, data.data(), data.size()), 0);
  EXPECT_EQ(sender->Queued(), 2u);
  EXPECT_EQ(log.Messages().size(), 2u);
  // Full right after the queue started: a burst, not a peer that stopped
  // reading. The send fails; the connection stays.
  EXPECT_FALSE(sender->Overflowed());
  EXPECT_TRUE(sender->CanSend());
}

TEST(IssueSendOperation, AsioTcpSenderClosesAPeerThatStoppedReading) {
  // Full, and no write completed for the whole stall time (0 here): the
  // connection is closed and later sends are refused without queuing.
  TestLog log;
  asio::io_context io;
  asio::ip::tcp::socket s(io);
  auto sender = std::make_shared<CAsioTcpSender>(
      std::move(s), 1, 2, CAsioTcpSender::Serialise::kSingleLoop, /*stall_ms=*/0);
  CContextPool pool(kTcpSendContextKind, 16);
  std::vector<uint8_t> data = Pattern(3 * 4096);
  EXPECT_EQ(IssueSendOperation(pool, log.log, *sender, data.data(), data.size()), 0);
  EXPECT_TRUE(sender->Overflowed());
  EXPECT_FALSE(sender->CanSend());
  EXPECT_EQ(IssueSendOperation(pool, log.log, *sender, data.data(), 10), 0);
  EXPECT_EQ(sender->Queued(), 2u);
}

TEST(IssueSendOperation, AsioTcpSenderSaysWhenItsQueueHasDrained) {
  TestLog log;
  asio::io_context io;
  tarvo::platform::TcpSocket peer;
  asio::ip::tcp::socket server_side = AcceptedSocket(io, peer);
  auto sender = std::make_shared<CAsioTcpSender>(std::move(server_side), 1, 64,
                                                 CAsioTcpSender::Serialise::kSingleLoop);
  CContextPool pool(kTcpSendContextKind, 64);
  std::vector<uint8_t> data = Pattern(40 * 4096);
  int calls = 0;
  asio::post(io, [&] {
    ASSERT_EQ(IssueSendOperation(pool, log.log, *sender, data.data(), data.size()), 1);
    sender->WhenDrained(8, [&] {
      ++calls;
      EXPECT_LT(sender->Queued(), 8u);
    });
  });
  std::vector<uint8_t> got(data.size());
  std::thread reader = ReadInto(peer, got);
  io.run_for(std::chrono::milliseconds(300));
  reader.join();
  EXPECT_EQ(got, data);
  EXPECT_EQ(calls, 1);  // once, not at every later write
}

TEST(IssueSendOperation, UdpSendsOneDatagramPerPieceToTheCardsAddress) {
  TestLog log;
  asio::io_context io;
  asio::ip::udp::socket socket(io, {asio::ip::address_v4::loopback(), 0});
  CAsioUdpSender sender(socket, 3);
  tarvo::platform::UdpSocket card;
  ASSERT_EQ(card.Bind(0x7F000001, 0), 1);
  CContextPool pool(kUdpContextKind, 8);
  std::vector<uint8_t> data = Pattern(5000);
  CUdpAddress to{0x7F000001, card.Port()};
  EXPECT_EQ(IssueSendOperation(pool, log.log, sender, to, data.data(), data.size()), 1);
  io.run_for(std::chrono::milliseconds(50));
  std::vector<uint8_t> got;
  uint8_t buf[8192];
  std::vector<long> sizes;
  for (int i = 0; i < 2; ++i) {
    uint32_t from = 0;
    uint16_t port = 0;
    long n = card.ReceiveFrom(buf, sizeof buf, 2000, &from, &port);
    ASSERT_GT(n, 0);
    sizes.push_back(n);
    got.insert(got.end(), buf, buf + n);
  }
  EXPECT_EQ(sizes, (std::vector<long>{4096, 904}));
  EXPECT_EQ(got, data);
  EXPECT_EQ(pool.FreeCount(), pool.CreatedCount());

  uint8_t byte = 0;
  EXPECT_EQ(IssueSendOperation(pool, log.log, sender, to, &byte, 0), 0);
  CContextPool tiny(kUdpContextKind, 1);
  auto* held = tiny.GetContext();
  EXPECT_EQ(IssueSendOperation(tiny, log.log, sender, to, data.data(), data.size()), 0);
  held->Release();
  std::vector<std::string> m = log.Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[1].find("IssueSendOperation->CUdpContext::GetContext() occured an error."), 0u);
}

}  // namespace
}  // namespace zv
