// Which requests the controller answers, the shape of every reply, and the
// faults that tests switch on.
#include <gtest/gtest.h>

#include "sim/command_codes.hpp"
#include "tests/sim/test_requests.hpp"

namespace tarvo::sim {
namespace {

using test::Ask;
using test::ChecksumOk;
using test::Exchange;
using test::MakeRequest;

TEST(ControllerAddressing, AnswersItsOwnIdAndAnyIdWithTheRequestHeaderEchoed) {
  ControllerModel m;  // Controller ID 1
  // GetFreeSpace of the user disk to ID 1: 68 32 01 29 01 01 C6 00.
  const std::vector<uint8_t> req{0x68, 0x32, 0x01, 0x29, 0x01, 0x01, 0xC6, 0x00};
  std::vector<uint8_t> r = Exchange(m, req);
  ASSERT_EQ(r.size(), 12u);
  EXPECT_EQ(r[0], 0xE8);
  EXPECT_EQ(std::vector<uint8_t>(r.begin() + 1, r.begin() + 5),
            std::vector<uint8_t>(req.begin() + 1, req.begin() + 5));
  EXPECT_EQ(r[5], 1);
  EXPECT_EQ(wire::GetLe32(&r[6]), kDefaultDiskCapacity);
  EXPECT_TRUE(ChecksumOk(r));

  r = Exchange(m, MakeRequest(kGetFreeSpace, {1}, 255));
  ASSERT_FALSE(r.empty());
  EXPECT_EQ(r[2], 255);
  // The type byte is not a filter: GetControllerType must reach any model.
  std::vector<uint8_t> other_type = MakeRequest(kGetControllerType, {0});
  other_type[1] = 0x12;
  test::Reseal(other_type);
  EXPECT_FALSE(Exchange(m, other_type).empty());
}

TEST(ControllerAddressing, StaysSilentForOtherIdsAndDamagedOrUnknownRequests) {
  ControllerModel m;
  EXPECT_TRUE(Exchange(m, MakeRequest(kGetFreeSpace, {1}, 2)).empty());
  std::vector<uint8_t> bad_sum = MakeRequest(kGetFreeSpace, {1});
  bad_sum.back() ^= 0x01;
  EXPECT_TRUE(Exchange(m, bad_sum).empty());
  std::vector<uint8_t> reply_start = MakeRequest(kGetFreeSpace, {1});
  reply_start[0] = 0xE8;
  EXPECT_TRUE(Exchange(m, reply_start).empty());
  EXPECT_TRUE(Exchange(m, MakeRequest(0x99, {1})).empty());
  EXPECT_TRUE(Exchange(m, {0x68, 0x32, 0x01}).empty());
  // A request too short for its command's fields is not guessed at.
  EXPECT_TRUE(Exchange(m, MakeRequest(kGetFreeSpace, {})).empty());
  EXPECT_TRUE(Exchange(m, MakeRequest(kListFiles, {0, 0})).empty());
  EXPECT_TRUE(Exchange(m, MakeRequest(kWriteBootData, std::vector<uint8_t>(6 + 255))).empty());
  EXPECT_EQ(m.RequestCount(kGetFreeSpace), 0u);
}

TEST(ControllerFaults, SilenceCorruptionWrongCodeAndDelayApplyToChosenReplies) {
  ControllerModel m;
  FaultSettings f;
  f.silent_commands = {kResetController};
  m.SetFaults(f);
  Answer a = m.Handle(MakeRequest(kResetController, {0}).data(), 8);
  EXPECT_EQ(a.outcome, Outcome::kLost);
  EXPECT_EQ(m.reset_count(), 0) << "a lost request is not carried out";
  EXPECT_FALSE(Ask(m, kGetFreeSpace, {1}).empty());

  f = FaultSettings();
  f.corrupt_checksums = true;
  m.SetFaults(f);
  std::vector<uint8_t> r = Ask(m, kGetFreeSpace, {1});
  ASSERT_FALSE(r.empty());
  EXPECT_FALSE(ChecksumOk(r));

  f = FaultSettings();
  f.wrong_reply_command = kSetScreenConfig;
  f.reply_delay_ms = 40;
  m.SetFaults(f);
  std::vector<uint8_t> record(16, 0);
  record[1] = 0x20;
  const std::vector<uint8_t> req = MakeRequest(kSetScreenConfig, record);
  a = m.Handle(req.data(), req.size());
  ASSERT_EQ(a.outcome, Outcome::kReplied);
  EXPECT_EQ(a.reply[3], kSetScreenConfig + 1);
  EXPECT_TRUE(ChecksumOk(a.reply));
  EXPECT_EQ(a.delay_ms, 40);
  r = Ask(m, kGetFreeSpace, {1});
  EXPECT_EQ(r[3], kGetFreeSpace);
}

TEST(ControllerIdentity, ReportsModelCodeVersionsAndResets) {
  ControllerConfig c;
  c.versions = {0x0102, 0x2100, 0x0305, 0x0410, 0x0201, 0x0103, 0x0007};
  ControllerModel m(c);
  std::vector<uint8_t> r = Ask(m, kGetControllerType, {0});
  ASSERT_EQ(r.size(), 18u);
  EXPECT_EQ(r[5], 1);
  EXPECT_EQ(r[6], 0x32);

  r = Ask(m, kGetVersions, {0});
  ASSERT_EQ(r.size(), 36u);
  EXPECT_EQ(r[5], 1);
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(wire::GetLe32(&r[6 + 4 * i]), c.versions[i]) << i;

  r = Ask(m, kResetController, {0});
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[3], kResetController);
  EXPECT_EQ(r[5], 1);
  EXPECT_EQ(m.reset_count(), 1);
}

}  // namespace
}  // namespace tarvo::sim
