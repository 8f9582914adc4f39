// Settings text, port names, write pacing and the receive ring of the
// serial medium (no device involved).
#include "tool/link/serial_port.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <vector>

namespace tarvo {
namespace {

TEST(SerialSettings, ParsesTheFourFieldsWithAnySeparator) {
  SerialLine a = ParseSerialSettings("9600,8,N,1");
  EXPECT_EQ(a.baud, 9600u);
  EXPECT_EQ(a.byte_size, 8);
  EXPECT_EQ(a.parity, platform::kParityNone);
  EXPECT_EQ(a.stop_bits, platform::kStopBitsOne);

  SerialLine b = ParseSerialSettings("19200 7 E 1.5");
  EXPECT_EQ(b.baud, 19200u);
  EXPECT_EQ(b.byte_size, 7);
  EXPECT_EQ(b.parity, platform::kParityEven);
  EXPECT_EQ(b.stop_bits, platform::kStopBitsOneAndHalf);

  SerialLine c = ParseSerialSettings("115200\t8\nO,,2");
  EXPECT_EQ(c.baud, 115200u);
  EXPECT_EQ(c.parity, platform::kParityOdd);
  EXPECT_EQ(c.stop_bits, platform::kStopBitsTwo);

  EXPECT_EQ(ParseSerialSettings("1,8,M,1").parity, platform::kParityMark);
  EXPECT_EQ(ParseSerialSettings("1,8,S,1").parity, platform::kParitySpace);
}

TEST(SerialSettings, FieldsCompareAsWholeTokensAndOddValuesFallBack) {
  // "NO" is not "N": it falls to the last row (none) like any unknown text.
  EXPECT_EQ(ParseSerialSettings("9600,8,NO,1").parity, platform::kParityNone);
  EXPECT_EQ(ParseSerialSettings("9600,8,EE,1").parity, platform::kParityNone);
  EXPECT_EQ(ParseSerialSettings("9600,8,e,1").parity, platform::kParityNone);
  // Missing fields.
  SerialLine m = ParseSerialSettings("4800");
  EXPECT_EQ(m.baud, 4800u);
  EXPECT_EQ(m.byte_size, 0);
  EXPECT_EQ(m.parity, platform::kParityNone);
  EXPECT_EQ(m.stop_bits, platform::kStopBitsOne);
  EXPECT_EQ(ParseSerialSettings("9600,8,N,1.0").stop_bits, platform::kStopBitsOne);
  // Non-numbers give 0.
  SerialLine z = ParseSerialSettings("fast,eight,N,1");
  EXPECT_EQ(z.baud, 0u);
  EXPECT_EQ(z.byte_size, 0);
  EXPECT_EQ(ParseSerialSettings("").baud, 0u);
}

TEST(SerialPortNames, MapComNamesPortsSectionAndPaths) {
  PortMap none;
  EXPECT_EQ(ResolveSerialDevice("COM1", none), "/dev/ttyS0");
  EXPECT_EQ(ResolveSerialDevice("COM12", none), "/dev/ttyS11");
  EXPECT_EQ(ResolveSerialDevice("COM99", none), "/dev/ttyS98");
  EXPECT_EQ(ResolveSerialDevice("/dev/pts/7", none), "/dev/pts/7");
  PortMap ports{{"COM3", "/dev/ttyUSB0"}};
  EXPECT_EQ(ResolveSerialDevice("COM3", ports), "/dev/ttyUSB0");
  EXPECT_EQ(ResolveSerialDevice("COM4", ports), "/dev/ttyS3");
  // Unknown names give no device, which open refuses.
  EXPECT_EQ(ResolveSerialDevice("COM0", none), "");
  EXPECT_EQ(ResolveSerialDevice("COM", none), "");
  EXPECT_EQ(ResolveSerialDevice("COMX", none), "");
  EXPECT_EQ(ResolveSerialDevice("LPT1", none), "");
  EXPECT_EQ(ResolveSerialDevice("", none), "");
}

TEST(SerialPortRecord, ConfigureResetsTheRecordButKeepsTiming) {
  SerialPort port;
  port.timing.read_timeout_ms = 5;
  port.bytes_written = 77;
  port.bytes_read = 9;
  const uint8_t junk[3] = {1, 2, 3};
  port.ring.Append(junk, 3);
  EXPECT_EQ(ConfigureSerialPort(port, "COM12", "19200 7 E 1.5"), 1);
  EXPECT_EQ(port.state, 1);
  EXPECT_EQ(port.device_path, "/dev/ttyS11");
  EXPECT_EQ(port.settings_text, "19200 7 E 1.5");
  EXPECT_EQ(port.line.baud, 19200u);
  EXPECT_EQ(port.bytes_written, 0u);
  EXPECT_EQ(port.bytes_read, 0u);
  EXPECT_TRUE(port.ring.Empty());
  EXPECT_EQ(port.timing.read_timeout_ms, 5);
  EXPECT_FALSE(port.device.IsOpen());
}

TEST(SerialPortRecord, OpeningAMissingDeviceFailsWithoutAMessage) {
  SerialPort port;
  std::ostringstream out;
  port.diagnostics = &out;
  ConfigureSerialPort(port, "COM77", "9600,8,N,1", {{"COM77", "/nonexistent/tty"}});
  EXPECT_EQ(OpenSerialPort(port), 0);
  EXPECT_EQ(out.str(), "");
  // Writing to or reading from a port that is not open gives nothing.
  uint8_t b[4] = {};
  EXPECT_EQ(WriteSerialPort(port, b, 4), 0);
  EXPECT_EQ(ReadSerialPort(port, b, 4), 0u);
}

TEST(SerialTimingValues, ProductionValues) {
  SerialTiming t;
  EXPECT_EQ(t.read_timeout_ms, 10000);
  EXPECT_EQ(t.reply_limit_ms, 10000);
  EXPECT_EQ(t.event_wait_ms, 1000);
  EXPECT_EQ(t.write_timeout_ms, 10000);
  EXPECT_EQ(t.piece_pause_ms, 20);
  EXPECT_EQ(t.whole_piece_limit, 128u);
  EXPECT_EQ(t.piece_size, 100u);
  EXPECT_EQ(kSerialReceiveBufferSize, 1100u);
}

std::vector<size_t> Pieces(size_t total) {
  SerialTiming t;
  std::vector<size_t> out;
  while (total > 0) {
    size_t p = NextSerialPiece(t, total);
    out.push_back(p);
    total -= p;
  }
  return out;
}

TEST(SerialTimingValues, PieceRule) {
  EXPECT_EQ(Pieces(128), (std::vector<size_t>{128}));
  EXPECT_EQ(Pieces(129), (std::vector<size_t>{100, 29}));
  EXPECT_EQ(Pieces(228), (std::vector<size_t>{100, 128}));
  EXPECT_EQ(Pieces(300), (std::vector<size_t>{100, 100, 100}));
  EXPECT_EQ(Pieces(10), (std::vector<size_t>{10}));
}

TEST(RxRingTest, HandsOutBytesInOrderAcrossTheWrap) {
  RxRing ring;
  std::vector<uint8_t> chunk(1500);
  uint8_t next = 0;
  int calls = 0;
  RxRing::Source source = [&](uint8_t* buf, size_t cap) {
    ++calls;
    for (size_t i = 0; i < chunk.size(); ++i) buf[i] = static_cast<uint8_t>(next + i);
    next = static_cast<uint8_t>(next + chunk.size());
    return chunk.size();
  };
  // Three refills of 1500 bytes pass the 2048 boundary twice.
  uint8_t expect = 0;
  for (int i = 0; i < 4500; ++i) {
    uint8_t b = 0;
    ASSERT_EQ(ring.NextByte(&b, source), 1);
    ASSERT_EQ(b, expect) << "byte " << i;
    ++expect;
  }
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(ring.Empty());
  EXPECT_NE(ring.write_index(), 0);
  EXPECT_LT(ring.write_index(), RxRing::kSize);
}

TEST(RxRingTest, EmptySourceGivesNothingAndFullRingNeverOverwrites) {
  RxRing ring;
  uint8_t b = 0;
  EXPECT_EQ(ring.NextByte(&b, [](uint8_t*, size_t) { return size_t{0}; }), 0);
  EXPECT_EQ(ring.NextByte(&b, nullptr), 0);

  std::vector<uint8_t> many(3000, 0x5A);
  many[0] = 0x11;
  EXPECT_EQ(ring.Append(many.data(), many.size()), RxRing::kSize - 1);
  EXPECT_EQ(ring.Count(), RxRing::kSize - 1);
  EXPECT_EQ(ring.NextByte(&b, nullptr), 1);
  EXPECT_EQ(b, 0x11);
  ring.Reset();
  EXPECT_TRUE(ring.Empty());
  EXPECT_EQ(ring.read_index(), 0);
}

}  // namespace
}  // namespace tarvo
