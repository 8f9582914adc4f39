#include "tool/transfer_start.hpp"

#include "platform/clock.hpp"
#include "tool/codec/packet.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/tool_texts.hpp"

namespace tarvo {
namespace {
void Report(TransferJob& job, int code, int value) {
  if (job.report) job.report(code, value);
}
}  // namespace

bool StopRequested(const TransferJob& job) {
  return job.stop && job.stop->load();
}

void ReportProgress(TransferJob& job, uint64_t done, uint64_t total, int scale) {
  int value = total == 0 ? scale : static_cast<int>(done * static_cast<uint64_t>(scale) / total);
  Report(job, kReportProgress, value);
}

bool BeginTransfer(TransferContext& ctx, TransferJob& job, int open_failure_code,
                   TransferStart* start) {
  long size = ReadWholeFile(job.local_path, ctx.buffer);
  if (size < 0) {
    job.result = size == -2 ? kTextFileTooLarge : kTextFileOpenFailed;
    Report(job, kReportFailedEarly, 0);
    return false;
  }
  start->size = static_cast<size_t>(size);
  // A file whose time cannot be read is stamped with the present time.
  if (!FileTimeStamp(job.local_path, &start->stamp))
    start->stamp = MakeTimeStamp(platform::LocalNow());
  ctx.link.comm_type = job.comm_type;
  FillLinkSettings(ctx.link, job.comm_type, job.panel, job.baud_rate, ctx.ports);
  start->remote_name = RemoteNameFor(job.local_path, job.kind, job.target);
  if (!ctx.link.OpenLink(kControllerTypeCode, static_cast<uint8_t>(job.controller_id))) {
    job.result = kTextCommFailed;
    Report(job, open_failure_code, 0);
    return false;
  }
  return true;
}

void EndTransfer(TransferContext& ctx, TransferJob& job, const char* result, int code) {
  job.result = result;
  ctx.link.CloseLink();
  Report(job, code, 0);
}

}  // namespace tarvo
