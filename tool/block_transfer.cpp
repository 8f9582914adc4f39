// Files of at most 1 MiB (and firmware images of that size) go to the
// controller as numbered blocks. Only block 0 is acknowledged; the rest are
// sent without waiting and the controller's list of missing blocks drives up
// to nine resend passes, which keeps slow media from paying a round trip per
// block. A controller that answers none of two queries in a row, or a link
// its medium has given up on, ends the upload at once.
#include <algorithm>

#include "common/wire.hpp"
#include "platform/clock.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/tool_texts.hpp"
#include "tool/transfer_start.hpp"

namespace tarvo {
namespace {

constexpr size_t kBlockSize = 512;
// At 9600 baud the serial line takes smaller blocks.
constexpr size_t kSlowSerialBlockSize = 110;
constexpr int kSlowSerialBaud = 9600;
constexpr int kBlockZeroSends = 3;
constexpr int kRepairPasses = 10;
// Consecutive unanswered missing-block queries after which the controller is
// taken to have stopped answering: each further pass would only wait out the
// receive bound.
constexpr int kSilentPassesToGiveUp = 2;
constexpr size_t kMissingListed = kMissingBlocksSize / 2;  // 36

size_t BlockSizeFor(const TransferJob& job) {
  bool serial = EffectiveCommType(job.comm_type) == CommType::kSerial;
  return serial && job.baud_rate == kSlowSerialBaud ? kSlowSerialBlockSize : kBlockSize;
}

uint16_t SendBlock(TransferContext& ctx, size_t size, size_t block_size, uint16_t number,
                   bool answer) {
  size_t offset = static_cast<size_t>(number) * block_size;
  size_t length = std::min(block_size, size - offset);
  return WriteFileBlock(ctx.link, ctx.buffer.data() + offset, static_cast<uint16_t>(length), number,
                        static_cast<uint16_t>(block_size), answer);
}

// A link that can carry nothing more (the relay server no longer forwards
// to the card) ends the upload as a failed link, with no further blocks or
// queries.
bool EndedOnLostLink(TransferContext& ctx, TransferJob& job) {
  if (!ctx.link.lost) return false;
  EndTransfer(ctx, job, kTextCommFailed, kReportFailedEarly);
  return true;
}

}  // namespace

int BlockTransferThread(TransferContext& ctx, TransferJob& job) {
  TransferStart start;
  if (!BeginTransfer(ctx, job, kReportFinished, &start)) return 0;
  const size_t size = start.size;
  const size_t block_size = BlockSizeFor(job);
  const size_t blocks = (size + block_size - 1) / block_size;
  const uint8_t kind = static_cast<uint8_t>(job.kind);

  uint8_t created =
      CreateBlockFile(ctx.link, start.remote_name, "wb", start.stamp, static_cast<uint32_t>(size));
  if (created == 255) {
    EndTransfer(ctx, job, kTextCommFailed, kReportFailedEarly);
    return 0;
  }
  if (created != 1) {
    EndTransfer(ctx, job, kTextFailedBang, kReportFailedEarly);
    return 0;
  }
  const int block_delay = BlockDelayFor(ctx.timing, job.comm_type);
  const int query_delay = QueryDelayFor(ctx.timing, job.comm_type);

  for (size_t n = 0; n < blocks; ++n) {
    if (StopRequested(job)) {
      EndTransfer(ctx, job, kTextTransferStopped, kReportFailedEarly);
      return 0;
    }
    if (EndedOnLostLink(ctx, job)) return 0;
    ReportProgress(job, n * block_size, size, 95);
    if (n == 0) {
      bool acknowledged = false;
      for (int attempt = 0; attempt < kBlockZeroSends && !acknowledged && !ctx.link.lost;
           ++attempt) {
        acknowledged = SendBlock(ctx, size, block_size, 0, true) != 0;
        platform::SleepMs(block_delay);
      }
      if (EndedOnLostLink(ctx, job)) return 0;
      if (!acknowledged) {
        EndTransfer(ctx, job, kTextFailedBang, kReportFailedEarly);
        return 0;
      }
    } else {
      SendBlock(ctx, size, block_size, static_cast<uint16_t>(n), false);
      platform::SleepMs(block_delay);
    }
  }

  bool complete = false;
  int silent_passes = 0;
  for (int pass = 1; pass <= kRepairPasses && !complete; ++pass) {
    if (StopRequested(job)) {
      EndTransfer(ctx, job, kTextTransferStopped, kReportFailedEarly);
      return 0;
    }
    if (EndedOnLostLink(ctx, job)) return 0;
    platform::SleepMs(query_delay);
    uint8_t listed[kMissingBlocksSize] = {};
    uint16_t count = GetMissingBlocks(ctx.link, static_cast<uint16_t>(blocks), listed, kind);
    if (count == 0) {
      complete = true;
      break;
    }
    // Only a query with no whole reply is silence; a list too long to resend
    // from is still an answer.
    silent_passes = ctx.link.last_reply.whole ? 0 : silent_passes + 1;
    if (silent_passes == kSilentPassesToGiveUp) break;
    if (count > kMissingListed || pass == kRepairPasses) continue;
    for (uint16_t k = 0; k < count && !StopRequested(job) && !ctx.link.lost; ++k) {
      ReportProgress(job, k, count, 95);
      uint16_t number = wire::GetLe16(listed + 2 * k);
      // A block number outside the file would send bytes that are not part
      // of it; such an entry is skipped.
      if (number >= blocks) continue;
      SendBlock(ctx, size, block_size, number, false);
      platform::SleepMs(block_delay);
    }
  }
  if (!complete && EndedOnLostLink(ctx, job)) return 0;
  if (!complete) {
    EndTransfer(ctx, job, kTextFailedBang, kReportFinished);
    return 0;
  }

  ReportProgress(job, 1, 1, 100);
  platform::SleepMs(ctx.timing.finish_delay_ms);
  const char* result = kTextSuccessful;
  if (job.kind != OperationKind::kWriteFile && !ResetController(ctx.link))
    result = kTextRestartController;
  EndTransfer(ctx, job, result, kReportFinished);
  return 1;
}

}  // namespace tarvo
