// Files above 1 MiB go to the controller as one stream of pieces, each
// acknowledged, closed by a 16-bit sum of every byte that the controller
// compares with its own.
#include <algorithm>

#include "platform/clock.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/tool_texts.hpp"
#include "tool/transfer_start.hpp"

namespace tarvo {
namespace {
constexpr size_t kPieceSize = 512;
// The relay server forwards larger pieces to a card it serves directly.
constexpr size_t kZvServerPieceSize = 1000;
constexpr uint8_t kStreamReady = 1;
constexpr uint8_t kStreamNotReady = 253;
}  // namespace

int StreamTransferThread(TransferContext& ctx, TransferJob& job) {
  TransferStart start;
  if (!BeginTransfer(ctx, job, kReportFailedEarly, &start)) return 0;
  const size_t size = start.size;
  const size_t piece =
      EffectiveCommType(job.comm_type) == CommType::kZvServer ? kZvServerPieceSize : kPieceSize;

  uint8_t created = 0;
  for (int attempt = 0;; ++attempt) {
    created = CreateStreamFile(ctx.link, start.remote_name, "wb", start.stamp,
                               static_cast<uint32_t>(size), 0);
    if (created != kStreamNotReady || attempt >= ctx.timing.not_ready_max_attempts ||
        StopRequested(job))
      break;
    platform::SleepMs(ctx.timing.not_ready_delay_ms);
    job.result = kTextFileCreateFailed;
  }
  if (created != kStreamReady && StopRequested(job)) {
    EndTransfer(ctx, job, kTextTransferStopped, kReportFailedEarly);
    return 0;
  }
  if (created != kStreamReady) {
    EndTransfer(ctx, job, kTextFileCreateFailed, kReportFailedEarly);
    return 0;
  }

  uint16_t sum = 0;
  for (size_t offset = 0; offset < size; offset += piece) {
    if (StopRequested(job)) {
      EndTransfer(ctx, job, kTextTransferStopped, kReportFailedEarly);
      return 0;
    }
    ReportProgress(job, offset, size, 100);
    size_t length = std::min(piece, size - offset);
    const uint8_t* data = ctx.buffer.data() + offset;
    for (size_t i = 0; i < length; ++i) sum = static_cast<uint16_t>(sum + data[i]);
    if (WriteStreamData(ctx.link, data, static_cast<uint16_t>(length), 0) == 0) {
      EndTransfer(ctx, job, kTextCommFailed, kReportFailedEarly);
      return 0;
    }
  }

  uint16_t finished = FinishStreamFile(ctx.link, sum, 0);
  if (finished == 0) {
    EndTransfer(ctx, job, kTextCommFailed, kReportFailedEarly);
    return 0;
  }
  if (finished == 255) {
    EndTransfer(ctx, job, kTextCheckSumError, kReportFailedEarly);
    return 0;
  }
  // A stream transfer never resets the controller, whatever it carried.
  bool stored = finished == 1;
  if (stored) ReportProgress(job, size, size, 100);
  EndTransfer(ctx, job, stored ? kTextSuccessful : kTextFailedBang, kReportFinished);
  return stored ? 1 : 0;
}

}  // namespace tarvo
