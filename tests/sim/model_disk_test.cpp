// Directory pages, free space, delete, format and reading files.
#include <gtest/gtest.h>

#include "sim/command_codes.hpp"
#include "tests/sim/test_requests.hpp"

namespace tarvo::sim {
namespace {

using test::AppendText;
using test::Ask;
using test::MakeFile;

std::vector<uint8_t> ListPayload(uint16_t first, uint8_t disk) {
  return {static_cast<uint8_t>(first), static_cast<uint8_t>(first >> 8), disk, 0};
}

std::vector<uint8_t> NamePayload(const std::string& name) {
  std::vector<uint8_t> p;
  AppendText(p, name);
  return p;
}

std::vector<uint8_t> OpenPayload(const std::string& name) {
  std::vector<uint8_t> p{'r', 'b', 0};
  AppendText(p, name);
  return p;
}

TEST(ControllerDirectory, PagesHoldFourEntriesAndNameTheLastIndex) {
  ControllerModel m;
  for (int i = 0; i < 9; ++i) {
    ASSERT_EQ(m.disk(1).Store(MakeFile("F" + std::to_string(i), "PRG", 100 + i)), 1);
  }
  std::vector<std::string> seen;
  uint16_t first = 0;
  std::vector<uint16_t> counts;
  for (;;) {
    std::vector<uint8_t> r = Ask(m, kListFiles, ListPayload(first, 1));
    ASSERT_GE(r.size(), 12u);
    const uint16_t count = wire::GetLe16(&r[6]);
    const uint16_t last = wire::GetLe16(&r[8]);
    counts.push_back(count);
    ASSERT_EQ(r.size(), 10u + 64u * count + 2u);
    for (uint16_t i = 0; i < count; ++i) seen.push_back(wire::FixedText(&r[10 + 64 * i], 32));
    if (count < 4) break;
    EXPECT_EQ(last, first + 3);
    first = static_cast<uint16_t>(last + 1);
  }
  EXPECT_EQ(counts, (std::vector<uint16_t>{4, 4, 1}));
  ASSERT_EQ(seen.size(), 9u);
  EXPECT_EQ(seen[8], "F8");

  // Exactly four files: the second page is empty.
  ControllerModel four;
  for (int i = 0; i < 4; ++i) four.disk(0).Store(MakeFile("S" + std::to_string(i), "FNT", 10));
  EXPECT_EQ(wire::GetLe16(&Ask(four, kListFiles, ListPayload(0, 0))[6]), 4);
  EXPECT_EQ(wire::GetLe16(&Ask(four, kListFiles, ListPayload(4, 0))[6]), 0);
  EXPECT_EQ(wire::GetLe16(&Ask(four, kListFiles, ListPayload(0, 1))[6]), 0);
  // A disk that does not exist answers an empty, failed page.
  std::vector<uint8_t> r = Ask(four, kListFiles, ListPayload(0, 7));
  EXPECT_EQ(r[5], 0);
  EXPECT_EQ(wire::GetLe16(&r[6]), 0);
}

TEST(ControllerDirectory, EntryCarriesNameTypeDateAndSize) {
  ControllerModel m;
  SimFile f = MakeFile("LOGO", "BMP", 1234);
  f.date = {26, 12, 7, 21, 45, 30};
  m.disk(1).Store(f);
  std::vector<uint8_t> r = Ask(m, kListFiles, ListPayload(0, 1));
  const uint8_t* e = &r[10];
  EXPECT_EQ(wire::FixedText(e, 32), "LOGO");
  EXPECT_EQ(wire::FixedText(e + 32, 18), "BMP");
  EXPECT_EQ(e[51], 45);  // minute
  EXPECT_EQ(e[52], 21);  // hour
  EXPECT_EQ(e[54], 7);   // day
  EXPECT_EQ(e[55], 12);  // month
  EXPECT_EQ(e[56], 26);  // year
  EXPECT_EQ(wire::GetLe32(e + 60), 1234u);
}

TEST(ControllerDisks, FreeSpaceDeleteAndFormatKeepTheDisksApart) {
  ControllerConfig c;
  c.disk_capacity = 10000;
  ControllerModel m(c);
  m.disk(1).Store(MakeFile("A", "TXT", 3000));
  m.disk(0).Store(MakeFile("A", "TXT", 1000));
  EXPECT_EQ(wire::GetLe32(&Ask(m, kGetFreeSpace, {1})[6]), 7000u);
  EXPECT_EQ(wire::GetLe32(&Ask(m, kGetFreeSpace, {0})[6]), 9000u);
  EXPECT_EQ(Ask(m, kGetFreeSpace, {2})[5], 0);

  EXPECT_EQ(Ask(m, kDeleteFile, NamePayload("S:A.TXT"))[5], 1);
  EXPECT_EQ(m.disk(0).files().size(), 0u);
  EXPECT_EQ(m.disk(1).files().size(), 1u);
  EXPECT_EQ(Ask(m, kDeleteFile, NamePayload("S:A.TXT"))[5], 0) << "already gone";
  EXPECT_EQ(Ask(m, kDeleteFile, NamePayload("a.txt"))[5], 0) << "names match exactly";
  EXPECT_EQ(Ask(m, kDeleteFile, NamePayload("../A.TXT"))[5], 0);
  // A name without its terminating zero is a request cut short: no answer.
  EXPECT_TRUE(Ask(m, kDeleteFile, {'A', '.', 'T'}).empty());

  m.disk(0).Store(MakeFile("FONT", "HZK", 10));
  EXPECT_EQ(Ask(m, kFormatDisk, {1, 0})[5], 1);
  EXPECT_EQ(m.disk(1).files().size(), 0u);
  EXPECT_EQ(m.disk(0).files().size(), 1u);
  EXPECT_EQ(wire::GetLe32(&Ask(m, kGetFreeSpace, {1})[6]), 10000u);
  EXPECT_EQ(Ask(m, kFormatDisk, {9, 0})[5], 0);
}

TEST(ControllerFileRead, OpenInfoReadInPiecesAndClose) {
  ControllerModel m;
  m.disk(1).Store(MakeFile("OTHER", "X", 5));
  SimFile f = MakeFile("FONT", "HZK", 1300, 7);
  m.disk(0).Store(f);
  std::vector<uint8_t> r = Ask(m, kOpenFileForRead, OpenPayload("S:FONT.HZK"));
  ASSERT_EQ(r.size(), 10u);
  const uint8_t handle = r[5];
  const uint16_t index = wire::GetLe16(&r[6]);
  EXPECT_NE(handle, 255);
  EXPECT_EQ(index, 0);

  r = Ask(m, kGetFileInfo, {static_cast<uint8_t>(index), 0, 0});
  ASSERT_EQ(r.size(), 73u);
  EXPECT_EQ(wire::GetLe16(&r[5]), index);
  EXPECT_EQ(wire::GetLe32(&r[7 + 60]), 1300u);
  EXPECT_EQ(wire::GetLe16(&Ask(m, kGetFileInfo, {5, 0, 0})[5]), 0xFFFF);

  // Deleting the file while it is open does not disturb the reader.
  Ask(m, kDeleteFile, NamePayload("S:FONT.HZK"));
  std::vector<uint8_t> got;
  for (;;) {
    r = Ask(m, kReadFileData, {0x00, 0x02, handle});  // 512 wanted
    ASSERT_GE(r.size(), 9u);
    const uint16_t n = wire::GetLe16(&r[5]);
    ASSERT_EQ(r.size(), 9u + n);
    if (n == 0) break;
    EXPECT_LE(n, 512);
    got.insert(got.end(), r.begin() + 7, r.begin() + 7 + n);
  }
  EXPECT_EQ(got, f.data);
  EXPECT_EQ(Ask(m, kCloseFile, {handle})[5], 1);
  EXPECT_EQ(Ask(m, kCloseFile, {handle})[5], 0);
  EXPECT_EQ(wire::GetLe16(&Ask(m, kReadFileData, {0x00, 0x02, handle})[5]), 0);
}

TEST(ControllerFileRead, RefusesMissingFilesWrongModesAndTooManyOpenFiles) {
  ControllerModel m;
  m.disk(1).Store(MakeFile("BIG", "DAT", 5000));
  EXPECT_EQ(Ask(m, kOpenFileForRead, OpenPayload("NONE.DAT"))[5], 255);
  EXPECT_EQ(Ask(m, kOpenFileForRead, OpenPayload("S:BIG.DAT"))[5], 255) << "wrong disk";
  std::vector<uint8_t> wrong_mode = OpenPayload("BIG.DAT");
  wrong_mode[0] = 'w';
  EXPECT_EQ(Ask(m, kOpenFileForRead, wrong_mode)[5], 255);

  std::vector<uint8_t> handles;
  for (size_t i = 0; i < kMaxOpenFiles; ++i) {
    uint8_t h = Ask(m, kOpenFileForRead, OpenPayload("BIG.DAT"))[5];
    ASSERT_NE(h, 255);
    handles.push_back(h);
  }
  EXPECT_EQ(Ask(m, kOpenFileForRead, OpenPayload("BIG.DAT"))[5], 255);
  // One read never returns more than fits every medium, whatever is asked.
  std::vector<uint8_t> r = Ask(m, kReadFileData, {0x00, 0x08, handles[0]});
  EXPECT_EQ(wire::GetLe16(&r[5]), kMaxReadChunk);
  // A reset closes every file.
  Ask(m, kResetController, {0});
  EXPECT_EQ(m.open_file_count(), 0u);
  EXPECT_NE(Ask(m, kOpenFileForRead, OpenPayload("BIG.DAT"))[5], 255);
}

}  // namespace
}  // namespace tarvo::sim
