// Stream files (sum at the end) and block files (the controller's record of
// received blocks and its missing-block answers).
#include <gtest/gtest.h>

#include "sim/command_codes.hpp"
#include "tests/sim/test_requests.hpp"

namespace tarvo::sim {
namespace {

using test::Ask;
using test::BlockPayload;
using test::Bytes;
using test::CreatePayload;
using test::Exchange;
using test::MakeRequest;

std::vector<uint8_t> StreamPiece(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> p;
  test::AppendLe16(p, static_cast<uint16_t>(data.size()));
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

std::vector<uint8_t> FinishPayload(uint16_t sum) {
  return {static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8), 0};
}

uint16_t Sum(const std::vector<uint8_t>& d) {
  uint16_t s = 0;
  for (uint8_t b : d) s = static_cast<uint16_t>(s + b);
  return s;
}

// The reply to GetMissingBlocks: count, then the listed numbers.
struct Missing {
  uint8_t count = 0;
  std::vector<uint16_t> numbers;
};
Missing AskMissing(ControllerModel& m, uint16_t total, uint8_t kind = 1) {
  std::vector<uint8_t> r = Ask(
      m, kGetMissingBlocks, {static_cast<uint8_t>(total), static_cast<uint8_t>(total >> 8)}, kind);
  Missing out;
  EXPECT_EQ(r.size(), 80u);
  if (r.size() != 80u) return out;
  out.count = r[5];
  for (size_t i = 0; i < std::min<size_t>(out.count, 36); ++i)
    out.numbers.push_back(wire::GetLe16(&r[6 + 2 * i]));
  return out;
}

// Sends a file as blocks: block 0 answered, the rest not.
void SendBlocks(ControllerModel& m, const std::vector<uint8_t>& data, uint16_t bs) {
  for (size_t off = 0, n = 0; off < data.size(); off += bs, ++n) {
    std::vector<uint8_t> block(data.begin() + off, data.begin() + std::min(data.size(), off + bs));
    const uint8_t flag = n == 0 ? 1 : 0;
    Answer a =
        m.Handle(MakeRequest(kWriteFileBlock, BlockPayload(uint16_t(n), bs, block), 1, flag).data(),
                 13 + block.size());
    if (flag) {
      EXPECT_EQ(a.outcome, Outcome::kReplied);
      EXPECT_EQ(a.reply[5], 1);
    } else {
      EXPECT_NE(a.outcome, Outcome::kReplied) << "unacknowledged blocks get no reply";
    }
  }
}

TEST(ControllerStreamFile, StoresTheFileWhenTheSumMatches) {
  ControllerModel m;
  const std::vector<uint8_t> data = Bytes(1500, 3);
  EXPECT_EQ(Ask(m, kCreateStreamFile, CreatePayload("S:BIG.BIN", 1500))[5], 1);
  for (size_t off = 0; off < data.size(); off += 512) {
    std::vector<uint8_t> piece(data.begin() + off, data.begin() + std::min(data.size(), off + 512));
    EXPECT_EQ(Ask(m, kWriteStreamData, StreamPiece(piece))[5], 1);
  }
  EXPECT_EQ(Ask(m, kFinishStreamFile, FinishPayload(Sum(data)))[5], 1);
  ASSERT_EQ(m.disk(0).files().size(), 1u);
  const SimFile& f = m.disk(0).files()[0];
  EXPECT_EQ(f.Joined(), "BIG.BIN");
  EXPECT_EQ(f.data, data);
  EXPECT_EQ(f.date.year, 12);
  EXPECT_EQ(f.date.hour, 14);
  EXPECT_EQ(f.date.second, 9);
}

TEST(ControllerStreamFile, SumMismatchShortDataAndOverrunAreRefused) {
  ControllerModel m;
  const std::vector<uint8_t> data = Bytes(100, 9);
  Ask(m, kCreateStreamFile, CreatePayload("A.BIN", 100));
  Ask(m, kWriteStreamData, StreamPiece(data));
  EXPECT_EQ(Ask(m, kFinishStreamFile, FinishPayload(Sum(data) + 1))[5], 255);
  EXPECT_TRUE(m.disk(1).files().empty()) << "a file with a wrong sum is not kept";

  Ask(m, kCreateStreamFile, CreatePayload("A.BIN", 100));
  Ask(m, kWriteStreamData, StreamPiece(std::vector<uint8_t>(data.begin(), data.begin() + 60)));
  EXPECT_EQ(Ask(m, kWriteStreamData, StreamPiece(data))[5], 0) << "more than announced";
  EXPECT_EQ(Ask(m, kFinishStreamFile, FinishPayload(Sum({data.begin(), data.begin() + 60})))[5], 2);
  EXPECT_TRUE(m.disk(1).files().empty());
  EXPECT_EQ(Ask(m, kFinishStreamFile, FinishPayload(0))[5], 2) << "nothing open";

  // A piece whose length field claims more than it carries.
  Ask(m, kCreateStreamFile, CreatePayload("A.BIN", 100));
  std::vector<uint8_t> lying = StreamPiece({1, 2, 3});
  lying[0] = 50;
  EXPECT_EQ(Ask(m, kWriteStreamData, lying)[5], 0);
}

TEST(ControllerStreamFile, NotReadyCountAndCapacityAndBadNames) {
  ControllerConfig c;
  c.disk_capacity = 1000;
  ControllerModel m(c);
  FaultSettings f;
  f.not_ready_count = 2;
  m.SetFaults(f);
  EXPECT_EQ(Ask(m, kCreateStreamFile, CreatePayload("A.BIN", 10))[5], 253);
  EXPECT_EQ(Ask(m, kCreateStreamFile, CreatePayload("A.BIN", 10))[5], 253);
  EXPECT_EQ(Ask(m, kCreateStreamFile, CreatePayload("A.BIN", 10))[5], 1);

  EXPECT_EQ(Ask(m, kCreateStreamFile, CreatePayload("B.BIN", 1001))[5], 0) << "beyond capacity";
  EXPECT_EQ(Ask(m, kCreateBlockFile, CreatePayload("B.BIN", 1001))[5], 0);
  m.disk(1).Store(test::MakeFile("OLD", "BIN", 900));
  EXPECT_EQ(Ask(m, kCreateStreamFile, CreatePayload("B.BIN", 200))[5], 0);
  EXPECT_EQ(Ask(m, kCreateStreamFile, CreatePayload("OLD.BIN", 1000))[5], 1) << "replaces OLD.BIN";

  EXPECT_EQ(Ask(m, kCreateStreamFile, CreatePayload("", 1))[5], 0);
  EXPECT_EQ(Ask(m, kCreateStreamFile, CreatePayload("a/b.bin", 1))[5], 0);
  EXPECT_EQ(Ask(m, kCreateStreamFile, CreatePayload(std::string(40, 'n') + ".bin", 1))[5], 0);
  std::vector<uint8_t> read_mode = CreatePayload("A.BIN", 1);
  read_mode[0] = 'r';
  EXPECT_EQ(Ask(m, kCreateStreamFile, read_mode)[5], 0);
}

TEST(ControllerBlockFile, RecordsBlocksAndStoresTheFileWhenNoneIsMissing) {
  ControllerModel m;
  const std::vector<uint8_t> data = Bytes(1000, 5);
  EXPECT_EQ(Ask(m, kCreateBlockFile, CreatePayload("PROG.PRG", 1000))[5], 1);
  Missing miss = AskMissing(m, 10);
  EXPECT_EQ(miss.count, 10);
  SendBlocks(m, data, 110);  // 9 of 110 bytes and one of 10
  EXPECT_EQ(AskMissing(m, 10).count, 0);
  ASSERT_EQ(m.disk(1).files().size(), 1u);
  EXPECT_EQ(m.disk(1).files()[0].data, data);
  EXPECT_EQ(AskMissing(m, 10).count, 0) << "asking again still says complete";
  EXPECT_TRUE(m.firmware().empty());
  // After a reset there is no block file: never "complete".
  Ask(m, kResetController, {0});
  EXPECT_EQ(AskMissing(m, 10).count, 255);
}

TEST(ControllerBlockFile, RefusesBlocksThatDoNotFitTheFile) {
  ControllerModel m;
  Ask(m, kCreateBlockFile, CreatePayload("P.PRG", 1000));
  auto block = [&](uint16_t n, uint16_t bs, size_t len) {
    return Ask(m, kWriteFileBlock, BlockPayload(n, bs, Bytes(len, 1)))[5];
  };
  EXPECT_EQ(block(0, 512, 512), 1);
  EXPECT_EQ(block(1, 256, 256), 0) << "the block size changed";
  EXPECT_EQ(block(1, 512, 100), 0) << "the last block must end the file";
  EXPECT_EQ(block(2, 512, 512), 0) << "beyond the file";
  EXPECT_EQ(block(0, 512, 600), 0) << "longer than the block size";
  std::vector<uint8_t> lying = BlockPayload(1, 512, Bytes(10, 1));
  lying[0] = 0xE8;
  lying[1] = 0x01;
  EXPECT_EQ(Ask(m, kWriteFileBlock, lying)[5], 0) << "length field beyond the data";
  EXPECT_EQ(block(1, 512, 488), 1);
  EXPECT_EQ(AskMissing(m, 2).count, 0);
}

TEST(ControllerBlockFile, MissingAnswersListAtMost36NumbersAndNeverWrapTheCount) {
  ControllerConfig c;
  c.disk_capacity = 1 << 20;
  ControllerModel m(c);
  Ask(m, kCreateBlockFile, CreatePayload("P.PRG", 100 * 40));
  Ask(m, kWriteFileBlock, BlockPayload(0, 100, Bytes(100, 1)));
  Ask(m, kWriteFileBlock, BlockPayload(5, 100, Bytes(100, 1)));
  Missing miss = AskMissing(m, 40);
  EXPECT_EQ(miss.count, 38);
  ASSERT_EQ(miss.numbers.size(), 36u);
  EXPECT_EQ(miss.numbers[0], 1);
  EXPECT_EQ(miss.numbers[4], 6);
  EXPECT_EQ(miss.numbers[35], 37);

  // 300 blocks missing: a count byte must not wrap to "complete" (300 & 0xFF = 44).
  Ask(m, kCreateBlockFile, CreatePayload("Q.PRG", 10 * 301));
  Ask(m, kWriteFileBlock, BlockPayload(0, 10, Bytes(10, 1)));
  EXPECT_EQ(AskMissing(m, 301).count, 255);
  // 256 missing would wrap to 0.
  Ask(m, kCreateBlockFile, CreatePayload("R.PRG", 10 * 257));
  Ask(m, kWriteFileBlock, BlockPayload(0, 10, Bytes(10, 1)));
  EXPECT_EQ(AskMissing(m, 257).count, 255);
  EXPECT_TRUE(m.disk(1).files().empty());
}

TEST(ControllerBlockFile, LostBlocksAreRepairedAndFirmwareKindsRecorded) {
  ControllerModel m;
  FaultSettings f;
  f.drop_blocks = {2, 4};
  m.SetFaults(f);
  const std::vector<uint8_t> data = Bytes(512 * 6, 8);
  Ask(m, kCreateBlockFile, CreatePayload("APP.BIN", uint32_t(data.size())));
  SendBlocks(m, data, 512);
  Missing miss = AskMissing(m, 6, 4);
  EXPECT_EQ(miss.count, 2);
  EXPECT_EQ(miss.numbers, (std::vector<uint16_t>{2, 4}));
  // Resent, the listed blocks get through (lost on their first arrival only).
  for (uint16_t n : miss.numbers) {
    std::vector<uint8_t> b(data.begin() + n * 512, data.begin() + (n + 1) * 512);
    m.Handle(MakeRequest(kWriteFileBlock, BlockPayload(n, 512, b), 1, 0).data(), 13 + 512);
  }
  EXPECT_EQ(AskMissing(m, 6, 4).count, 0);
  ASSERT_EQ(m.firmware().size(), 1u);
  EXPECT_EQ(m.firmware()[0].kind, 4);
  EXPECT_EQ(m.firmware()[0].file, "APP.BIN");

  // With drop_repeats a listed block never arrives.
  f.drop_repeats = true;
  m.SetFaults(f);
  Ask(m, kCreateBlockFile, CreatePayload("X.BIN", uint32_t(data.size())));
  SendBlocks(m, data, 512);
  std::vector<uint8_t> b(data.begin() + 1024, data.begin() + 1536);
  m.Handle(MakeRequest(kWriteFileBlock, BlockPayload(2, 512, b), 1, 0).data(), 13 + 512);
  EXPECT_EQ(AskMissing(m, 6).count, 2);
}

TEST(ControllerBlockFile, DropFractionIsRepeatableForOneSeed) {
  auto lost_blocks = [](uint32_t seed) {
    ControllerModel m;
    FaultSettings f;
    f.drop_fraction = 0.3;
    f.drop_seed = seed;
    m.SetFaults(f);
    Ask(m, kCreateBlockFile, CreatePayload("D.BIN", 64 * 30));
    SendBlocks(m, Bytes(64 * 30, 1), 64);
    return AskMissing(m, 30).numbers;
  };
  std::vector<uint16_t> a = lost_blocks(7);
  EXPECT_EQ(a, lost_blocks(7));
  EXPECT_GT(a.size(), 2u);
  EXPECT_LT(a.size(), 20u);
  EXPECT_NE(a, lost_blocks(8));
}

}  // namespace
}  // namespace tarvo::sim
