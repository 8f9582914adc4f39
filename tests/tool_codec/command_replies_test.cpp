// Reply parsers: fields, no-reply values, the packet check where it applies
// and replies that lie about their length.
#include "tool/codec/command_replies.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tool/codec/packet.hpp"

namespace tarvo {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Reply(uint8_t command, const Bytes& from5) {
  Bytes p = {0xE8, 0x32, 0x01, command, 0x01};
  p.insert(p.end(), from5.begin(), from5.end());
  p.resize(p.size() + 2);
  AppendChecksum(p.data(), p.size() - 2);
  return p;
}

Bytes Corrupt(Bytes p) {
  p.back() ^= 0xFF;
  return p;
}

TEST(ResultByteReplies, ByteFiveOrTheNoReplyValue) {
  Bytes r = Reply(0x26, {0x01});
  EXPECT_EQ(ParseResultByte(r.data(), r.size(), ControllerCommand::kFormatDisk, 0), 1);
  // No reply, a reply for another command, a reply without byte 5.
  EXPECT_EQ(ParseResultByte(r.data(), 0, ControllerCommand::kCreateStreamFile, 255), 255);
  EXPECT_EQ(ParseResultByte(r.data(), r.size(), ControllerCommand::kCreateStreamFile, 255), 255);
  EXPECT_EQ(ParseResultByte(r.data(), 5, ControllerCommand::kFormatDisk, 0), 0);
  // These commands do not check the sum.
  Bytes c = Corrupt(Reply(0x30, {253}));
  EXPECT_EQ(ParseResultByte(c.data(), c.size(), ControllerCommand::kCreateStreamFile, 255), 253);
}

TEST(ResultByteReplies, CheckedCommandsNeedSumAndCommandByte) {
  Bytes r = Reply(0x2D, {0x01});
  EXPECT_EQ(ParseCheckedResultByte(r.data(), r.size(), ControllerCommand::kResetController), 1);
  Bytes c = Corrupt(r);
  EXPECT_EQ(ParseCheckedResultByte(c.data(), c.size(), ControllerCommand::kResetController), 0);
  Bytes o = Reply(0x2E, {0x01});
  EXPECT_EQ(ParseCheckedResultByte(o.data(), o.size(), ControllerCommand::kResetController), 0);
  Bytes s = Reply(0x71, {0x02});
  EXPECT_EQ(ParseCheckedResultByte(s.data(), s.size(), ControllerCommand::kSetScreenConfig), 2);
  // A request-start packet passes the check too.
  Bytes q = r;
  q[0] = 0x68;
  AppendChecksum(q.data(), q.size() - 2);
  EXPECT_EQ(ParseCheckedResultByte(q.data(), q.size(), ControllerCommand::kResetController), 1);
}

TEST(FreeSpaceReply, ValidityByteDecides) {
  Bytes r = Reply(0x29, {0x01, 0x00, 0x00, 0x10, 0x00});
  EXPECT_EQ(ParseGetFreeSpaceReply(r.data(), r.size()), 0x100000u);
  Bytes z = Reply(0x29, {0x00, 0x11, 0x22, 0x33, 0x44});
  EXPECT_EQ(ParseGetFreeSpaceReply(z.data(), z.size()), 0u);
  Bytes s = Reply(0x29, {0x01, 0x11});
  EXPECT_EQ(ParseGetFreeSpaceReply(s.data(), s.size() - 2), 0u);
}

TEST(ControllerTypeAndVersions, StatusAlwaysOutputsOnlyWhenTheCheckPasses) {
  Bytes t = Reply(0x2E, {0x01, 0x32, 0x07, 1, 0, 0, 0, 2, 0, 0, 0});
  ControllerTypeInfo info;
  EXPECT_EQ(ParseGetControllerTypeReply(t.data(), t.size(), &info), 1);
  EXPECT_EQ(info.model, 0x32);
  EXPECT_EQ(info.b, 7);
  EXPECT_EQ(info.c, 1u);
  EXPECT_EQ(info.d, 2u);
  ControllerTypeInfo untouched;
  untouched.model = 0x99;
  Bytes bad = Corrupt(t);
  EXPECT_EQ(ParseGetControllerTypeReply(bad.data(), bad.size(), &untouched), 1);
  EXPECT_EQ(untouched.model, 0x99);
  EXPECT_STREQ(ControllerModelName(0x32), "Tarvo-E/D");
  EXPECT_STREQ(ControllerModelName(0x12), "Tarvo-A");
  EXPECT_STREQ(ControllerModelName(0x13), "Unknown");

  Bytes words(29, 0);
  words[0] = 1;
  words[1] = 0x02;  // boot 1.2 -> 0x0102
  words[2] = 0x01;
  words[5] = 0x00;
  words[6] = 0x31;  // logic 3.1 in bits 12-15 / 8-11
  Bytes v = Reply(0x4B, words);
  VersionWords w{};
  EXPECT_EQ(ParseGetVersionsReply(v.data(), v.size(), &w), 1);
  EXPECT_EQ(w[0], 0x0102u);
  EXPECT_EQ(w[1], 0x3100u);
  VersionWords keep{};
  keep[0] = 5;
  Bytes vb = Corrupt(v);
  EXPECT_EQ(ParseGetVersionsReply(vb.data(), vb.size(), &keep), 1);
  EXPECT_EQ(keep[0], 5u);
  // A passing but short reply fills nothing.
  Bytes vs = Reply(0x4B, {0x01, 0x02});
  EXPECT_EQ(ParseGetVersionsReply(vs.data(), vs.size(), &keep), 1);
  EXPECT_EQ(keep[0], 5u);
}

TEST(ListFilesReply, CopiesPageAndRefusesPagesShorterThanAnnounced) {
  Bytes body = {0x00, 0x02, 0x00, 0x07, 0x00};  // result, count 2, last index 7
  DirectoryEntry e;
  e.name = "PROG";
  e.type = "DAT";
  e.size = 1234;
  uint8_t rec[64];
  EncodeDirectoryEntry(e, rec);
  body.insert(body.end(), rec, rec + 64);
  e.name = "LOGO";
  EncodeDirectoryEntry(e, rec);
  body.insert(body.end(), rec, rec + 64);
  Bytes r = Reply(0x28, body);
  Bytes dst(600, 0);
  ASSERT_EQ(ParseListFilesReply(r.data(), r.size(), dst.data(), dst.size()), 2);
  EXPECT_EQ(dst[0], 7);
  DirectoryEntry back;
  ASSERT_TRUE(DecodeDirectoryEntry(dst.data() + 2 + 64, 64, &back));
  EXPECT_EQ(back.name, "LOGO");
  EXPECT_EQ(back.type, "DAT");
  EXPECT_EQ(back.size, 1234u);
  // The destination is never written past.
  Bytes small(10, 0xEE);
  EXPECT_EQ(ParseListFilesReply(r.data(), r.size(), small.data(), 5), 2);
  EXPECT_EQ(small[5], 0xEE);
  // A count larger than the page that came.
  Bytes lie = r;
  lie[6] = 9;
  EXPECT_EQ(ParseListFilesReply(lie.data(), lie.size(), dst.data(), dst.size()), 0);
  // No destination at all: the count still comes back.
  EXPECT_EQ(ParseListFilesReply(r.data(), r.size(), nullptr, 0), 2);
  Bytes zero = Reply(0x28, {0x00, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(ParseListFilesReply(zero.data(), zero.size(), dst.data(), dst.size()), 0);
}

TEST(FileReadReplies, HandlesIndexesDataAndInfo) {
  Bytes o = Reply(0x35, {0x03, 0x34, 0x12});
  uint16_t index = 0;
  EXPECT_EQ(ParseOpenFileForReadReply(o.data(), o.size(), &index), 3);
  EXPECT_EQ(index, 0x1234);
  uint16_t keep = 9;
  EXPECT_EQ(ParseOpenFileForReadReply(o.data(), 6, &keep), 255);
  EXPECT_EQ(keep, 9);

  Bytes d = Reply(0x36, {0x03, 0x00, 'a', 'b', 'c'});
  uint8_t buf[8] = {};
  EXPECT_EQ(ParseReadFileDataReply(d.data(), d.size(), buf, 8), 3);
  EXPECT_EQ(std::string(buf, buf + 3), "abc");
  Bytes bad = Corrupt(d);
  EXPECT_EQ(ParseReadFileDataReply(bad.data(), bad.size(), buf, 8), 0);
  // More than wanted, or more than the reply carries.
  EXPECT_EQ(ParseReadFileDataReply(d.data(), d.size(), buf, 2), 0);
  Bytes lie = Reply(0x36, {0x40, 0x00, 'a'});
  EXPECT_EQ(ParseReadFileDataReply(lie.data(), lie.size(), buf, 8), 0);

  Bytes info = {0x01, 0x00};
  info.resize(2 + 64, 0);
  info[2] = 'X';
  Bytes gi = Reply(0x37, info);
  uint8_t entry[64] = {};
  EXPECT_EQ(ParseGetFileInfoReply(gi.data(), gi.size(), entry), 1);
  EXPECT_EQ(entry[0], 'X');
  Bytes none = Reply(0x37, {0xFF, 0xFF});
  EXPECT_EQ(ParseGetFileInfoReply(none.data(), none.size(), entry), 0xFFFF);
  Bytes cut = Reply(0x37, {0x01, 0x00, 'Y'});
  uint8_t untouched[64] = {};
  EXPECT_EQ(ParseGetFileInfoReply(cut.data(), cut.size(), untouched), 0xFFFF);
  EXPECT_EQ(untouched[0], 0);
}

TEST(MissingBlocksReply, CountAndNumbers) {
  Bytes body = {0x02, 0x05, 0x00, 0x09, 0x00};
  body.resize(1 + 72, 0);
  Bytes r = Reply(0x52, body);
  uint8_t dst[72];
  std::memset(dst, 0xEE, sizeof dst);
  EXPECT_EQ(ParseGetMissingBlocksReply(r.data(), r.size(), dst), 2);
  EXPECT_EQ(dst[0], 5);
  EXPECT_EQ(dst[2], 9);
  Bytes done = Reply(0x52, {0x00});
  EXPECT_EQ(ParseGetMissingBlocksReply(done.data(), done.size(), dst), 0);
  // Announces 3 missing blocks but lists only one.
  Bytes lie = Reply(0x52, {0x03, 0x05, 0x00});
  EXPECT_EQ(ParseGetMissingBlocksReply(lie.data(), lie.size() - 2, dst), 0xFFFF);
  EXPECT_EQ(ParseGetMissingBlocksReply(r.data(), 0, dst), 0xFFFF);
}

TEST(ScreenConfigReply, CopiesFromByteFiveWithTheSum) {
  Bytes rec(17, 0x21);
  Bytes r = Reply(0x72, rec);  // 24 bytes
  ASSERT_EQ(r.size(), 24u);
  uint8_t dst[64] = {};
  EXPECT_EQ(ParseReadScreenConfigReply(r.data(), r.size(), dst, sizeof dst), 19u);
  EXPECT_EQ(dst[18], r[23]);
  uint8_t small[8];
  EXPECT_EQ(ParseReadScreenConfigReply(r.data(), r.size(), small, sizeof small), 8u);
  EXPECT_EQ(ParseReadScreenConfigReply(r.data(), r.size(), nullptr, 0), 0u);
  Bytes bad = Corrupt(r);
  EXPECT_EQ(ParseReadScreenConfigReply(bad.data(), bad.size(), dst, sizeof dst), 0u);
  Bytes other = Reply(0x71, rec);
  EXPECT_EQ(ParseReadScreenConfigReply(other.data(), other.size(), dst, sizeof dst), 0u);
}

}  // namespace
}  // namespace tarvo
