// Cost of building the frame of each request and answer, and of taking it
// back off a byte stream (header, body copy, decode), with typical contents.
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "relay/messages/card_record.hpp"
#include "relay/messages/relay_messages.hpp"
#include "relay/messages/relay_packet.hpp"

namespace {

using zv::CRelayPacket;

class MemorySource : public zv::IByteSource {
 public:
  explicit MemorySource(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  int ReceiveExact(uint8_t* buffer, int size) override {
    const size_t n = std::min(static_cast<size_t>(size), bytes_.size() - pos_);
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<int>(n);
  }
  void Rewind() { pos_ = 0; }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
};

template <class T>
T& Msg(CRelayPacket& p) {
  return *static_cast<T*>(p.GetMessage());
}

std::unique_ptr<zv::CCardRecord> Card(int i) {
  auto card = std::make_unique<zv::CCardRecord>();
  card->SetDeviceID("DEV" + std::to_string(100000 + i));
  card->SetOrganizationName("Northern Displays Ltd");
  card->SetOnLine(static_cast<uint8_t>(i & 1));
  return card;
}

struct Case {
  const char* name;
  std::function<void(CRelayPacket&)> fill;
  uint16_t type;
};

std::vector<Case> Cases() {
  const std::vector<uint8_t> packet(64, 0x5A);
  const std::vector<uint8_t> reply(1024, 0xA5);
  return {
      {"Login",
       [](CRelayPacket& p) {
         Msg<zv::CLoginMsg>(p).SetUserName("service-engineer");
         Msg<zv::CLoginMsg>(p).SetPassword("correct horse");
       },
       zv::kLoginMsgType},
      {"Heartbeat", [](CRelayPacket& p) { Msg<zv::CHeartbeatMsg>(p).SetAlive(1); },
       zv::kHeartbeatMsgType},
      {"Query",
       [](CRelayPacket& p) {
         Msg<zv::CQueryMsg>(p).SetKind(3);
         Msg<zv::CQueryMsg>(p).SetFilter("123456");
       },
       zv::kQueryMsgType},
      {"RecordOp",
       [](CRelayPacket& p) {
         Msg<zv::CRecordOpMsg>(p).SetOperation(zv::kRecordAdd);
         Msg<zv::CRecordOpMsg>(p).SetRecord(Card(1));
       },
       zv::kRecordOpMsgType},
      {"CommPacket64",
       [packet](CRelayPacket& p) {
         Msg<zv::CCommPacketMsg>(p).SetDeviceID("123456");
         Msg<zv::CCommPacketMsg>(p).SetRoute(zv::kRouteTcp);
         Msg<zv::CCommPacketMsg>(p).SetData(packet.data(), static_cast<int>(packet.size()));
       },
       zv::kCommPacketMsgType},
      {"LockCard",
       [](CRelayPacket& p) {
         Msg<zv::CLockCardMsg>(p).SetDeviceID("123456");
         Msg<zv::CLockCardMsg>(p).SetLock(1);
       },
       zv::kLockCardMsgType},
      {"CheckName",
       [](CRelayPacket& p) {
         Msg<zv::CCheckNameMsg>(p).SetKind(2);
         Msg<zv::CCheckNameMsg>(p).SetName("new-user");
         Msg<zv::CCheckNameMsg>(p).SetOrganization("Northern Displays Ltd");
       },
       zv::kCheckNameMsgType},
      {"LoginAck",
       [](CRelayPacket& p) {
         auto& ack = Msg<zv::CLoginAckMsg>(p);
         ack.SetResult(zv::kLoginOk);
         ack.GetUser().SetName("service-engineer");
         ack.GetUser().SetPassword("correct horse");
         ack.GetUser().SetOrganizationName("Northern Displays Ltd");
         ack.GetUser().SetLastLoginTime(46000.5);
       },
       zv::kLoginAckMsgType},
      {"QueryAck100Cards",
       [](CRelayPacket& p) {
         auto list = std::make_unique<zv::CRecordList>();
         for (int i = 0; i < 100; ++i) list->Append(Card(i));
         Msg<zv::CQueryAckMsg>(p).SetStatus(zv::kQueryOk);
         Msg<zv::CQueryAckMsg>(p).SetKind(3);
         Msg<zv::CQueryAckMsg>(p).SetRecords(std::move(list));
       },
       zv::kQueryAckMsgType},
      {"RecordOpAck",
       [](CRelayPacket& p) {
         Msg<zv::CRecordOpAckMsg>(p).SetOperation(1);
         Msg<zv::CRecordOpAckMsg>(p).SetKind(3);
         Msg<zv::CRecordOpAckMsg>(p).SetKey("DEV100001");
         Msg<zv::CRecordOpAckMsg>(p).SetResult(0);
       },
       zv::kRecordOpAckMsgType},
      {"CommPacketAck1K",
       [reply](CRelayPacket& p) {
         Msg<zv::CCommPacketAckMsg>(p).SetData(reply.data(), static_cast<int>(reply.size()));
       },
       zv::kCommPacketAckMsgType},
      {"LockCardAck", [](CRelayPacket& p) { Msg<zv::CLockCardAckMsg>(p).SetResult(1); },
       zv::kLockCardAckMsgType},
      {"CheckNameAck",
       [](CRelayPacket& p) {
         Msg<zv::CCheckNameAckMsg>(p).SetKind(3);
         Msg<zv::CCheckNameAckMsg>(p).SetName("DEV100001");
         Msg<zv::CCheckNameAckMsg>(p).SetOrganization("Northern Displays Ltd");
         Msg<zv::CCheckNameAckMsg>(p).SetResult(0);
       },
       zv::kCheckNameAckMsgType},
  };
}

void BuildFrame(benchmark::State& state, const Case& c) {
  CRelayPacket packet(c.type);
  c.fill(packet);
  int length = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(packet.Build(length));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}

void ReceiveAndDecode(benchmark::State& state, const Case& c) {
  CRelayPacket packet(c.type);
  c.fill(packet);
  int length = 0;
  const uint8_t* frame = packet.Build(length);
  const std::vector<uint8_t> bytes(frame, frame + length);
  MemorySource source(bytes);
  for (auto _ : state) {
    source.Rewind();
    CRelayPacket received;
    if (!zv::ReceiveFrame(source, received)) state.SkipWithError("frame not accepted");
    benchmark::DoNotOptimize(received.GetMessage());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
}

}  // namespace

int main(int argc, char** argv) {
  static const std::vector<Case> cases = Cases();
  for (const Case& c : cases) {
    benchmark::RegisterBenchmark((std::string("Build/") + c.name).c_str(), BuildFrame, c);
    benchmark::RegisterBenchmark((std::string("Receive/") + c.name).c_str(), ReceiveAndDecode, c);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
