// Every command of the command set, through OpenLink / commands / CloseLink,
// against a simulated controller on each medium: the pseudo-terminal, TCP
// loopback and the GPRS gateway library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/wire.hpp"
#include "sim/command_codes.hpp"
#include "tests/e2e_commands/link_fixture.hpp"

namespace tarvo::e2e {
namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  // Includes 0xA5, 0xAA and 0xAE, which the stream framing must escape.
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 13 + (i >> 7));
  return v;
}

sim::SimFile File(const std::string& name, const std::string& type, size_t size, uint8_t seed) {
  sim::SimFile f;
  f.name = name;
  f.type = type;
  f.date = {26, 12, 7, 22, 15, 0};
  f.data = Pattern(size, seed);
  return f;
}

const TimeStamp kStamp{14, 3, 9, 12, 10, 5};

class Commands : public ::testing::TestWithParam<Via> {
 protected:
  void SetUp() override { ASSERT_TRUE(f_.Start(GetParam(), Options())); }
  virtual sim::SimulatorOptions Options() {
    sim::SimulatorOptions o;
    o.controller.disk_capacity = 256 * 1024;
    return o;
  }
  ConnectionManager& link() { return f_.link(); }
  template <class F>
  auto Model(F&& fn) {
    return f_.sim().WithModel(std::forward<F>(fn));
  }
  LinkFixture f_;
};

TEST_P(Commands, DirectoryFreeSpaceDeleteAndFormat) {
  Model([](sim::ControllerModel& m) {
    for (int i = 0; i < 5; ++i)
      m.disk(1).Store(File("PROG" + std::to_string(i), "PRG", 100 * (i + 1), 1));
    m.disk(0).Store(File("FONT", "HZK", 4000, 2));
    return 0;
  });
  ASSERT_EQ(f_.Open(), 1);
  // Paging: 4 entries, then from last index + 1 the fifth.
  std::vector<uint8_t> page(2 + 4 * 64);
  ASSERT_EQ(ListFiles(link(), 0, page.data(), page.size(), kUserDisk), 4);
  const uint16_t last = wire::GetLe16(page.data());
  EXPECT_EQ(last, 3);
  DirectoryEntry e;
  ASSERT_TRUE(DecodeDirectoryEntry(page.data() + 2 + 64, 64, &e));
  EXPECT_EQ(e.name, "PROG1");
  EXPECT_EQ(e.type, "PRG");
  EXPECT_EQ(e.size, 200u);
  EXPECT_EQ(e.year, 26);
  EXPECT_EQ(e.hour, 22);
  EXPECT_EQ(e.minute, 15);
  ASSERT_EQ(ListFiles(link(), last + 1, page.data(), page.size(), kUserDisk), 1);
  ASSERT_TRUE(DecodeDirectoryEntry(page.data() + 2, 64, &e));
  EXPECT_EQ(e.name, "PROG4");
  ASSERT_EQ(ListFiles(link(), 0, page.data(), page.size(), kSystemDisk), 1);

  EXPECT_EQ(GetFreeSpace(link(), kUserDisk), 256u * 1024 - 1500);
  EXPECT_EQ(GetFreeSpace(link(), kSystemDisk), 256u * 1024 - 4000);
  EXPECT_EQ(DeleteFile(link(), "PROG2.PRG"), 1);
  EXPECT_EQ(DeleteFile(link(), "PROG2.PRG"), 0);
  EXPECT_EQ(DeleteFile(link(), "S:FONT.HZK"), 1);
  EXPECT_EQ(GetFreeSpace(link(), kSystemDisk), 256u * 1024);
  EXPECT_EQ(FormatDisk(link(), kUserDisk), 1);
  EXPECT_EQ(ListFiles(link(), 0, page.data(), page.size(), kUserDisk), 0);
  f_.Close();
  EXPECT_EQ(link().controller_id(), 0);
}

TEST_P(Commands, ReadAFileBackInPieces) {
  const sim::SimFile font = File("FONT", "HZK", 3000, 0xA0);
  Model([&](sim::ControllerModel& m) { return m.disk(0).Store(font); });
  ASSERT_EQ(f_.Open(), 1);
  uint16_t index = 0xFFFF;
  const uint8_t handle = OpenFileForRead(link(), "S:FONT.HZK", "rb", &index);
  ASSERT_NE(handle, 255);
  uint8_t entry[64];
  ASSERT_NE(GetFileInfo(link(), entry, index, kSystemDisk), 0xFFFF);
  DirectoryEntry e;
  ASSERT_TRUE(DecodeDirectoryEntry(entry, sizeof entry, &e));
  ASSERT_EQ(e.size, 3000u);
  std::vector<uint8_t> got(e.size);
  for (size_t off = 0; off < got.size(); off += 512) {
    const uint16_t want = static_cast<uint16_t>(std::min<size_t>(512, got.size() - off));
    EXPECT_EQ(ReadFileData(link(), got.data() + off, want, handle), want);
  }
  EXPECT_EQ(got, font.data);
  EXPECT_EQ(CloseFile(link(), handle), 1);
  EXPECT_EQ(OpenFileForRead(link(), "S:NONE.HZK", "rb", &index), 255);

  // The largest read the controller answers, made only of bytes that the
  // stream framing escapes, still fits every medium.
  sim::SimFile escapes = File("ESC", "BIN", 2000, 0);
  std::fill(escapes.data.begin(), escapes.data.end(), 0xAA);
  Model([&](sim::ControllerModel& m) { return m.disk(1).Store(escapes); });
  const uint8_t h2 = OpenFileForRead(link(), "ESC.BIN", "rb", &index);
  ASSERT_NE(h2, 255);
  std::vector<uint8_t> big(2048, 0);
  ASSERT_EQ(ReadFileData(link(), big.data(), 2048, h2), sim::kMaxReadChunk);
  EXPECT_TRUE(std::all_of(big.begin(), big.begin() + sim::kMaxReadChunk,
                          [](uint8_t b) { return b == 0xAA; }));
  EXPECT_EQ(CloseFile(link(), h2), 1);
  EXPECT_EQ(GetFileInfo(link(), entry, 77, kSystemDisk), 0xFFFF);
  f_.Close();
}

TEST_P(Commands, StreamFileWithNotReadyAnswersAndSumCheck) {
  sim::FaultSettings faults;
  faults.not_ready_count = 2;
  f_.SetFaults(faults);
  const std::vector<uint8_t> data = Pattern(5000, 0xA5);
  ASSERT_EQ(f_.Open(), 1);
  int not_ready = 0;
  uint8_t r;
  while ((r = CreateStreamFile(link(), "S:BIG.BIN", "wb", kStamp, 5000, 0)) == 253) ++not_ready;
  EXPECT_EQ(not_ready, 2);
  ASSERT_EQ(r, 1);
  uint16_t sum = 0;
  for (size_t off = 0; off < data.size(); off += 512) {
    const uint16_t n = static_cast<uint16_t>(std::min<size_t>(512, data.size() - off));
    for (size_t i = 0; i < n; ++i) sum = static_cast<uint16_t>(sum + data[off + i]);
    ASSERT_NE(WriteStreamData(link(), data.data() + off, n, 0), 0);
  }
  EXPECT_EQ(FinishStreamFile(link(), sum, 0), 1);

  // A second file whose sum is wrong is refused with 255 and not kept.
  ASSERT_EQ(CreateStreamFile(link(), "BAD.BIN", "wb", kStamp, 10, 0), 1);
  ASSERT_NE(WriteStreamData(link(), data.data(), 10, 0), 0);
  EXPECT_EQ(FinishStreamFile(link(), 1, 0), 255);
  f_.Close();

  Model([&](sim::ControllerModel& m) {
    EXPECT_EQ(m.disk(0).files().size(), 1u);
    EXPECT_EQ(m.disk(0).files()[0].data, data);
    EXPECT_EQ(m.disk(0).files()[0].date.day, 5);
    EXPECT_TRUE(m.disk(1).files().empty());
    return 0;
  });
}

TEST_P(Commands, BlockFileRepairedFromMissingBlockAnswers) {
  sim::FaultSettings faults;
  faults.drop_blocks = {3, 17, 38};
  f_.SetFaults(faults);
  const uint16_t bs = 512;
  const std::vector<uint8_t> data = Pattern(40 * 512 + 100, 0xAA);
  const uint16_t blocks = static_cast<uint16_t>((data.size() + bs - 1) / bs);
  auto send_block = [&](uint16_t n, bool answer) {
    const size_t off = size_t(n) * bs;
    const uint16_t len = static_cast<uint16_t>(std::min<size_t>(bs, data.size() - off));
    return WriteFileBlock(link(), data.data() + off, len, n, bs, answer);
  };
  ASSERT_EQ(f_.Open(), 1);
  ASSERT_EQ(CreateBlockFile(link(), "APP.BIN", "wb", kStamp, uint32_t(data.size())), 1);
  EXPECT_EQ(send_block(0, true), 1);
  for (uint16_t n = 1; n < blocks; ++n) EXPECT_EQ(send_block(n, false), 0);
  uint8_t missing[72];
  uint16_t count = GetMissingBlocks(link(), blocks, missing, 4);
  ASSERT_EQ(count, 3);
  std::vector<uint16_t> numbers;
  for (uint16_t i = 0; i < count; ++i) numbers.push_back(wire::GetLe16(missing + 2 * i));
  EXPECT_EQ(numbers, (std::vector<uint16_t>{3, 17, 38}));
  for (uint16_t n : numbers) send_block(n, false);
  EXPECT_EQ(GetMissingBlocks(link(), blocks, missing, 4), 0);
  EXPECT_EQ(ResetController(link()), 1);
  f_.Close();
  Model([&](sim::ControllerModel& m) {
    EXPECT_EQ(m.disk(1).files().at(0).data, data);
    EXPECT_EQ(m.firmware().at(0).kind, 4);
    EXPECT_EQ(m.reset_count(), 1);
    return 0;
  });
}

TEST_P(Commands, IdentityVersionsBootFlashAndScreenConfig) {
  ASSERT_EQ(f_.Open(), 1);
  ControllerTypeInfo info;
  EXPECT_EQ(GetControllerType(link(), &info), 1);
  EXPECT_EQ(info.model, 0x32);
  EXPECT_STREQ(ControllerModelName(info.model), "Tarvo-E/D");
  VersionWords words{};
  EXPECT_EQ(GetVersions(link(), &words), 1);
  EXPECT_EQ(words, (VersionWords{0x0102, 0x2100, 0x0305, 0x0410, 0x0201, 0x0103, 0}));

  // A boot image of 300 bytes: four sectors erased, two pieces written.
  const std::vector<uint8_t> image = Pattern(300, 0xAE);
  for (uint32_t a : {0u, 4096u, 8192u, 12288u}) EXPECT_EQ(EraseBootSector(link(), a), 1);
  std::vector<uint8_t> piece(256, 0xFF);
  std::memcpy(piece.data(), image.data(), 256);
  EXPECT_EQ(WriteBootData(link(), piece.data(), 0, 256), 1);
  std::fill(piece.begin(), piece.end(), 0xFF);
  std::memcpy(piece.data(), image.data() + 256, 44);
  EXPECT_EQ(WriteBootData(link(), piece.data(), 256, 44), 1);
  EXPECT_EQ(WriteBootData(link(), piece.data(), 256, 44), 0) << "written twice";
  EXPECT_EQ(WriteBootData(link(), piece.data(), 20000, 10), 0) << "sector not erased";

  uint8_t record[16] = {};
  record[1] = 0x01 | 0x20;
  record[2] = 4;   // Extended ASCII
  record[12] = 0;  // slow
  EXPECT_EQ(SetScreenConfig(link(), record, sizeof record), 1);
  uint8_t answer[100] = {};
  const size_t n = ReadScreenConfig(link(), answer, sizeof answer, 0x01 | 0x20 | 0x40);
  ASSERT_EQ(n, 16u + 2u) << "the record and the checksum";
  EXPECT_EQ(answer[1], 0x61);
  EXPECT_EQ(answer[2], 4);
  EXPECT_EQ(answer[12], 0);
  EXPECT_EQ(answer[13], 0) << "refresh times: 2 s each";
  f_.Close();
  Model([&](sim::ControllerModel& m) {
    EXPECT_TRUE(std::equal(image.begin(), image.end(), m.boot_flash().contents().begin()));
    return 0;
  });
}

TEST_P(Commands, SilenceAndDelayedReplies) {
  sim::FaultSettings faults;
  faults.silent_commands = {sim::kGetFreeSpace, sim::kCreateBlockFile, sim::kGetMissingBlocks,
                            sim::kOpenFileForRead, sim::kGetFileInfo};
  f_.SetFaults(faults);
  ASSERT_EQ(f_.Open(), 1);
  EXPECT_EQ(GetFreeSpace(link(), kUserDisk), 0u);
  EXPECT_EQ(CreateBlockFile(link(), "A.BIN", "wb", kStamp, 10), 255);
  uint8_t missing[72];
  EXPECT_EQ(GetMissingBlocks(link(), 1, missing, 1), 0xFFFF);
  uint16_t index = 0;
  EXPECT_EQ(OpenFileForRead(link(), "A.BIN", "rb", &index), 255);
  uint8_t entry[64];
  EXPECT_EQ(GetFileInfo(link(), entry, 0, kUserDisk), 0xFFFF);
  // The link is still good for the next command.
  VersionWords words{};
  EXPECT_EQ(GetVersions(link(), &words), 1);

  // A slow first byte, well inside the wait.
  faults = sim::FaultSettings();
  faults.reply_delay_ms = 60;
  f_.SetFaults(faults);
  EXPECT_EQ(GetFreeSpace(link(), kUserDisk), 256u * 1024);
  f_.Close();
}

TEST_P(Commands, CorruptChecksumsAndWrongReplyCodes) {
  Model([](sim::ControllerModel& m) { return m.disk(1).Store(File("A", "TXT", 100, 1)); });
  sim::FaultSettings faults;
  faults.corrupt_checksums = true;
  f_.SetFaults(faults);
  ASSERT_EQ(f_.Open(), 1);
  // Checked commands refuse the reply; GetVersions and GetControllerType
  // still return the status byte but leave their outputs alone.
  EXPECT_EQ(ResetController(link()), 0);
  VersionWords words{};
  EXPECT_EQ(GetVersions(link(), &words), 1);
  EXPECT_EQ(words, VersionWords{});
  ControllerTypeInfo info;
  EXPECT_EQ(GetControllerType(link(), &info), 1);
  EXPECT_EQ(info.model, 0);
  uint16_t index = 0;
  const uint8_t h = OpenFileForRead(link(), "A.TXT", "rb", &index);  // not checked
  ASSERT_NE(h, 255);
  uint8_t buf[512];
  EXPECT_EQ(ReadFileData(link(), buf, 100, h), 0);
  uint8_t record[16] = {0, 0x20};
  EXPECT_EQ(SetScreenConfig(link(), record, sizeof record), 0);
  uint8_t answer[100];
  EXPECT_EQ(ReadScreenConfig(link(), answer, sizeof answer, 0x20), 0u);

  faults = sim::FaultSettings();
  faults.wrong_reply_command = sim::kResetController;
  f_.SetFaults(faults);
  EXPECT_EQ(ResetController(link()), 0);
  faults.wrong_reply_command = sim::kSetScreenConfig;
  f_.SetFaults(faults);
  EXPECT_EQ(SetScreenConfig(link(), record, sizeof record), 0);
  faults.wrong_reply_command = sim::kReadScreenConfig;
  f_.SetFaults(faults);
  EXPECT_EQ(ReadScreenConfig(link(), answer, sizeof answer, 0x20), 0u);
  faults.wrong_reply_command = sim::kGetFreeSpace;
  f_.SetFaults(faults);
  EXPECT_EQ(GetFreeSpace(link(), kUserDisk), 0u);
  f_.Close();
}

TEST_P(Commands, FilesBeyondTheCapacityAreRefused) {
  ASSERT_EQ(f_.Open(), 1);
  EXPECT_EQ(CreateBlockFile(link(), "HUGE.BIN", "wb", kStamp, 256 * 1024 + 1), 0);
  EXPECT_EQ(CreateStreamFile(link(), "S:HUGE.BIN", "wb", kStamp, 300 * 1024, 0), 0);
  EXPECT_EQ(CreateBlockFile(link(), "FULL.BIN", "wb", kStamp, 256 * 1024), 1) << "exactly fits";
  f_.Close();
}

INSTANTIATE_TEST_SUITE_P(AllMedia, Commands,
                         ::testing::Values(Via::kSerial, Via::kNetwork, Via::kGateway),
                         [](const ::testing::TestParamInfo<Via>& i) { return ViaName(i.param); });

}  // namespace
}  // namespace tarvo::e2e
