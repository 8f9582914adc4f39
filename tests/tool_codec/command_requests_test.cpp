// Request packets of the command set, byte for byte.
#include "tool/codec/command_requests.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "tool/codec/packet.hpp"

namespace tarvo {
namespace {

const RequestAddress kId1{0x32, 0x01};

// Header bytes and a valid sum over everything before the last two bytes.
void ExpectWellFormed(const Bytes& p, uint8_t command, uint8_t flag = 1) {
  ASSERT_GE(p.size(), 7u);
  EXPECT_EQ(p[0], 0x68);
  EXPECT_EQ(p[1], 0x32);
  EXPECT_EQ(p[2], 0x01);
  EXPECT_EQ(p[3], command);
  EXPECT_EQ(p[4], flag);
  EXPECT_EQ(ByteSum16(p.data(), p.size() - 2), p[p.size() - 2] | (p[p.size() - 1] << 8));
}

TEST(CommandRequests, ExactSmallRequests) {
  EXPECT_EQ(BuildGetFreeSpace(kId1, kUserDisk),
            (Bytes{0x68, 0x32, 0x01, 0x29, 0x01, 0x01, 0xC6, 0x00}));
  EXPECT_EQ(BuildResetController(kId1), (Bytes{0x68, 0x32, 0x01, 0x2D, 0x01, 0x00, 0xC9, 0x00}));
  EXPECT_EQ(BuildResetController({0x32, 0xAA}),
            (Bytes{0x68, 0x32, 0xAA, 0x2D, 0x01, 0x00, 0x72, 0x01}));
}

TEST(CommandRequests, LengthsAndReservedBytes) {
  Bytes f = BuildFormatDisk(kId1, kSystemDisk);
  ASSERT_EQ(f.size(), 9u);
  ExpectWellFormed(f, 0x26);
  EXPECT_EQ(f[5], 0);
  EXPECT_EQ(f[6], 0);

  Bytes l = BuildListFiles(kId1, 0x0105, kUserDisk);
  ASSERT_EQ(l.size(), 11u);
  ExpectWellFormed(l, 0x28);
  EXPECT_EQ((Bytes{l[5], l[6], l[7], l[8]}), (Bytes{0x05, 0x01, 0x01, 0x00}));

  Bytes t = BuildGetControllerType(kId1);
  ASSERT_EQ(t.size(), 8u);
  ExpectWellFormed(t, 0x2E);
  Bytes v = BuildGetVersions(kId1);
  ASSERT_EQ(v.size(), 8u);
  ExpectWellFormed(v, 0x4B);

  Bytes s = BuildFinishStreamFile(kId1, 0xBEEF);
  ASSERT_EQ(s.size(), 10u);
  ExpectWellFormed(s, 0x33);
  EXPECT_EQ((Bytes{s[5], s[6], s[7]}), (Bytes{0xEF, 0xBE, 0x00}));

  Bytes e = BuildEraseBootSector(kId1, 0x3000);
  ASSERT_EQ(e.size(), 11u);
  ExpectWellFormed(e, 0x17);
  EXPECT_EQ((Bytes{e[5], e[6], e[7], e[8]}), (Bytes{0x00, 0x30, 0x00, 0x00}));

  Bytes r = BuildReadFileData(kId1, 512, 3);
  ASSERT_EQ(r.size(), 10u);
  ExpectWellFormed(r, 0x36);
  EXPECT_EQ((Bytes{r[5], r[6], r[7]}), (Bytes{0x00, 0x02, 0x03}));

  Bytes g = BuildGetFileInfo(kId1, 7, kSystemDisk);
  ASSERT_EQ(g.size(), 10u);
  ExpectWellFormed(g, 0x37);

  Bytes c = BuildCloseFile(kId1, 4);
  ASSERT_EQ(c.size(), 8u);
  ExpectWellFormed(c, 0x38);
  EXPECT_EQ(c[5], 4);

  Bytes rs = BuildReadScreenConfig(kId1, 0x0F);
  ASSERT_EQ(rs.size(), 9u);
  ExpectWellFormed(rs, 0x72);
  EXPECT_EQ((Bytes{rs[5], rs[6]}), (Bytes{0x00, 0x0F}));
}

TEST(CommandRequests, NamedFileRequests) {
  Bytes d = BuildDeleteFile(kId1, "S:FONT.BIN");
  ASSERT_EQ(d.size(), 10u + 8u);
  ExpectWellFormed(d, 0x2C);
  EXPECT_EQ(std::string(d.begin() + 5, d.begin() + 15), "S:FONT.BIN");
  EXPECT_EQ(d[15], 0);

  Bytes o = BuildOpenFileForRead(kId1, "A.TXT", "rb");
  ASSERT_EQ(o.size(), 5u + 11u);
  ExpectWellFormed(o, 0x35);
  EXPECT_EQ((Bytes{o[5], o[6], o[7]}), (Bytes{'r', 'b', 0}));
  EXPECT_EQ(std::string(o.begin() + 8, o.begin() + 13), "A.TXT");

  TimeStamp ts{14, 3, 9, 12, 10, 5};
  Bytes c =
      BuildCreateFile(kId1, ControllerCommand::kCreateStreamFile, "PROG.DAT", "wb", ts, 0x01020304);
  ASSERT_EQ(c.size(), 8u + 21u);
  ExpectWellFormed(c, 0x30);
  EXPECT_EQ(Bytes(c.begin() + 5, c.begin() + 18),
            (Bytes{'w', 'b', 14, 3, 9, 12, 10, 5, 0, 0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(std::string(c.begin() + 18, c.begin() + 26), "PROG.DAT");
  EXPECT_EQ(c[26], 0);
  Bytes b =
      BuildCreateFile(kId1, ControllerCommand::kCreateBlockFile, "PROG.DAT", "wb", ts, 0x01020304);
  EXPECT_EQ(b[3], 0x50);
  EXPECT_EQ(Bytes(b.begin() + 4, b.end() - 2), Bytes(c.begin() + 4, c.end() - 2));

  // Names that cannot be sent.
  EXPECT_TRUE(BuildDeleteFile(kId1, std::string(256, 'A')).empty());
  EXPECT_TRUE(BuildOpenFileForRead(kId1, std::string("A\0B", 3), "rb").empty());
  EXPECT_FALSE(BuildDeleteFile(kId1, std::string(255, 'A')).empty());
}

TEST(CommandRequests, DataRequestsAndTheirLimits) {
  std::vector<uint8_t> data(2048, 0x5A);
  Bytes w = BuildWriteStreamData(kId1, data.data(), 3);
  ASSERT_EQ(w.size(), 12u);
  ExpectWellFormed(w, 0x32);
  EXPECT_EQ((Bytes{w[5], w[6], w[7]}), (Bytes{3, 0, 0x5A}));
  EXPECT_EQ(BuildWriteStreamData(kId1, data.data(), 2048).size(), 2048u + 9u);
  EXPECT_TRUE(BuildWriteStreamData(kId1, data.data(), 2049).empty());

  Bytes b0 = BuildWriteFileBlock(kId1, data.data(), 10, 0, 1024, true);
  ASSERT_EQ(b0.size(), 23u);
  ExpectWellFormed(b0, 0x51, 1);
  EXPECT_EQ(Bytes(b0.begin() + 5, b0.begin() + 11), (Bytes{10, 0, 0, 0, 0x00, 0x04}));
  Bytes b1 = BuildWriteFileBlock(kId1, data.data(), 10, 0x0102, 1024, false);
  ExpectWellFormed(b1, 0x51, 0);
  EXPECT_EQ((Bytes{b1[7], b1[8]}), (Bytes{0x02, 0x01}));
  EXPECT_TRUE(BuildWriteFileBlock(kId1, data.data(), 2049, 0, 0, true).empty());

  Bytes m = BuildGetMissingBlocks(kId1, 300, 4);
  ASSERT_EQ(m.size(), 9u);
  ExpectWellFormed(m, 0x52, 4);
  EXPECT_EQ((Bytes{m[5], m[6]}), (Bytes{0x2C, 0x01}));

  Bytes boot(256, 0xFF);
  Bytes wb = BuildWriteBootData(kId1, boot.data(), 0x1100, 200);
  ASSERT_EQ(wb.size(), 269u);
  ExpectWellFormed(wb, 0x19);
  EXPECT_EQ(Bytes(wb.begin() + 5, wb.begin() + 11), (Bytes{0x00, 0x11, 0, 0, 200, 0}));

  Bytes rec(16, 0x21);
  Bytes sc = BuildSetScreenConfig(kId1, rec.data(), rec.size());
  ASSERT_EQ(sc.size(), 23u);
  ExpectWellFormed(sc, 0x71);
  Bytes big(294, 0);
  EXPECT_EQ(BuildSetScreenConfig(kId1, big.data(), 293).size(), 300u);
  EXPECT_TRUE(BuildSetScreenConfig(kId1, big.data(), 294).empty());
}

TEST(TimeStampBlock, YearRuleAndLayout) {
  platform::CalendarTime t;
  t.year = 2012;
  t.month = 10;
  t.day = 5;
  t.hour = 14;
  t.minute = 3;
  t.second = 9;
  TimeStamp s = MakeTimeStamp(t);
  uint8_t block[7];
  PutTimeStamp(block, s);
  EXPECT_EQ(Bytes(block, block + 7), (Bytes{14, 3, 9, 12, 10, 5, 0}));
  t.year = 2000;
  EXPECT_EQ(MakeTimeStamp(t).year, 100);
  t.year = 1999;
  EXPECT_EQ(MakeTimeStamp(t).year, 99);
  t.year = 2026;
  EXPECT_EQ(MakeTimeStamp(t).year, 26);
  TimeStamp none;
  EXPECT_FALSE(FileTimeStamp("/nonexistent/file", &none));
}

}  // namespace
}  // namespace tarvo
