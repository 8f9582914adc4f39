// Commands over a live link to a scripted controller: pagination of the
// directory, unanswered blocks, waits, and that each command sends the
// request its builder makes.
#include <gtest/gtest.h>

#include <atomic>

#include "../tool_link/link_test_util.hpp"
#include "../tool_link/scripted_tcp_peer.hpp"
#include "tool/codec/command_requests.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/commands.hpp"

namespace tarvo {
namespace {

using test::ScriptedTcpPeer;

class CommandsOverTcp : public ::testing::Test {
 protected:
  void Open(ScriptedTcpPeer& peer) {
    link_.comm_type = 2;
    link_.settings.controller_address = 0x7F000001;
    link_.settings.controller_port = peer.port();
    link_.tcp.timing.pause_before_connect_ms = 0;
    link_.tcp.timing.pause_after_connect_ms = 0;
    link_.tcp.timing.receive_timeout_ms = 300;
    link_.command_timing.missing_blocks_file_wait_ms = 1;
    link_.command_timing.missing_blocks_firmware_wait_ms = 150;
    ASSERT_EQ(link_.OpenLink(kControllerTypeCode, 5), 1);
  }
  ConnectionManager link_;
  const RequestAddress kAny{0x32, 0xFF};
};

// A directory of `total` files, answered four per page.
Bytes DirectoryPage(uint16_t first, uint16_t total) {
  uint16_t count = first >= total ? 0 : std::min<uint16_t>(4, total - first);
  Bytes body = {0x01, static_cast<uint8_t>(count), 0, static_cast<uint8_t>(first + count - 1), 0};
  for (uint16_t i = 0; i < count; ++i) {
    DirectoryEntry e;
    e.name = "F" + std::to_string(first + i);
    e.type = "DAT";
    e.size = 100u + first + i;
    uint8_t rec[64];
    EncodeDirectoryEntry(e, rec);
    body.insert(body.end(), rec, rec + 64);
  }
  return test::Reply(0x28, body);
}

TEST_F(CommandsOverTcp, ListFilesPagesUntilAPageIsNotFull) {
  ScriptedTcpPeer peer([](const Bytes& p, const Bytes&) {
    uint16_t first = static_cast<uint16_t>(p[5] | (p[6] << 8));
    return std::vector<Bytes>{ScriptedTcpPeer::Segment(DirectoryPage(first, 7))};
  });
  Open(peer);
  std::vector<std::string> names;
  uint16_t first = 0;
  for (;;) {
    Bytes page(2 + 64 * 4, 0);
    uint16_t count = ListFiles(link_, first, page.data(), page.size(), kUserDisk);
    for (uint16_t i = 0; i < count && i < 4; ++i) {
      DirectoryEntry e;
      ASSERT_TRUE(DecodeDirectoryEntry(page.data() + 2 + 64 * i, 64, &e));
      names.push_back(e.name);
    }
    if (count != kListPageFull) break;
    first = static_cast<uint16_t>(page[0] | (page[1] << 8)) + 1;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"F0", "F1", "F2", "F3", "F4", "F5", "F6"}));
  auto requests = peer.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], BuildListFiles(kAny, 0, kUserDisk));
  EXPECT_EQ(requests[1], BuildListFiles(kAny, 4, kUserDisk));
}

TEST_F(CommandsOverTcp, UnansweredBlockDoesNotReadAndLeavesTheNextReplyAlone) {
  std::atomic<int> served{0};
  ScriptedTcpPeer peer([&](const Bytes& p, const Bytes&) {
    ++served;
    if (p[3] == 0x51 && p[4] == 0) return std::vector<Bytes>{};
    return std::vector<Bytes>{ScriptedTcpPeer::Segment(test::Reply(p[3], {0x01}))};
  });
  Open(peer);
  Bytes data(512, 0x3C);
  int64_t start = platform::MonotonicMs();
  EXPECT_EQ(WriteFileBlock(link_, data.data(), 512, 1, 512, false), 0);
  EXPECT_LT(platform::MonotonicMs() - start, 200);  // no receive wait
  EXPECT_EQ(WriteFileBlock(link_, data.data(), 512, 0, 512, true), 1);
  EXPECT_EQ(CloseFile(link_, 3), 1);
  auto requests = peer.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], BuildWriteFileBlock(kAny, data.data(), 512, 1, 512, false));
  EXPECT_EQ(requests[1], BuildWriteFileBlock(kAny, data.data(), 512, 0, 512, true));
}

TEST_F(CommandsOverTcp, OversizedArgumentsSendNothing) {
  ScriptedTcpPeer peer([](const Bytes& p, const Bytes&) {
    return std::vector<Bytes>{ScriptedTcpPeer::Segment(test::Reply(p[3], {0x01}))};
  });
  Open(peer);
  Bytes data(2049, 0);
  EXPECT_EQ(WriteStreamData(link_, data.data(), 2049, 0), 0);
  EXPECT_EQ(WriteFileBlock(link_, data.data(), 2049, 0, 0, true), 0);
  EXPECT_EQ(ReadFileData(link_, data.data(), 2049, 1), 0);
  EXPECT_EQ(SetScreenConfig(link_, data.data(), 294), 0);
  EXPECT_EQ(DeleteFile(link_, std::string(300, 'x')), 0);
  EXPECT_EQ(CreateStreamFile(link_, std::string(300, 'x'), "wb", TimeStamp{}, 1, 0), 255);
  EXPECT_EQ(FormatDisk(link_, kUserDisk), 1);  // the link still works
  EXPECT_EQ(peer.requests().size(), 1u);
}

TEST_F(CommandsOverTcp, MissingBlocksWaitsLongerForFirmware) {
  ScriptedTcpPeer peer([](const Bytes& p, const Bytes&) {
    Bytes body = {0x01, 0x07, 0x00};
    body.resize(73, 0);
    return std::vector<Bytes>{ScriptedTcpPeer::Segment(test::Reply(p[3], body))};
  });
  Open(peer);
  uint8_t missing[72];
  int64_t t0 = platform::MonotonicMs();
  EXPECT_EQ(GetMissingBlocks(link_, 20, missing, 1), 1);
  int64_t t1 = platform::MonotonicMs();
  EXPECT_EQ(GetMissingBlocks(link_, 20, missing, 3), 1);
  int64_t t2 = platform::MonotonicMs();
  EXPECT_EQ(missing[0], 7);
  EXPECT_GE(t2 - t1, 150);
  EXPECT_LT(t1 - t0, 150);
  auto requests = peer.requests();
  EXPECT_EQ(requests[1], BuildGetMissingBlocks(kAny, 20, 3));
}

TEST_F(CommandsOverTcp, ReadingAFileFromOpenToClose) {
  ScriptedTcpPeer peer([](const Bytes& p, const Bytes&) {
    Bytes reply;
    switch (p[3]) {
      case 0x35:
        reply = test::Reply(0x35, {0x02, 0x09, 0x00});
        break;
      case 0x37: {
        Bytes body = {0x00, 0x00};
        DirectoryEntry e;
        e.name = "A";
        e.type = "TXT";
        e.size = 5;
        uint8_t rec[64];
        EncodeDirectoryEntry(e, rec);
        body.insert(body.end(), rec, rec + 64);
        reply = test::Reply(0x37, body);
        break;
      }
      case 0x36:
        reply = test::Reply(0x36, {0x05, 0x00, 'h', 'e', 'l', 'l', 'o'});
        break;
      case 0x38:
        reply = test::Reply(0x38, {0x01});
        break;
      default:
        reply = test::Reply(0x00, {0x00});
    }
    return std::vector<Bytes>{ScriptedTcpPeer::Segment(reply)};
  });
  Open(peer);
  uint16_t index = 0;
  EXPECT_EQ(OpenFileForRead(link_, "S:A.TXT", "rb", &index), 2);
  EXPECT_EQ(index, 9);
  uint8_t entry[64];
  EXPECT_EQ(GetFileInfo(link_, entry, index, kSystemDisk), 0);
  DirectoryEntry e;
  ASSERT_TRUE(DecodeDirectoryEntry(entry, 64, &e));
  EXPECT_EQ(e.size, 5u);
  uint8_t data[512];
  EXPECT_EQ(ReadFileData(link_, data, 512, 2), 5);
  EXPECT_EQ(std::string(data, data + 5), "hello");
  EXPECT_EQ(CloseFile(link_, 2), 1);
  // A reply for another command is no reply.
  EXPECT_EQ(FormatDisk(link_, kUserDisk), 0);
  auto requests = peer.requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(requests[0], BuildOpenFileForRead(kAny, "S:A.TXT", "rb"));
  EXPECT_EQ(requests[1], BuildGetFileInfo(kAny, 9, kSystemDisk));
  EXPECT_EQ(requests[2], BuildReadFileData(kAny, 512, 2));
}

TEST_F(CommandsOverTcp, ControllerCommandsFillTheirOutputs) {
  ScriptedTcpPeer peer([](const Bytes& p, const Bytes&) {
    Bytes reply;
    switch (p[3]) {
      case 0x2E:
        reply = test::Reply(0x2E, {0x01, 0x32, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        break;
      case 0x4B: {
        Bytes body(29, 0);
        body[0] = 1;
        body[1] = 0x05;
        body[2] = 0x02;
        reply = test::Reply(0x4B, body);
        break;
      }
      case 0x72:
        reply = test::Reply(0x72, Bytes(17, 0x44));
        break;
      default:
        reply = test::Reply(p[3], {0x01});
    }
    return std::vector<Bytes>{ScriptedTcpPeer::Segment(reply)};
  });
  Open(peer);
  ControllerTypeInfo info;
  EXPECT_EQ(GetControllerType(link_, &info), 1);
  EXPECT_EQ(info.model, 0x32);
  VersionWords words{};
  EXPECT_EQ(GetVersions(link_, &words), 1);
  EXPECT_EQ(words[0], 0x0205u);
  uint8_t screen[64];
  EXPECT_EQ(ReadScreenConfig(link_, screen, sizeof screen, 0x0F), 19u);
  Bytes rec(16, 0x11);
  EXPECT_EQ(SetScreenConfig(link_, rec.data(), rec.size()), 1);
  EXPECT_EQ(EraseBootSector(link_, 0x1000), 1);
  Bytes boot(256, 0xFF);
  EXPECT_EQ(WriteBootData(link_, boot.data(), 0, 256), 1);
  EXPECT_EQ(CreateBlockFile(link_, "P.DAT", "wb", TimeStamp{}, 10), 1);
  EXPECT_EQ(CreateStreamFile(link_, "P.DAT", "wb", TimeStamp{}, 10, 0), 1);
  EXPECT_EQ(WriteStreamData(link_, boot.data(), 10, 0), 1);
  EXPECT_EQ(FinishStreamFile(link_, 0x1234, 0), 1);
  EXPECT_EQ(DeleteFile(link_, "P.DAT"), 1);
  auto requests = peer.requests();
  ASSERT_EQ(requests.size(), 11u);
  EXPECT_EQ(requests[3], BuildSetScreenConfig(kAny, rec.data(), rec.size()));
  EXPECT_EQ(requests[6],
            BuildCreateFile(kAny, ControllerCommand::kCreateBlockFile, "P.DAT", "wb", {}, 10));
  EXPECT_EQ(requests[9], BuildFinishStreamFile(kAny, 0x1234));
}

}  // namespace
}  // namespace tarvo
