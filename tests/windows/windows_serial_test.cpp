// The Windows serial port on a real line: wine maps the COM port named by
// TARVO_TEST_COM (scripts/windows-tests.sh: COM6) to a pseudo-terminal whose
// far end (pty_echo.py) sends back every byte. Skipped without that port.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/clock.hpp"
#include "platform/process.hpp"
#include "platform/serial.hpp"

namespace {

using namespace tarvo::platform;

class WindowsSerialLine : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string port = EnvironmentVariable("TARVO_TEST_COM");
    if (port.empty()) GTEST_SKIP() << "TARVO_TEST_COM names no echoing COM port";
    path_ = NumberedSerialPortPath(std::atoi(port.c_str() + 3));
    ASSERT_EQ(device_.Open(path_), 1) << path_ << " error " << device_.LastError();
    ASSERT_EQ(device_.Configure(115200, 8, kParityNone, kStopBitsOne), 1);
    ASSERT_EQ(device_.Purge(), 1);
  }

  // Reads until `count` bytes came or `timeout_ms` passed.
  std::vector<uint8_t> ReadAtLeast(size_t count, int timeout_ms) {
    std::vector<uint8_t> out;
    const int64_t deadline = MonotonicMs() + timeout_ms;
    uint8_t buf[1100];
    while (out.size() < count && MonotonicMs() < deadline) {
      long n = device_.Read(buf, sizeof buf, static_cast<int>(deadline - MonotonicMs()));
      if (n < 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }

  std::string path_;
  SerialDevice device_;
};

TEST_F(WindowsSerialLine, SilenceIsBoundedAndWaitingBytesComeAtOnce) {
  uint8_t b[64];
  int64_t t0 = MonotonicMs();
  EXPECT_EQ(device_.Read(b, sizeof b, 300), 0);
  int64_t waited = MonotonicMs() - t0;
  EXPECT_GE(waited, 250);
  EXPECT_LT(waited, 3000);

  // A read returns with the first bytes that arrive, not when its buffer
  // is full or its bound has passed.
  const uint8_t hello[5] = {'h', 'e', 'l', 'l', 'o'};
  ASSERT_EQ(device_.Write(hello, sizeof hello, 1000), 5);
  t0 = MonotonicMs();
  std::vector<uint8_t> got = ReadAtLeast(5, 5000);
  EXPECT_LT(MonotonicMs() - t0, 2000);
  EXPECT_EQ(got, std::vector<uint8_t>(hello, hello + 5));

  // Nothing waiting and a zero bound: back at once with nothing.
  t0 = MonotonicMs();
  EXPECT_EQ(device_.Read(b, sizeof b, 0), 0);
  EXPECT_LT(MonotonicMs() - t0, 200);
}

TEST_F(WindowsSerialLine, EveryByteValueCrossesTheLineBothWays) {
  std::vector<uint8_t> all(3 * 256);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(device_.Write(all.data(), all.size(), 5000), static_cast<long>(all.size()));
  EXPECT_EQ(ReadAtLeast(all.size(), 5000), all);
}

// (The port is opened without sharing; wine does not enforce that on a
// serial device, so a second opener is not tested here.)
TEST_F(WindowsSerialLine, OtherLineSettingsAreTakenAndThePortOpensAgainAfterClose) {
  EXPECT_EQ(device_.Configure(9600, 7, kParityEven, kStopBitsTwo), 1);
  EXPECT_EQ(device_.Configure(2400, 8, kParityOdd, kStopBitsOne), 1);
  EXPECT_EQ(device_.Close(), 1);
  EXPECT_FALSE(device_.IsOpen());
  uint8_t b[4];
  EXPECT_EQ(device_.Read(b, sizeof b, 10), -1);
  SerialDevice again;
  EXPECT_EQ(again.Open(path_), 1);
  EXPECT_EQ(again.Close(), 1);
}

}  // namespace
