// libdcc.so loaded as the tool loads it, against an in-process gateway.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/clock.hpp"
#include "platform/dynlib.hpp"
#include "platform/process.hpp"
#include "sim/command_codes.hpp"
#include "sim/gateway_record.hpp"
#include "sim/simulator.hpp"
#include "tests/sim/test_requests.hpp"
#include "tool/codec/stream_framing.hpp"

namespace tarvo::sim {
namespace {

class DccLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lib_.Open(platform::ExecutableDir() + platform::SharedLibraryFileName("dcc")))
        << lib_.Error();
    init_ = reinterpret_cast<DccInitFn>(lib_.Symbol("dcc_init"));
    close_ = reinterpret_cast<DccCloseFn>(lib_.Symbol("dcc_close"));
    send_ = reinterpret_cast<DccSendFn>(lib_.Symbol("dcc_msg_send"));
    receive_ = reinterpret_cast<DccReceiveFn>(lib_.Symbol("dcc_msg_receive"));
    ASSERT_TRUE(init_ && close_ && send_ && receive_);
    SimulatorOptions o;
    o.gateway_port = 0;
    sim_ = std::make_unique<Simulator>(o);
    ASSERT_EQ(sim_->Start(), 1);
    setenv("TARVO_DCC_TIMEOUT_MS", "400", 1);
  }
  void TearDown() override { unsetenv("TARVO_DCC_TIMEOUT_MS"); }

  DccMessage Request(uint8_t command, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> p = test::MakeRequest(command, payload, 255);
    uint8_t frame[64];
    size_t n = EncodeStreamFrame(p.data(), p.size(), frame, sizeof frame);
    DccMessage m;
    MakeGatewayRecord("861234567890123", 0, frame, n, &m);
    return m;
  }

  platform::DynamicLibrary lib_;
  DccInitFn init_ = nullptr;
  DccCloseFn close_ = nullptr;
  DccSendFn send_ = nullptr;
  DccReceiveFn receive_ = nullptr;
  std::unique_ptr<Simulator> sim_;
};

TEST_F(DccLibrary, ExportsOnlyTheFourEntryPoints) {
  EXPECT_EQ(lib_.Symbol("_ZN5tarvo3sim23GatewayRecordDataLengthERKNS_10DccMessageE"), nullptr);
  EXPECT_EQ(lib_.Symbol("_ZN5tarvo8platform9TcpSocket5CloseEv"), nullptr);
}

TEST_F(DccLibrary, SendGetsAConfirmationThenTheReply) {
  const int h = init_(1, 0, "127.0.0.1", sim_->gateway_port(), 0);
  ASSERT_GT(h, 0);
  DccMessage req = Request(kGetFreeSpace, {1});
  EXPECT_GT(send_(h, &req), 0);
  DccMessage in{};
  ASSERT_GT(receive_(h, &in), 0);
  EXPECT_EQ(in.type, kDccTypeSendConfirm);
  ASSERT_GT(receive_(h, &in), 0);
  EXPECT_EQ(in.type, kDccTypeUserData);
  EXPECT_EQ(GatewayRecordDataLength(in), 14);
  EXPECT_EQ(in.data[4], kGetFreeSpace);

  // Nothing more is coming: the wait ends after the configured time.
  const int64_t t0 = platform::MonotonicMs();
  EXPECT_LE(receive_(h, &in), 0);
  EXPECT_LT(platform::MonotonicMs() - t0, 5000);
  EXPECT_GT(close_(h), 0);
}

TEST_F(DccLibrary, BadHandlesArgumentsAndRecordsFailWithoutHarm) {
  EXPECT_EQ(init_(1, 0, nullptr, sim_->gateway_port(), 0), 0);
  EXPECT_EQ(init_(1, 0, "not an address", sim_->gateway_port(), 0), 0);
  EXPECT_EQ(init_(1, 0, "127.0.0.1", 70000, 0), 0);
  DccMessage m = Request(kGetFreeSpace, {1});
  EXPECT_LT(send_(0, &m), 0);
  EXPECT_LT(send_(99, &m), 0);
  EXPECT_LT(receive_(-1, &m), 0);
  EXPECT_LT(close_(12345), 0);

  const int h = init_(1, 0, "127.0.0.1", sim_->gateway_port(), 0);
  ASSERT_GT(h, 0);
  EXPECT_LT(send_(h, nullptr), 0);
  EXPECT_LT(receive_(h, nullptr), 0);
  wire::PutLe16(m.length, 2000);
  EXPECT_LT(send_(h, &m), 0) << "a record claiming more data than it holds is not sent";
  EXPECT_GT(close_(h), 0);
  EXPECT_LT(close_(h), 0) << "closed twice";
  // Two connections at once get their own handles.
  const int a = init_(1, 0, "127.0.0.1", sim_->gateway_port(), 0);
  const int b = init_(1, 0, "127.0.0.1", sim_->gateway_port(), 0);
  EXPECT_GT(a, 0);
  EXPECT_GT(b, 0);
  EXPECT_NE(a, b);
  close_(a);
  close_(b);
  // A gateway that is not there.
  sim_->Stop();
  EXPECT_EQ(init_(1, 0, "127.0.0.1", 1, 0), 0);
}

}  // namespace
}  // namespace tarvo::sim
