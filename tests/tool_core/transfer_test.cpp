// The transfer workers on their own against a simulated controller that
// loses blocks, is not ready, answers with bad sums or stays silent, and
// through a relay server that stops forwarding to the card.
#include <gtest/gtest.h>

#include <mutex>
#include <sstream>

#include "fake_relay_library.hpp"
#include "sim_fixture.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/commands.hpp"
#include "tool/transfer_job.hpp"

namespace tarvo {
namespace {

constexpr uint8_t kWriteFileBlock = 0x51, kGetMissingBlocks = 0x52, kCreateStreamFile = 0x30,
                  kWriteStreamData = 0x32, kCreateBlockFile = 0x50, kResetController = 0x2D,
                  kFinishStreamFile = 0x33;

class TransferTest : public test::SimFixture {
 protected:
  // A job for `data` written to a file, taking the dialog's panel as it is.
  TransferJob Job(const std::vector<uint8_t>& data, OperationKind kind = OperationKind::kWriteFile,
                  int target = kTargetUserDisk) {
    std::string path = dir.Path("upload.dat");
    EXPECT_TRUE(test::WriteBytes(path, data));
    TransferJob job;
    job.report = [this](int code, int value) {
      std::lock_guard<std::mutex> lock(mutex);
      reports.push_back({code, value});
    };
    job.comm_type = app.link().comm_type;
    job.controller_id = 1;
    job.panel = dlg->members();
    job.panel.port_index = 0;
    job.baud_rate = 115200;
    job.local_path = path;
    job.kind = kind;
    job.target = target;
    return job;
  }
  TransferContext Context() {
    return TransferContext{app.link(), app.transfer_buffer(), test::FastTiming(), app.ports()};
  }
  // The last report's code; -1 when none came.
  int FinalCode() { return reports.empty() ? -1 : reports.back().first; }

  std::mutex mutex;
  std::vector<std::pair<int, int>> reports;
};

TEST_F(TransferTest, LostBlocksAreResentFromTheMissingList) {
  sim::FaultSettings f;
  f.drop_blocks = {3, 7, 100};
  simulator().SetFaults(f);
  std::vector<uint8_t> data = test::Pattern(200 * 512 + 17);
  TransferJob job = Job(data);
  TransferContext ctx = Context();
  EXPECT_EQ(BlockTransferThread(ctx, job), 1);
  EXPECT_EQ(job.result, "Successful!");
  EXPECT_EQ(FinalCode(), kReportFinished);
  EXPECT_EQ(StoredFile(kUserDisk, "upload.dat"), data);
  EXPECT_EQ(Count(kGetMissingBlocks), 2u);
  // The simulator counts the blocks that arrived: every one, once.
  EXPECT_EQ(Count(kWriteFileBlock), 201u);
  // Progress climbs to 95 over the blocks and ends at 100.
  int last = -1;
  for (auto [code, value] : reports) {
    if (code != kReportProgress) continue;
    EXPECT_LE(value, 100);
    last = value;
  }
  EXPECT_EQ(last, 100);
  EXPECT_EQ(app.link().type_code(), 0);
}

TEST_F(TransferTest, BlocksThatStayMissingFailAfterTenPasses) {
  sim::FaultSettings f;
  f.drop_blocks = {2};
  f.drop_repeats = true;
  simulator().SetFaults(f);
  TransferJob job = Job(test::Pattern(4000));
  TransferContext ctx = Context();
  EXPECT_EQ(BlockTransferThread(ctx, job), 0);
  EXPECT_EQ(job.result, "Failed!");
  EXPECT_EQ(FinalCode(), kReportFinished);
  EXPECT_EQ(Count(kGetMissingBlocks), 10u);
  // Block 2 never arrived, however often it was sent.
  EXPECT_EQ(Count(kWriteFileBlock), 7u);
  EXPECT_FALSE(HasFile(kUserDisk, "upload.dat"));
}

TEST_F(TransferTest, AControllerSilentForTwoRepairPassesEndsTheUpload) {
  // Every block arrives, but the missing-block queries go unanswered: the
  // third pass would only wait out the receive bound again.
  sim::FaultSettings silent;
  silent.silent_commands = {kGetMissingBlocks};
  simulator().SetFaults(silent);
  std::ostringstream packets;
  app.link().trace = &packets;
  TransferJob job = Job(test::Pattern(4000));
  TransferContext ctx = Context();
  EXPECT_EQ(BlockTransferThread(ctx, job), 0);
  EXPECT_EQ(job.result, "Failed!");
  EXPECT_EQ(FinalCode(), kReportFinished);
  auto queries_sent = [&packets] {
    std::istringstream lines(packets.str());
    int n = 0;
    for (std::string line; std::getline(lines, line);)
      n += line.rfind("TX", 0) == 0 && line.find(": 68 32 FF 52 ") != std::string::npos;
    return n;
  };
  EXPECT_EQ(queries_sent(), 2);
  // A list longer than one answer holds is an answer, not silence: all ten
  // passes run.
  sim::FaultSettings long_list;
  long_list.drop_repeats = true;
  for (uint16_t b = 1; b <= 40; ++b) long_list.drop_blocks.push_back(b);
  simulator().SetFaults(long_list);
  packets.str("");
  TransferJob many = Job(test::Pattern(50 * 512));
  EXPECT_EQ(BlockTransferThread(ctx, many), 0);
  EXPECT_EQ(many.result, "Failed!");
  EXPECT_EQ(queries_sent(), 10);
  app.link().trace = nullptr;
}

TEST_F(TransferTest, BlockZeroIsSentThreeTimesBeforeGivingUp) {
  // Its answers name another command, so none acknowledges it.
  sim::FaultSettings f;
  f.wrong_reply_command = kWriteFileBlock;
  simulator().SetFaults(f);
  TransferJob job = Job(test::Pattern(1500));
  TransferContext ctx = Context();
  EXPECT_EQ(BlockTransferThread(ctx, job), 0);
  EXPECT_EQ(job.result, "Failed!");
  EXPECT_EQ(FinalCode(), kReportFailedEarly);
  EXPECT_EQ(Count(kWriteFileBlock), 3u);
}

TEST_F(TransferTest, SilenceAndUnusableAnswersAreFailuresNeverSuccess) {
  // No answer to the create request: the link is reported as failed.
  sim::FaultSettings silent;
  silent.silent_commands = {kCreateBlockFile, kWriteStreamData};
  simulator().SetFaults(silent);
  TransferJob job = Job(test::Pattern(700));
  TransferContext ctx = Context();
  EXPECT_EQ(BlockTransferThread(ctx, job), 0);
  EXPECT_EQ(job.result, "Communication failed!");
  EXPECT_EQ(FinalCode(), kReportFailedEarly);
  // A stream whose pieces go unanswered stops at the first one.
  std::vector<uint8_t> big = test::Pattern(kBlockTransferLimit + 1);
  TransferJob stream = Job(big);
  EXPECT_EQ(StreamTransferThread(ctx, stream), 0);
  EXPECT_EQ(stream.result, "Communication failed!");
  EXPECT_EQ(Count(kCreateStreamFile), 1u);
  EXPECT_EQ(FinalCode(), kReportFailedEarly);
  // The closing sum is answered for another command: not a success, even
  // though every piece arrived.
  sim::FaultSettings wrong;
  wrong.wrong_reply_command = kFinishStreamFile;
  simulator().SetFaults(wrong);
  TransferJob unconfirmed = Job(big);
  EXPECT_EQ(StreamTransferThread(ctx, unconfirmed), 0);
  EXPECT_EQ(unconfirmed.result, "Communication failed!");
  // A name the controller refuses (too long for its directory) is "Failed!".
  simulator().SetFaults(sim::FaultSettings{});
  TransferJob refused = Job(test::Pattern(100));
  refused.local_path = dir.Path(std::string(40, 'n') + ".dat");
  ASSERT_TRUE(test::WriteBytes(refused.local_path, {1, 2, 3}));
  EXPECT_EQ(BlockTransferThread(ctx, refused), 0);
  EXPECT_EQ(refused.result, "Failed!");
  EXPECT_EQ(FinalCode(), kReportFailedEarly);
}

TEST_F(TransferTest, StreamWaitsOutNotReadyAnswersButNotForEver) {
  sim::FaultSettings f;
  f.not_ready_count = 3;
  simulator().SetFaults(f);
  std::vector<uint8_t> data = test::Pattern(kBlockTransferLimit + 1000);
  TransferJob job = Job(data, OperationKind::kApplication);
  TransferContext ctx = Context();
  EXPECT_EQ(StreamTransferThread(ctx, job), 1);
  EXPECT_EQ(job.result, "Successful!");
  EXPECT_EQ(Count(kCreateStreamFile), 4u);
  // The bar ends full once the controller confirmed the stream.
  ASSERT_GE(reports.size(), 2u);
  EXPECT_EQ(reports[reports.size() - 2], (std::pair<int, int>{kReportProgress, 100}));
  // A stream never resets the controller, whatever it carried.
  EXPECT_EQ(Count(kResetController), 0u);
  EXPECT_EQ(StoredFile(kUserDisk, "upload.dat"), data);

  f.not_ready_count = 1000;
  simulator().SetFaults(f);
  ctx.timing.not_ready_max_attempts = 5;
  TransferJob stuck = Job(data);
  EXPECT_EQ(StreamTransferThread(ctx, stuck), 0);
  EXPECT_EQ(stuck.result, "File create failed!");
  EXPECT_EQ(Count(kCreateStreamFile), 4u + 6u);
}

TEST_F(TransferTest, AStopRequestEndsEitherWorkerAtTheNextBlockOrPiece) {
  for (size_t size : {size_t{100 * 512}, kBlockTransferLimit + 512 * 100}) {
    std::atomic<bool> stop{false};
    TransferJob job = Job(test::Pattern(size));
    job.stop = &stop;
    int progress_reports = 0;
    job.report = [&](int code, int value) {
      reports.push_back({code, value});
      if (code == kReportProgress && ++progress_reports == 3) stop = true;
    };
    TransferContext ctx = Context();
    int done = size <= kBlockTransferLimit ? BlockTransferThread(ctx, job)
                                           : StreamTransferThread(ctx, job);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(job.result, "Transfer stopped! The file on the controller is incomplete.");
    EXPECT_EQ(FinalCode(), kReportFailedEarly);
    EXPECT_EQ(progress_reports, 3);
    EXPECT_EQ(app.link().type_code(), 0);  // link closed
    EXPECT_FALSE(HasFile(kUserDisk, "upload.dat"));
  }
  EXPECT_EQ(Count(kGetMissingBlocks), 0u);
  EXPECT_EQ(Count(kFinishStreamFile), 0u);
  EXPECT_EQ(Count(kWriteStreamData), 3u);
}

TEST_F(TransferTest, MissingLocalFileAndClosedLinkReportEarly) {
  TransferJob job = Job({1, 2, 3});
  job.local_path = dir.Path("absent");
  TransferContext ctx = Context();
  EXPECT_EQ(BlockTransferThread(ctx, job), 0);
  EXPECT_EQ(job.result, "File open failed!");
  EXPECT_EQ(FinalCode(), kReportFailedEarly);
  TransferJob off = Job({1, 2, 3});
  off.panel.ip_port = 1;
  reports.clear();
  EXPECT_EQ(StreamTransferThread(ctx, off), 0);
  EXPECT_EQ(off.result, "Communication failed!");
  EXPECT_EQ(FinalCode(), kReportFailedEarly);
  reports.clear();
  EXPECT_EQ(BlockTransferThread(ctx, off), 0);
  EXPECT_EQ(FinalCode(), kReportFinished);
}

TEST_F(TransferTest, UpgradeByBlocksAsksForARestartWhenTheResetIsNotConfirmed) {
  sim::FaultSettings f;
  f.silent_commands = {kResetController};
  simulator().SetFaults(f);
  TransferJob job = Job(test::Pattern(2000), OperationKind::kNetwork);
  TransferContext ctx = Context();
  EXPECT_EQ(BlockTransferThread(ctx, job), 1);
  EXPECT_EQ(job.result, "Please restart the controller!");
}

TEST(RelayTransfer, ACardGoneMidUploadEndsTheUploadAtTheFirstRefusedPacket) {
  test::Recorder rec;
  rec.answer_requests = true;
  rec.card_gone_at_send = 5;  // create, block 0, blocks 1 and 2 went; block 3 is refused
  test::g_rec = &rec;
  ConnectionManager link;
  link.relay = test::FakeRelayApi();
  std::vector<uint8_t> buffer(64 * 1024);
  TransferContext ctx{link, buffer, test::FastTiming(), {}};
  test::TempDir dir;
  TransferJob job;
  job.local_path = dir.Path("upload.dat");
  ASSERT_TRUE(test::WriteBytes(job.local_path, test::Pattern(20 * 512)));
  job.comm_type = static_cast<int>(CommType::kZvServer);
  job.panel.device_id = "100001";
  int final_code = -1;
  job.report = [&](int code, int) {
    if (code != kReportProgress) final_code = code;
  };
  EXPECT_EQ(BlockTransferThread(ctx, job), 0);
  test::g_rec = nullptr;
  EXPECT_EQ(job.result, "Communication failed!");
  EXPECT_EQ(final_code, kReportFailedEarly);
  EXPECT_EQ(link.problem.reason, "card 100001 went offline");
  // Nothing after the refused block: no further blocks, no missing-block
  // queries, no receive; the link is closed as usual.
  EXPECT_EQ(rec.Count("send"), 5u);
  EXPECT_EQ(rec.Count("recv"), 2u);  // the create and block 0 answers
  ASSERT_GE(rec.calls.size(), 2u);
  EXPECT_EQ(rec.calls[rec.calls.size() - 2], "unlock 100001");
  EXPECT_EQ(rec.calls.back(), "logout");
}

TEST(TransferNames, RemoteNamesAndListsFollowTheJob) {
  EXPECT_EQ(RemoteNameFor("C:\\data\\Logo.bmp", OperationKind::kWriteFile, kTargetSystemDisk),
            "S:Logo.bmp");
  EXPECT_EQ(RemoteNameFor("/home/u/Logo.bmp", OperationKind::kWriteFile, kTargetUserDisk),
            "Logo.bmp");
  EXPECT_EQ(RemoteNameFor("/fw/app.bin", OperationKind::kApplication, kTargetSystemDisk),
            "app.bin");
  EXPECT_EQ(PortName(0), "COM1");
  EXPECT_EQ(PortName(98), "COM99");
  EXPECT_EQ(BaudRate(4), 9600);
  EXPECT_EQ(BaudRate(7), 0);
}

TEST(TransferTiming, ProductionPacingIsChosenPerMedium) {
  TransferTiming t = ProductionTiming();
  EXPECT_EQ(BlockDelayFor(t, 1), 20);
  EXPECT_EQ(BlockDelayFor(t, 2), 20);
  EXPECT_EQ(BlockDelayFor(t, 3), 20);
  EXPECT_EQ(BlockDelayFor(t, 4), 26);
  EXPECT_EQ(BlockDelayFor(t, 5), 500);
  EXPECT_EQ(BlockDelayFor(t, 0), 20);
  EXPECT_EQ(QueryDelayFor(t, 1), 100);
  EXPECT_EQ(QueryDelayFor(t, 4), 100);
  EXPECT_EQ(QueryDelayFor(t, 5), 1000);
  EXPECT_EQ(t.finish_delay_ms, 100);
  EXPECT_EQ(t.not_ready_delay_ms, 500);
  CToolApp app;
  EXPECT_EQ(app.timing.block_delay_zv_gprs_ms, 500);
  EXPECT_EQ(app.transfer_buffer().size(), 16u * 1024u * 1024u);
  EXPECT_EQ(app.boot_buffer().size(), 1000000u);
}

class SerialTransferTest : public TransferTest {
 protected:
  void SetUp() override { StartWith(true, "Buadidx=4\n"); }
};

TEST_F(SerialTransferTest, NineThousandSixHundredBaudUsesSmallBlocksOverThePseudoTerminal) {
  ASSERT_EQ(app.link().comm_type, 1);
  std::vector<uint8_t> data = test::Pattern(1000);
  TransferJob job = Job(data);
  job.baud_rate = 9600;
  TransferContext ctx = Context();
  EXPECT_EQ(BlockTransferThread(ctx, job), 1);
  EXPECT_EQ(job.result, "Successful!");
  EXPECT_EQ(Count(kWriteFileBlock), 10u);  // 9 of 110 bytes and one of 10
  EXPECT_EQ(StoredFile(kUserDisk, "upload.dat"), data);
}

}  // namespace
}  // namespace tarvo
