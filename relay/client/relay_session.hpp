// The client session of the relay library: one connection to the relay
// server and what the last successful login left behind.
//
// Each operation sends one request frame and, where an answer is expected,
// reads exactly the next frame and checks its type; frames are never skipped
// while waiting. Result values are those of the exported functions
// (ZvServerAPI.h). Nothing throws except std::bad_alloc from the standard
// containers, which the exported functions catch.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "relay/client/relay_socket.hpp"
#include "relay/messages/user_record.hpp"

namespace zv {

class CRelayPacket;

// Longest text that a counted string carries; longer arguments are refused
// instead of being cut, since a cut device ID or user name names someone else.
inline constexpr size_t kMaxArgumentChars = 254;

// Login results found locally (the server's own results are 1-4).
inline constexpr int kLoginAlreadyConnected = 3;
inline constexpr int kLoginConnectFailed = 5;
inline constexpr int kLoginNoAnswer = -2;
inline constexpr int kLoginSendFailed = -3;
inline constexpr int kLoginBuildFailed = -4;
inline constexpr int kLoginMessageFailed = -5;

class CRelaySession {
 public:
  explicit CRelaySession(const RelaySocketTiming& timing = RelaySocketTiming());
  // Closes the connection if it is open; nothing is sent to the server.
  ~CRelaySession();
  CRelaySession(const CRelaySession&) = delete;
  CRelaySession& operator=(const CRelaySession&) = delete;

  int Login(const char* address, int port, const char* user_name, const char* password);
  int Logout();
  // lock true: lock the card; false: unlock it.
  int LockCard(const char* device_id, bool lock);
  int SendCommPacket(const char* device_id, int route, const uint8_t* data, int length);
  int RecvCommPacket(uint8_t* buffer, int size);
  int SendHeartbeat();
  int SetReceiveTimeout(int milliseconds);
  int QueryCardStatus(const char* filter, char* buffer, int size);

  bool IsConnected() const { return socket_.IsConnected(); }
  CRelaySocket& socket() { return socket_; }
  // Copy of the user record of the last successful login, or none.
  const CUserRecord* user() const { return user_.get(); }
  const std::string& user_name() const { return user_name_; }
  const std::string& password() const { return password_; }
  const std::string& server_address() const { return server_address_; }
  int port() const { return port_; }

 private:
  enum class SendResult { kSent, kNoMessage, kBuildFailed, kSendFailed };
  // Frames the packet's message and sends it.
  SendResult SendRequest(CRelayPacket& request);
  // Sends the request and reads the next frame into `answer`; true when the
  // answer decoded and has the expected type.
  bool Exchange(CRelayPacket& request, CRelayPacket& answer, uint16_t answer_type);

  CRelaySocket socket_;
  std::unique_ptr<CUserRecord> user_;
  std::string user_name_;
  std::string password_;
  std::string server_address_;
  int port_ = 0;
};

// True for a non-null text of at most kMaxArgumentChars characters.
bool IsValidArgumentText(const char* text);

}  // namespace zv
