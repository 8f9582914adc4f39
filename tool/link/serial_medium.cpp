// "RS232/485": stream-framed packets over the serial port, replies decoded
// byte by byte from the receive ring.
#include <array>
#include <cerrno>

#include "platform/clock.hpp"
#include "platform/socket.hpp"
#include "tool/codec/stream_framing.hpp"
#include "tool/codec/stream_receive.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/media.hpp"

namespace tarvo {
namespace {

class SerialMedium final : public Medium {
 public:
  explicit SerialMedium(ConnectionManager& link) : link_(link) {}

  int Open(uint8_t controller_id, uint8_t* effective_id) override {
    *effective_id = controller_id;
    SerialPort& port = link_.serial;
    if (OpenSerialPort(port) == 1) return 1;
    // A device that is not there is this machine's matter; one that is busy
    // or not a serial line is the link's.
    const int error = port.device.LastError();
    if (port.device_path.empty())
      link_.NoteProblem("local", "serial port " + port.port_name + " names no device");
    else
      link_.NoteProblem(
          error == ENOENT ? "local" : "link-failed",
          "serial device " + port.device_path + ": " + platform::SocketErrorText(error));
    return 0;
  }

  void Close() override { CloseSerialPort(link_.serial); }

  int SendPacket(const uint8_t* packet, size_t length) override {
    size_t n = EncodeStreamFrame(packet, length, frame_.data(), frame_.size());
    if (n == 0) return 0;
    return WriteSerialPort(link_.serial, frame_.data(), n);
  }

  size_t ReceivePacket(uint8_t* destination, size_t capacity) override {
    SerialPort& port = link_.serial;
    // Bytes left over from an earlier exchange belong to no reply of ours.
    port.ring.Reset();
    // The read rule only counts silence, so a peer that keeps sending without
    // ever ending a frame would hold the link for as long as it sends. A
    // reply therefore gets reply_limit_ms from its first byte: no read waits
    // past that point, and once it has passed the port is not read again,
    // which the decoder sees as silence.
    int64_t reply_deadline = -1;
    const RxRing::Source read = [&port, &reply_deadline](uint8_t* buffer, size_t size) -> size_t {
      int wait = port.timing.read_timeout_ms;
      if (reply_deadline >= 0) {
        const int64_t left = reply_deadline - platform::MonotonicMs();
        if (left <= 0) return 0;
        if (left < wait) wait = static_cast<int>(left);
      }
      const size_t n = ReadSerialPort(port, buffer, size, wait);
      if (n > 0 && reply_deadline < 0)
        reply_deadline = platform::MonotonicMs() + port.timing.reply_limit_ms;
      return n;
    };
    const ByteSource next = [&port, &read](uint8_t* out) { return port.ring.NextByte(out, read); };
    return ReceiveStreamPacket(next, kSerialIdleReadsPerReply, destination, capacity);
  }

 private:
  ConnectionManager& link_;
  std::array<uint8_t, kStreamFrameBufferSize> frame_{};
};

}  // namespace

std::unique_ptr<Medium> MakeSerialMedium(ConnectionManager& link) {
  return std::make_unique<SerialMedium>(link);
}

}  // namespace tarvo
