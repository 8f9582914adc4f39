// The failure record of the send layer: what failed, an error code and the
// source line that noticed it. The send operation turns every one of these
// into a log line and a result of 0; it is never thrown across a boundary.
#pragma once

#include <cstdint>
#include <cstring>

namespace zv {

class CSrvException {
 public:
  static constexpr size_t kMessageSize = 512;

  CSrvException(const char* message, int32_t error_code, int32_t line)
      : error_code_(error_code), line_(line) {
    // At most 511 characters and the terminating zero, so an overlong text
    // is cut instead of overrunning the field.
    size_t n = message ? std::strlen(message) : 0;
    if (n > kMessageSize - 1) n = kMessageSize - 1;
    if (n) std::memcpy(message_, message, n);
    message_[n] = 0;
  }

  const char* Message() const { return message_; }
  int32_t ErrorCode() const { return error_code_; }
  int32_t Line() const { return line_; }

 private:
  char message_[kMessageSize] = {};
  int32_t error_code_;
  int32_t line_;
};

}  // namespace zv
