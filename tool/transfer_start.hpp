// The steps both transfer workers begin with: read the file, fill the link
// settings from the job, open the link.
#pragma once

#include <cstdint>
#include <string>

#include "tool/protocol/commands.hpp"
#include "tool/transfer_job.hpp"

namespace tarvo {

struct TransferStart {
  size_t size = 0;
  TimeStamp stamp;
  std::string remote_name;
};

// True with the link open. Otherwise the result text is set, the failure is
// reported with `open_failure_code` when the link did not open (1 when the
// file could not be read) and false is returned.
bool BeginTransfer(TransferContext& ctx, TransferJob& job, int open_failure_code,
                   TransferStart* start);
// Sets the result text, closes the link and sends the final report.
void EndTransfer(TransferContext& ctx, TransferJob& job, const char* result, int code);
// True when the job was asked to stop; the caller ends it with
// EndTransfer(kTextTransferStopped).
bool StopRequested(const TransferJob& job);
// A progress report of `done` out of `total` scaled to `scale` (95 or 100).
void ReportProgress(TransferJob& job, uint64_t done, uint64_t total, int scale);

}  // namespace tarvo
