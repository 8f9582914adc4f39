// Remote names and the disks kept in a host folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/command_codes.hpp"
#include "tests/sim/test_requests.hpp"

namespace tarvo::sim {
namespace {

namespace fs = std::filesystem;

TEST(RemoteNames, PrefixSelectsTheSystemDiskAndUnsafeNamesAreRefused) {
  RemoteName r;
  ASSERT_TRUE(ParseRemoteName("S:FONT.HZK", &r));
  EXPECT_EQ(r.disk, 0);
  EXPECT_EQ(r.name, "FONT");
  EXPECT_EQ(r.type, "HZK");
  ASSERT_TRUE(ParseRemoteName("Logo.bmp", &r));
  EXPECT_EQ(r.disk, 1);
  ASSERT_TRUE(ParseRemoteName("a.b.c", &r));
  EXPECT_EQ(r.name, "a.b");
  EXPECT_EQ(r.type, "c");
  ASSERT_TRUE(ParseRemoteName("README", &r));
  EXPECT_FALSE(r.has_dot);
  EXPECT_EQ(r.Joined(), "README");

  for (const char* bad :
       {"", "S:", ".", "..", "S:..", ".x", "a/b", "a\\b", "x:y.z", "a\nb.c", "S:../up.txt"}) {
    EXPECT_FALSE(ParseRemoteName(bad, &r)) << bad;
  }
  EXPECT_TRUE(ParseRemoteName(std::string(31, 'n') + "." + std::string(17, 't'), &r));
  EXPECT_FALSE(ParseRemoteName(std::string(32, 'n') + ".t", &r));
  EXPECT_FALSE(ParseRemoteName("n." + std::string(18, 't'), &r));
}

class DiskFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tarvo-sim-disk-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(DiskFolder, FilesOrderAndDatesSurviveARestart) {
  {
    ControllerModel m;
    ASSERT_EQ(m.AttachDiskFolder(dir_.string()), 1);
    m.disk(1).Store(test::MakeFile("ZETA", "PRG", 300, 1));
    m.disk(1).Store(test::MakeFile("ALPHA", "PRG", 20, 2));
    SimFile f = test::MakeFile("FONT", "HZK", 70, 3);
    f.date = {26, 12, 7, 8, 9, 10};
    m.disk(0).Store(f);
    m.disk(1).Store(test::MakeFile("ZETA", "PRG", 5, 4));  // replaced in place
  }
  ControllerModel again;
  ASSERT_EQ(again.AttachDiskFolder(dir_.string()), 1);
  ASSERT_EQ(again.disk(1).files().size(), 2u);
  EXPECT_EQ(again.disk(1).files()[0].Joined(), "ZETA.PRG");
  EXPECT_EQ(again.disk(1).files()[0].data, test::Bytes(5, 4));
  EXPECT_EQ(again.disk(1).files()[1].Joined(), "ALPHA.PRG");
  ASSERT_EQ(again.disk(0).files().size(), 1u);
  EXPECT_EQ(again.disk(0).files()[0].date.hour, 8);
  EXPECT_EQ(again.disk(0).files()[0].date.year, 26);
  EXPECT_EQ(again.disk(0).files()[0].data, test::Bytes(70, 3));
}

TEST_F(DiskFolder, DeleteAndFormatRemoveHostFilesAndStrayFilesAreAdopted) {
  ControllerModel m;
  ASSERT_EQ(m.AttachDiskFolder(dir_.string()), 1);
  m.disk(1).Store(test::MakeFile("A", "TXT", 10));
  m.disk(1).Store(test::MakeFile("B", "TXT", 10));
  EXPECT_TRUE(fs::exists(dir_ / "user" / "files" / "A.TXT"));
  RemoteName a;
  ParseRemoteName("A.TXT", &a);
  EXPECT_EQ(m.disk(1).Remove(a), 1);
  EXPECT_FALSE(fs::exists(dir_ / "user" / "files" / "A.TXT"));
  m.disk(1).Format();
  EXPECT_FALSE(fs::exists(dir_ / "user" / "files" / "B.TXT"));

  // A file copied into the folder by hand shows up after the directory's files.
  std::ofstream(dir_ / "system" / "files" / "HAND.CFG", std::ios::binary) << "abc";
  std::ofstream(dir_ / "system" / "files" / "..bad", std::ios::binary) << "x";
  ControllerModel again;
  ASSERT_EQ(again.AttachDiskFolder(dir_.string()), 1);
  ASSERT_EQ(again.disk(0).files().size(), 1u);
  EXPECT_EQ(again.disk(0).files()[0].Joined(), "HAND.CFG");
  EXPECT_EQ(again.disk(0).files()[0].data.size(), 3u);
  EXPECT_TRUE(again.disk(1).files().empty());
}

TEST_F(DiskFolder, AFolderThatCannotBeCreatedIsReported) {
  std::ofstream(dir_.string(), std::ios::binary) << "a file, not a folder";
  ControllerModel m;
  EXPECT_EQ(m.AttachDiskFolder(dir_.string()), 0);
  fs::remove(dir_);
}

}  // namespace
}  // namespace tarvo::sim
