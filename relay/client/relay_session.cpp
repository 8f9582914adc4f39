#include "relay/client/relay_session.hpp"

#include <climits>
#include <cstring>

#include "platform/socket.hpp"
#include "relay/messages/card_record.hpp"
#include "relay/messages/relay_messages.hpp"
#include "relay/messages/relay_packet.hpp"

namespace zv {

namespace {

// Record kind asked for by the card status query.
constexpr uint8_t kCardQueryKind = 3;

template <typename T>
T* MessageAs(const CRelayPacket& packet) {
  return dynamic_cast<T*>(packet.GetMessage());
}

}  // namespace

bool IsValidArgumentText(const char* text) {
  if (text == nullptr) return false;
  // Stops one past the limit, so an over-long text is never scanned further.
  for (size_t n = 0; n <= kMaxArgumentChars; ++n) {
    if (text[n] == '\0') return true;
  }
  return false;
}

CRelaySession::CRelaySession(const RelaySocketTiming& timing) : socket_(timing) {}

CRelaySession::~CRelaySession() {
  if (socket_.IsConnected()) socket_.Close();
}

CRelaySession::SendResult CRelaySession::SendRequest(CRelayPacket& request) {
  if (request.GetMessage() == nullptr) return SendResult::kNoMessage;
  int length = 0;
  const uint8_t* frame = request.Build(length);
  if (frame == nullptr || length <= 0) return SendResult::kBuildFailed;
  return socket_.Send(frame, length) == 1 ? SendResult::kSent : SendResult::kSendFailed;
}

bool CRelaySession::Exchange(CRelayPacket& request, CRelayPacket& answer, uint16_t answer_type) {
  if (SendRequest(request) != SendResult::kSent) return false;
  // Only the first frame after the request is looked at; one of another type
  // is consumed and reported as no answer.
  return ReceiveFrame(socket_, answer) != 0 && answer.GetType() == answer_type;
}

int CRelaySession::Login(const char* address, int port, const char* user_name,
                         const char* password) {
  if (socket_.IsConnected()) return kLoginAlreadyConnected;
  // Arguments that cannot make a request are refused before any network
  // activity: there is nothing to send on a connection made for them.
  if (user_name == nullptr || password == nullptr) return kLoginMessageFailed;
  if (!IsValidArgumentText(user_name) || !IsValidArgumentText(password)) {
    return kLoginBuildFailed;
  }
  uint32_t ip = 0;
  if (address == nullptr || !tarvo::platform::ParseIpv4(address, &ip)) {
    return kLoginConnectFailed;
  }
  if (!socket_.Connect(ip, port)) return kLoginConnectFailed;

  int result = kLoginNoAnswer;
  CRelayPacket request(kLoginMsgType);
  if (auto* login = MessageAs<CLoginMsg>(request)) {
    login->SetUserName(user_name);
    login->SetPassword(password);
  }
  switch (SendRequest(request)) {
    case SendResult::kNoMessage:
      result = kLoginMessageFailed;
      break;
    case SendResult::kBuildFailed:
      result = kLoginBuildFailed;
      break;
    case SendResult::kSendFailed:
      result = kLoginSendFailed;
      break;
    case SendResult::kSent: {
      CRelayPacket answer;
      if (ReceiveFrame(socket_, answer) == 0) break;
      auto* ack = MessageAs<CLoginAckMsg>(answer);
      if (ack == nullptr) break;
      result = ack->GetResult();
      if (result == kLoginOk && !ack->GetUser().GetName().empty()) {
        if (!user_) user_ = std::make_unique<CUserRecord>();
        ack->GetUser().CopyTo(*user_);
        user_name_ = user_name;
        password_ = password;
        server_address_ = address;
        port_ = port;
      }
      break;
    }
  }
  if (result != kLoginOk && socket_.IsConnected()) socket_.Close();
  return result;
}

int CRelaySession::Logout() {
  if (socket_.IsConnected()) socket_.Close();
  return 0;
}

int CRelaySession::LockCard(const char* device_id, bool lock) {
  if (!socket_.IsConnected() || !IsValidArgumentText(device_id)) return 0;
  CRelayPacket request(kLockCardMsgType);
  auto* message = MessageAs<CLockCardMsg>(request);
  if (message == nullptr) return 0;
  message->SetDeviceID(device_id);
  message->SetLock(lock ? 1 : 0);
  CRelayPacket answer;
  if (!Exchange(request, answer, kLockCardAckMsgType)) return 0;
  return MessageAs<CLockCardAckMsg>(answer)->GetResult();
}

int CRelaySession::SendCommPacket(const char* device_id, int route, const uint8_t* data,
                                  int length) {
  if (!socket_.IsConnected() || !IsValidArgumentText(device_id)) return 0;
  if (data == nullptr || length <= 0) return 0;
  CRelayPacket request(kCommPacketMsgType);
  auto* message = MessageAs<CCommPacketMsg>(request);
  if (message == nullptr) return 0;
  message->SetDeviceID(device_id);
  message->SetRoute(static_cast<uint8_t>(route & 0xFF));
  message->SetData(data, length);
  // The message keeps no data for a packet larger than any frame may carry;
  // sending it anyway would forward an empty packet in its place.
  if (message->GetData().size() != static_cast<size_t>(length)) return 0;
  CRelayPacket answer;
  if (!Exchange(request, answer, kCommPacketAckMsgType)) return 0;
  return MessageAs<CCommPacketAckMsg>(answer)->GetStatus();
}

int CRelaySession::RecvCommPacket(uint8_t* buffer, int size) {
  if (!socket_.IsConnected() || buffer == nullptr || size <= 0) return 0;
  CRelayPacket answer;
  if (ReceiveFrame(socket_, answer) == 0) return 0;
  auto* ack = MessageAs<CCommPacketAckMsg>(answer);
  if (ack == nullptr || ack->GetStatus() != kCardPacketStatus) return 0;
  const std::vector<uint8_t>& data = ack->GetData();
  if (static_cast<size_t>(size) < data.size()) return -1;
  // Anything shorter than a controller packet header is not a card packet.
  if (data.size() < 6) return 0;
  std::memcpy(buffer, data.data(), data.size());
  return static_cast<int>(data.size());
}

int CRelaySession::SendHeartbeat() {
  if (!socket_.IsConnected()) return 0;
  CRelayPacket request(kHeartbeatMsgType);
  if (auto* heartbeat = MessageAs<CHeartbeatMsg>(request)) heartbeat->SetAlive(1);
  return SendRequest(request) == SendResult::kSent ? 1 : 0;
}

int CRelaySession::SetReceiveTimeout(int milliseconds) {
  return socket_.SetReceiveTimeout(milliseconds);
}

int CRelaySession::QueryCardStatus(const char* filter, char* buffer, int size) {
  if (!socket_.IsConnected()) return -1;
  if (filter == nullptr) filter = "";
  if (!IsValidArgumentText(filter)) return -1;
  // Without a buffer nothing can be written: the call only reports the size.
  if (buffer == nullptr) size = 0;

  CRelayPacket request(kQueryMsgType);
  auto* query = MessageAs<CQueryMsg>(request);
  if (query == nullptr) return -1;
  query->SetKind(kCardQueryKind);
  query->SetFilter(filter);
  CRelayPacket answer;
  if (!Exchange(request, answer, kQueryAckMsgType)) return -1;
  auto* ack = MessageAs<CQueryAckMsg>(answer);
  if (ack->GetKind() != kCardQueryKind || ack->GetStatus() != kQueryOk) return -1;

  // Each record is copied through its wire form; one that does not survive
  // the copy is left out. Only card records have a device ID and an online
  // flag, so records of other kinds are left out as well.
  std::string text;
  int entries = 0;
  if (const CRecordList* records = ack->GetRecords()) {
    for (const auto& record : records->Records()) {
      if (record == nullptr || record->GetKind() != kCardKind) continue;
      CCardRecord card;
      if (record->CopyTo(card) == 0) continue;
      text += card.GetDeviceID();
      text += '=';
      text += std::to_string(static_cast<unsigned>(card.GetOnLine()));
      text += ';';
      ++entries;
    }
  }
  if (text.size() >= static_cast<size_t>(INT_MAX)) return INT_MIN;
  int needed = static_cast<int>(text.size()) + 1;
  if (size < needed) return -needed;
  std::memset(buffer, 0, static_cast<size_t>(size));
  std::memcpy(buffer, text.data(), text.size());
  return entries;
}

}  // namespace zv
