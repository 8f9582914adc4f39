// The serial medium over a real pseudo-terminal pair: framing on the line,
// write pacing, reply decoding, silence, an endless reply and a vanishing
// device.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "link_test_util.hpp"
#include "tool/codec/stream_framing.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/link/packet_io.hpp"
#include "tool/protocol/commands.hpp"

namespace tarvo {
namespace {

using test::Bytes;

class SerialMediumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(platform::OpenPtyPair(&pty_), 1);
    link_.comm_type = 1;
    link_.serial.timing.read_timeout_ms = 100;
    link_.serial.timing.event_wait_ms = 50;
    link_.serial.timing.piece_pause_ms = 1;
    link_.serial.diagnostics = &diag_;
    ConfigureSerialPort(link_.serial, "COM5", "115200,8,N,1", {{"COM5", pty_.slave_path}});
  }

  platform::PtyPair pty_;
  ConnectionManager link_;
  std::ostringstream diag_;
};

TEST_F(SerialMediumTest, ResetRequestIsFramedAndEscapedOnTheLine) {
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  EXPECT_EQ(link_.controller_id(), 1);
  EXPECT_EQ(ResetController(link_), 0);  // nobody answers
  Bytes line = test::ReadAtLeast(pty_.master, 10, 1000);
  EXPECT_EQ(line, (Bytes{0xA5, 0x68, 0x32, 0x01, 0x2D, 0x01, 0x00, 0xC9, 0x00, 0xAE}));
  link_.CloseLink();

  // Controller ID 170 (0xAA) is escaped; the sum covers the unescaped packet.
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 0xAA), 1);
  EXPECT_EQ(ResetController(link_), 0);
  line = test::ReadAtLeast(pty_.master, 11, 1000);
  EXPECT_EQ(line, (Bytes{0xA5, 0x68, 0x32, 0xAA, 0x0A, 0x2D, 0x01, 0x00, 0x72, 0x01, 0xAE}));
  link_.CloseLink();
  EXPECT_EQ(link_.controller_id(), 0);
  EXPECT_EQ(link_.type_code(), 0);
}

TEST_F(SerialMediumTest, LongFramesArriveWholeThroughThePieces) {
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  Bytes packet(298, 0x11);
  packet[0] = 0x68;
  AppendChecksum(packet.data(), 296);
  ASSERT_EQ(SendPacket(link_, packet.data(), packet.size()), 1);
  Bytes line = test::ReadAtLeast(pty_.master, 300, 2000);
  ASSERT_EQ(line.size(), 300u);
  EXPECT_EQ(line.front(), 0xA5);
  EXPECT_EQ(line.back(), 0xAE);
  EXPECT_EQ(Bytes(line.begin() + 1, line.end() - 1), packet);
  EXPECT_EQ(link_.serial.bytes_written, 300u);
}

TEST_F(SerialMediumTest, ReplyAfterGarbageAndEscapesIsDecoded) {
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  std::thread controller([&] {
    Bytes request = test::ReadAtLeast(pty_.master, 9, 2000);
    // Free space reply: valid, 0x00A5AEAA bytes, which all need escapes.
    Bytes reply = test::Reply(0x29, {0x01, 0xAA, 0xAE, 0xA5, 0x00}, 0x01);
    Bytes line = {0x11, 0x22, 0xA5, 0x33};  // garbage and an abandoned start
    line.push_back(0xA5);
    for (uint8_t b : reply) {
      if (NeedsEscape(b)) {
        line.push_back(0xAA);
        line.push_back(b & 0x0F);
      } else {
        line.push_back(b);
      }
    }
    line.push_back(0xAE);
    line.push_back(0x99);  // left unread, dropped by the next reply
    pty_.master.Write(line.data(), line.size(), 1000);
  });
  EXPECT_EQ(GetFreeSpace(link_, kUserDisk), 0x00A5AEAAu);
  controller.join();
}

TEST_F(SerialMediumTest, SilenceEndsAfterThreeBoundedReads) {
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  uint8_t reply[100];
  int64_t start = platform::MonotonicMs();
  EXPECT_EQ(ReceivePacket(link_, reply, sizeof reply), 0u);
  int64_t took = platform::MonotonicMs() - start;
  EXPECT_GE(took, 250);  // three reads of 100 ms
  EXPECT_LT(took, 5000);
}

TEST_F(SerialMediumTest, APeerThatNeverEndsItsFrameIsCutOffAtTheReplyBound) {
  link_.serial.timing.reply_limit_ms = 300;
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  // Bytes keep coming, never an end byte and never a pause as long as a read:
  // the silence rule alone would wait for as long as the peer streams (5 s).
  std::atomic<bool> done{false};
  std::thread peer([&] {
    const Bytes chunk = {0xA5, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42, 0x42};
    const int64_t until = platform::MonotonicMs() + 5000;
    while (!done && platform::MonotonicMs() < until) {
      pty_.master.Write(chunk.data(), chunk.size(), 50);
      platform::SleepMs(5);
    }
  });
  uint8_t reply[100];
  const int64_t start = platform::MonotonicMs();
  EXPECT_EQ(ReceivePacket(link_, reply, sizeof reply), 0u);
  EXPECT_LT(platform::MonotonicMs() - start, 2500);
  done = true;
  peer.join();
  link_.CloseLink();
}

TEST_F(SerialMediumTest, AVanishedDeviceGivesNoReplyQuickly) {
  link_.serial.timing.read_timeout_ms = 10000;
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  pty_.master.Close();
  pty_.held_slave.Close();
  int64_t start = platform::MonotonicMs();
  EXPECT_EQ(GetFreeSpace(link_, kUserDisk), 0u);
  EXPECT_LT(platform::MonotonicMs() - start, 5000);
  link_.CloseLink();
}

TEST_F(SerialMediumTest, ReplyLongerThanTheCapacityIsRefused) {
  ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 1), 1);
  std::thread controller([&] {
    test::ReadAtLeast(pty_.master, 9, 2000);
    Bytes line = {0xA5};
    line.insert(line.end(), 150, 0x42);  // more than GetFreeSpace's 100 bytes
    line.push_back(0xAE);
    pty_.master.Write(line.data(), line.size(), 1000);
  });
  EXPECT_EQ(GetFreeSpace(link_, kUserDisk), 0u);
  controller.join();
}

TEST_F(SerialMediumTest, RefusedLineSettingsWriteTheFailLine) {
  ConfigureSerialPort(link_.serial, "COM5", "1234,8,N,1", {{"COM5", pty_.slave_path}});
  EXPECT_EQ(link_.OpenLink(kControllerTypeCode, 7), 0);
  EXPECT_EQ(diag_.str(), "FAIL: cannot set the comm state rc:0\n");
  EXPECT_EQ(link_.type_code(), 0);
  EXPECT_EQ(link_.controller_id(), 0);
  EXPECT_FALSE(link_.serial.device.IsOpen());
  link_.CloseLink();
}

}  // namespace
}  // namespace tarvo
