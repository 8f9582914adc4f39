// Writes a handful of real inputs for every fuzz target into
// <folder>/<target>/ (default fuzz/corpus when run from the source tree):
// requests built by the tool's request builders, replies of the simulated
// controller to them, the envelopes of every medium around those, relay
// frames, messages and records as the relay code encodes them, and settings
// files. Each target's leading selector bytes are chosen as its source
// describes them, so that a seed reaches the decoder it is meant for.
//
// Usage: fuzz_make_seeds [FOLDER]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "relay/messages/card_record.hpp"
#include "relay/messages/check_name_msg.hpp"
#include "relay/messages/comm_packet_msg.hpp"
#include "relay/messages/heartbeat_msg.hpp"
#include "relay/messages/lock_card_msg.hpp"
#include "relay/messages/log_record.hpp"
#include "relay/messages/login_msg.hpp"
#include "relay/messages/organization_record.hpp"
#include "relay/messages/query_msg.hpp"
#include "relay/messages/record_list.hpp"
#include "relay/messages/record_op_msg.hpp"
#include "relay/messages/relay_packet.hpp"
#include "relay/messages/user_record.hpp"
#include "sim/controller_model.hpp"
#include "sim/relay_card_codec.hpp"
#include "tool/codec/command_replies.hpp"
#include "tool/codec/command_requests.hpp"
#include "tool/codec/gateway_frame.hpp"
#include "tool/codec/packet.hpp"
#include "tool/codec/relay_envelope.hpp"
#include "tool/codec/stream_framing.hpp"

namespace {

using tarvo::Bytes;
using tarvo::ControllerCommand;

std::filesystem::path g_folder = "fuzz/corpus";
int g_files = 0;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
  const std::filesystem::path dir = g_folder / target;
  std::filesystem::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ++g_files;
}

void WriteText(const std::string& target, const std::string& name, const std::string& text) {
  Write(target, name, Bytes(text.begin(), text.end()));
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes StreamFrame(const Bytes& packet) {
  Bytes frame(2 * packet.size() + 2);
  frame.resize(tarvo::EncodeStreamFrame(packet.data(), packet.size(), frame.data(), frame.size()));
  return frame;
}

// One exchange with the simulated controller: the request and its reply.
struct Exchange {
  Bytes request;
  Bytes reply;
};

// A maintenance session as the tool runs it: identify, upload a file, list,
// read it back, look at its record and the screen configuration.
std::vector<Exchange> ControllerSession() {
  tarvo::sim::ControllerModel model;
  const tarvo::RequestAddress a{tarvo::kControllerTypeCode, tarvo::kAnyControllerId};
  std::vector<Exchange> out;
  auto ask = [&](const Bytes& request) {
    tarvo::sim::Answer answer = model.Handle(request.data(), request.size());
    out.push_back({request, answer.reply});
    return answer.reply;
  };
  const Bytes content = Text("BM tarvo seed\x01\x02\xA5");
  tarvo::TimeStamp stamp{12, 30, 0, 24, 5, 17};
  ask(tarvo::BuildGetControllerType(a));
  ask(tarvo::BuildGetVersions(a));
  ask(tarvo::BuildCreateFile(a, ControllerCommand::kCreateStreamFile, "LOGO.BMP", "wb", stamp,
                             static_cast<uint32_t>(content.size())));
  ask(tarvo::BuildWriteStreamData(a, content.data(), content.size()));
  ask(tarvo::BuildFinishStreamFile(a, tarvo::ByteSum16(content.data(), content.size())));
  ask(tarvo::BuildListFiles(a, 0, tarvo::kUserDisk));
  ask(tarvo::BuildGetFreeSpace(a, tarvo::kUserDisk));
  const Bytes opened = ask(tarvo::BuildOpenFileForRead(a, "LOGO.BMP", "rb"));
  uint16_t index = 0;
  const uint8_t handle = tarvo::ParseOpenFileForReadReply(opened.data(), opened.size(), &index);
  ask(tarvo::BuildReadFileData(a, static_cast<uint16_t>(content.size()), handle));
  ask(tarvo::BuildCloseFile(a, handle));
  ask(tarvo::BuildGetFileInfo(a, 0, tarvo::kUserDisk));
  ask(tarvo::BuildReadScreenConfig(a, 0));
  ask(tarvo::BuildResetController(a));
  for (const Exchange& e : out) {
    if (e.reply.empty())
      std::fprintf(stderr, "the simulated controller did not answer a request\n");
  }
  return out;
}

const Exchange& Find(const std::vector<Exchange>& session, ControllerCommand command) {
  for (const Exchange& e : session) {
    if (e.request[tarvo::kOffCommand] == static_cast<uint8_t>(command)) return e;
  }
  return session.front();
}

Bytes Frame(zv::CRelayPacket& packet) {
  int length = 0;
  const uint8_t* frame = packet.Build(length);
  return Bytes(frame, frame + length);
}

template <class T>
Bytes Body(const T& item) {
  Bytes body(static_cast<size_t>(item.GetBodySize()), 0);
  item.Encode(body.data());
  return body;
}

template <class T>
Bytes FrameOf(std::unique_ptr<T> message) {
  zv::CRelayPacket packet;
  packet.SetMessage(std::move(message));
  return Frame(packet);
}

std::unique_ptr<zv::CCardRecord> Card(const std::string& id) {
  auto card = std::make_unique<zv::CCardRecord>();
  card->SetDeviceID(id);
  card->SetOrganizationName("Acme");
  card->SetOnLine(1);
  card->SetRegTime(45000.5);
  return card;
}

std::unique_ptr<zv::CUserRecord> User() {
  auto user = std::make_unique<zv::CUserRecord>();
  user->SetName("user01");
  user->SetPassword("21963");
  user->SetType(2);
  user->SetOrganizationName("Acme");
  user->SetRegTime(45000.25);
  return user;
}

std::unique_ptr<zv::COrganizationRecord> Organization() {
  auto org = std::make_unique<zv::COrganizationRecord>();
  org->SetOrganizationName("Acme");
  org->SetPassword("org-pw");
  org->SetMaxCardNum(100);
  org->SetMaxUserNum(10);
  return org;
}

std::unique_ptr<zv::CLogRecord> Log() {
  auto log = std::make_unique<zv::CLogRecord>();
  log->SetID(7);
  log->SetTime(45000.75);
  log->SetNodeType(1);
  log->SetNodeID("user01");
  log->SetMsgType(zv::kLoginMsgType);
  log->SetMsgDescribe("login user01");
  log->SetOrganizationName("Acme");
  return log;
}

std::unique_ptr<zv::CLoginMsg> Login() {
  auto m = std::make_unique<zv::CLoginMsg>();
  m->SetUserName("user01");
  m->SetPassword("21963");
  return m;
}

std::unique_ptr<zv::CLockCardMsg> LockCard(const std::string& id) {
  auto m = std::make_unique<zv::CLockCardMsg>();
  m->SetDeviceID(id);
  m->SetLock(1);
  return m;
}

std::unique_ptr<zv::CCommPacketMsg> CommPacket(const std::string& id, uint8_t route,
                                               const Bytes& envelope) {
  auto m = std::make_unique<zv::CCommPacketMsg>();
  m->SetDeviceID(id);
  m->SetRoute(route);
  m->SetData(envelope.data(), static_cast<int>(envelope.size()));
  return m;
}

std::unique_ptr<zv::CQueryMsg> QueryCards() {
  auto m = std::make_unique<zv::CQueryMsg>();
  m->SetKind(zv::kCardKind);
  m->SetFilter("1000");
  return m;
}

std::unique_ptr<zv::CQueryAckMsg> QueryAnswer() {
  auto list = std::make_unique<zv::CRecordList>();
  list->Append(Card("100001"));
  list->Append(Card("Ab12cD"));
  auto m = std::make_unique<zv::CQueryAckMsg>();
  m->SetStatus(zv::kQueryOk);
  m->SetKind(zv::kCardKind);
  m->SetRecords(std::move(list));
  return m;
}

std::unique_ptr<zv::CRecordOpMsg> AddCard(const std::string& id) {
  auto m = std::make_unique<zv::CRecordOpMsg>();
  m->SetOperation(zv::kRecordAdd);
  m->SetRecord(Card(id));
  return m;
}

std::unique_ptr<zv::CCheckNameMsg> CheckName() {
  auto m = std::make_unique<zv::CCheckNameMsg>();
  m->SetKind(zv::kUserKind);
  m->SetName("user02");
  m->SetOrganization("Acme");
  return m;
}

std::unique_ptr<zv::CCommPacketAckMsg> CardAnswer(const Bytes& card_frame) {
  auto m = std::make_unique<zv::CCommPacketAckMsg>();
  m->SetStatus(zv::kCardPacketStatus);
  m->SetData(card_frame.data(), static_cast<int>(card_frame.size()));
  return m;
}

// Index of a type code in the type tables of the relay message targets.
uint8_t TypeIndex(uint16_t type) {
  return type < zv::kAnswerTypeBase ? static_cast<uint8_t>(type - 1)
                                    : static_cast<uint8_t>(type - zv::kAnswerTypeBase + 6);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_folder = argv[1];
  const std::vector<Exchange> session = ControllerSession();
  const Exchange& versions = Find(session, ControllerCommand::kGetVersions);
  const Exchange& list = Find(session, ControllerCommand::kListFiles);
  const Exchange& read = Find(session, ControllerCommand::kReadFileData);
  const Exchange& info = Find(session, ControllerCommand::kGetFileInfo);
  const Exchange& screen = Find(session, ControllerCommand::kReadScreenConfig);
  const Exchange& reset = Find(session, ControllerCommand::kResetController);
  const std::string tcp_card = "Ab12cD";  // a Zv Server card: six characters
  const std::string udp_card = "100001";  // a Zv GPRS card: digits

  // Line bytes of the serial medium and the gateway: framed requests and replies.
  Write("fuzz_stream_decoder", "request", StreamFrame(versions.request));
  Write("fuzz_stream_decoder", "reply", StreamFrame(list.reply));
  Write("fuzz_stream_decoder", "noise-and-two-replies",
        Cat({Bytes{0x00, 0xAE, 0x13}, StreamFrame(read.reply), StreamFrame(reset.reply)}));
  // [capacity % 64 + 1][line bytes]
  Write("fuzz_stream_decode", "fits", Cat({Bytes{63}, StreamFrame(read.reply)}));
  Write("fuzz_stream_decode", "overflows", Cat({Bytes{7}, StreamFrame(info.reply)}));
  // [capacity (x8 % 2100 + 1)][chunk % 200 + 1][line bytes]
  Write("fuzz_serial_stream", "versions", Cat({Bytes{0xFF, 16}, StreamFrame(versions.reply)}));
  Write("fuzz_serial_stream", "list-then-read",
        Cat({Bytes{0xFF, 199}, StreamFrame(list.reply), StreamFrame(read.reply)}));
  // [capacity x8 + 1][gateway message record, zero tail left out]
  for (const Exchange* e : {&versions, &read}) {
    tarvo::DccMessage message;
    tarvo::BuildGatewayMessage("861234567890123", e->reply.data(), e->reply.size(), &message);
    const auto* p = reinterpret_cast<const uint8_t*>(&message);
    Bytes record(p, p + sizeof message);
    while (!record.empty() && record.back() == 0) record.pop_back();
    Write("fuzz_gateway_message", e == &read ? "read-reply" : "versions-reply",
          Cat({Bytes{0xFF}, record}));
  }
  // [ID length % 31][capacity x8 + 1][ID][answer as the relay library returns it]
  Write("fuzz_relay_envelope", "route1",
        Cat({Bytes{6, 0xFF}, Text(tcp_card), tarvo::sim::TcpCardReply(tcp_card, list.reply)}));
  Write("fuzz_relay_envelope", "route2",
        Cat({Bytes{6, 0xFF}, Text(udp_card), tarvo::sim::UdpCardReply(udp_card, read.reply)}));
  // [command code][reply]
  for (const Exchange* e : {&versions, &list, &read, &info, &screen}) {
    Write("fuzz_command_replies", "reply-" + std::to_string(e->request[tarvo::kOffCommand]),
          Cat({Bytes{e->request[tarvo::kOffCommand]}, e->reply}));
  }
  // [mode][...]: even modes take [length][request without its checksum]
  // pieces, odd modes stream-framed requests.
  Bytes pieces{0};
  Bytes framed{1};
  for (const Exchange& e : session) {
    pieces.push_back(static_cast<uint8_t>(e.request.size() - 2));
    pieces.insert(pieces.end(), e.request.begin(), e.request.end() - 2);
    const Bytes f = StreamFrame(e.request);
    framed.insert(framed.end(), f.begin(), f.end());
  }
  Write("fuzz_controller_model", "session-pieces", pieces);
  Write("fuzz_controller_model", "session-framed", framed);
  // [DeviceID selector: 5 -> "111115"][datagram the relay forwards to a UDP card]
  for (const Exchange* e : {&versions, &read}) {
    Bytes datagram;
    tarvo::EncodeRouteTwoRequest("111115", e->request.data(), e->request.size(), &datagram);
    Write("fuzz_relay_card_datagram", e == &read ? "read" : "versions", Cat({Bytes{5}, datagram}));
  }

  // The tool's relay medium: [flags][capacity x9 + 1][count offset][ID length][ID]
  // then answers [length LE16][bytes].
  auto answers = [](const std::vector<Bytes>& list) {
    Bytes out;
    for (const Bytes& a : list) {
      out.push_back(static_cast<uint8_t>(a.size()));
      out.push_back(static_cast<uint8_t>(a.size() >> 8));
      out.insert(out.end(), a.begin(), a.end());
    }
    return out;
  };
  Write("fuzz_relay_medium", "route1",
        Cat({Bytes{0, 0xFF, 0, 6}, Text(tcp_card),
             answers({tarvo::sim::TcpCardReply(tcp_card, versions.reply),
                      tarvo::sim::TcpCardReply("ZZ99zz", versions.reply),
                      tarvo::sim::TcpCardReply(tcp_card, read.reply)})}));
  Write("fuzz_relay_medium", "route2",
        Cat({Bytes{1, 0xFF, 0, 6}, Text(udp_card),
             answers({tarvo::sim::UdpCardReply(udp_card, list.reply),
                      tarvo::sim::UdpCardReply(udp_card, read.reply)})}));
  Write("fuzz_relay_medium", "route1-count-too-long-traced",
        Cat({Bytes{6, 0xFF, 40, 6}, Text(tcp_card),
             answers({tarvo::sim::TcpCardReply(tcp_card, screen.reply)})}));

  // A TCP card connected to zvrelayd: [mode][registration][answers]. Reads of
  // 8 bytes (mode 7) take the registration alone, so the lock is in place
  // before the answers come, as when a tool locks the card and then asks.
  const Bytes registration = tarvo::sim::TcpCardRegistration(udp_card);
  const Bytes answered = Cat({registration, tarvo::sim::TcpCardReply(udp_card, versions.reply),
                              tarvo::sim::TcpCardReply(udp_card, read.reply)});
  Write("fuzz_zvrelayd_cards", "register-and-answer", Cat({Bytes{7}, answered}));
  Write("fuzz_zvrelayd_cards", "answers-before-the-lock", Cat({Bytes{0x3F}, answered}));
  Write("fuzz_zvrelayd_cards", "small-reads",
        Cat({Bytes{4}, tarvo::sim::TcpCardRegistration("AB12CD"),
             tarvo::sim::TcpCardReply("Ab12cD", list.reply)}));
  // Both halves the same length, so the second connection starts at a frame.
  const Bytes half = Cat(
      {tarvo::sim::TcpCardRegistration(tcp_card), tarvo::sim::TcpCardReply(tcp_card, reset.reply)});
  Write("fuzz_zvrelayd_cards", "reconnect", Cat({Bytes{0x40 | 7}, half, half}));

  // Relay frames as a byte stream (an even first byte: the stream as it is).
  Write("fuzz_relay_frame", "login", FrameOf(Login()));
  Write("fuzz_relay_frame", "lock-and-forward",
        Cat({FrameOf(LockCard(tcp_card)),
             FrameOf(CommPacket(tcp_card, zv::kRouteTcp,
                                tarvo::sim::TcpCardReply(tcp_card, versions.request)))}));
  Write("fuzz_relay_frame", "query-answer", FrameOf(QueryAnswer()));
  // [type index][body]
  Write("fuzz_relay_message", "login", Cat({Bytes{TypeIndex(zv::kLoginMsgType)}, Body(*Login())}));
  Write("fuzz_relay_message", "comm-packet",
        Cat({Bytes{TypeIndex(zv::kCommPacketMsgType)},
             Body(*CommPacket(udp_card, zv::kRouteUdp, Bytes{0xA5, '1', 0x68, 0xAE}))}));
  Write("fuzz_relay_message", "query-answer",
        Cat({Bytes{TypeIndex(zv::kQueryAckMsgType)}, Body(*QueryAnswer())}));
  Write("fuzz_relay_message", "add-card",
        Cat({Bytes{TypeIndex(zv::kRecordOpMsgType)}, Body(*AddCard("100002"))}));
  Write("fuzz_relay_message", "card-answer",
        Cat({Bytes{TypeIndex(zv::kCommPacketAckMsgType)},
             Body(*CardAnswer(tarvo::sim::TcpCardReply(tcp_card, list.reply)))}));
  // [kind - 1][record body]
  Write("fuzz_account_record", "organization", Cat({Bytes{0}, Body(*Organization())}));
  Write("fuzz_account_record", "user", Cat({Bytes{1}, Body(*User())}));
  Write("fuzz_account_record", "card", Cat({Bytes{2}, Body(*Card(udp_card))}));
  Write("fuzz_account_record", "log", Cat({Bytes{3}, Body(*Log())}));
  // The list as the query answer carries it after its status and kind.
  {
    const Bytes answer = Body(*QueryAnswer());
    Write("fuzz_record_list", "two-cards", Bytes(answer.begin() + 2, answer.end()));
    auto mixed = std::make_unique<zv::CRecordList>();
    mixed->Append(Organization());
    mixed->Append(User());
    mixed->Append(Log());
    zv::CQueryAckMsg ack;
    ack.SetStatus(zv::kQueryOk);
    ack.SetRecords(std::move(mixed));
    const Bytes body = Body(ack);
    Write("fuzz_record_list", "mixed", Bytes(body.begin() + 2, body.end()));
  }
  // Requests processed by a logged-in user: [type - 1][body].
  {
    auto heartbeat = std::make_unique<zv::CHeartbeatMsg>();
    heartbeat->SetAlive(1);
    Write("fuzz_relay_requests", "heartbeat", Cat({Bytes{1}, Body(*heartbeat)}));
  }
  Write("fuzz_relay_requests", "query-cards", Cat({Bytes{2}, Body(*QueryCards())}));
  Write("fuzz_relay_requests", "add-card", Cat({Bytes{3}, Body(*AddCard("100003"))}));
  Write("fuzz_relay_requests", "forward",
        Cat({Bytes{4},
             Body(*CommPacket(tcp_card, zv::kRouteTcp, Bytes{0x0E, 0, 1, 1, 1, 1, 1, 1}))}));
  Write("fuzz_relay_requests", "lock", Cat({Bytes{5}, Body(*LockCard(tcp_card))}));
  Write("fuzz_relay_requests", "check-name", Cat({Bytes{6}, Body(*CheckName())}));
  // zvrelayd's peers: [chunk % 17 + 1][bytes]; a whole input that is a UDP
  // card datagram is parsed as one too.
  Write("fuzz_zvrelayd_streams", "user-frames",
        Cat({Bytes{5}, FrameOf(Login()), FrameOf(LockCard(tcp_card)), FrameOf(QueryCards())}));
  Write("fuzz_zvrelayd_streams", "card-frames",
        Cat({Bytes{16}, registration, tarvo::sim::TcpCardReply(udp_card, versions.reply)}));
  Write("fuzz_zvrelayd_streams", "udp-datagram", tarvo::sim::UdpCardReply(udp_card, list.reply));

  // Settings files as tarvo-cli writes them and as people edit them.
  WriteText("ini_fuzz", "tarvo-cli.ini",
            "[COMM]\nCommType=4\nCard ID=1\nPortidx=0\nBuadidx=3\nIP Addr=-1062731519\n"
            "IP Port=5200\nID Code=-1\nServerIP=2130706433\nServerPort=5201\n"
            "IMEI=861234567890123\nZvServerIP=2130706433\nZvServerPort=5202\nUserName=user01\n"
            "Password=21963\nDeviceID=100001\n[PORTS]\nCOM3=/dev/ttyUSB0\n");
  WriteText("ini_fuzz", "hand-edited.ini",
            "; options set by the installer\r\n[OPTION]\r\nUpgrade scan = 1\r\nRead file=1\r\n"
            "\r\n[comm]\r\nCommType=  2 \r\nIP Port=0x1450\r\nDeviceID=\r\n[COMM]\r\nIMEI\r\n");
  std::printf("%d seed files written under %s\n", g_files, g_folder.string().c_str());
  return 0;
}
