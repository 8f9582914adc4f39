// The record a transfer worker receives, and what it shares with the dialog.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tool/settings_file.hpp"
#include "tool/transfer_timing.hpp"

namespace tarvo {

class ConnectionManager;

// What a transfer carries: a file to a disk or one of the firmware images.
enum class OperationKind : int {
  kWriteFile = 1,
  kBootLoader = 2,
  kBios = 3,
  kApplication = 4,
  kScan = 5,
  kNetwork = 6,
  kSpare = 7,
};

// Targets of Write File.
inline constexpr int kTargetUserDisk = 16;
inline constexpr int kTargetSystemDisk = 17;

// Report codes of a worker.
inline constexpr int kReportFinished = 0;
inline constexpr int kReportFailedEarly = 1;
inline constexpr int kReportProgress = 2;

// Files up to this size go by numbered blocks, larger ones as a stream.
inline constexpr size_t kBlockTransferLimit = 1048576;
// The transfer buffer holds a whole file; larger files are refused.
inline constexpr size_t kTransferBufferSize = 16u * 1024u * 1024u;

struct TransferJob {
  // Called by the worker with (code, value); returns once the dialog has
  // handled the report.
  std::function<void(int code, int value)> report;
  // Snapshot of the panel and the medium when the job started.
  int comm_type = 1;
  int controller_id = 1;
  CommSettings panel;
  int baud_rate = 0;  // the number of the selected baud entry
  std::string local_path;
  // Written by the worker before its final report, shown by the dialog.
  std::string result;
  OperationKind kind = OperationKind::kWriteFile;
  int target = 0;  // kTargetUserDisk / kTargetSystemDisk for Write File, else 0
  // Set by the dialog (closing the window, Ctrl-C) to end the transfer at
  // the next piece or block; null when nobody can stop it.
  const std::atomic<bool>* stop = nullptr;
};

// What the workers share with the application: the link, the transfer
// buffer (kTransferBufferSize bytes), the pacing and the serial port map.
struct TransferContext {
  ConnectionManager& link;
  std::vector<uint8_t>& buffer;
  TransferTiming timing;
  PortMap ports;
};

// The serial port name of a port list index ("COM1" for 0).
std::string PortName(int port_index);
// The baud rate of a baud list index (115200 for 0); 0 outside the list.
int BaudRate(int baud_index);

// Fills the link's settings for `comm_type` from panel values exactly as the
// dialog does before an operation; the serial medium gets "COMn" and
// "<baud>,8,N,1".
void FillLinkSettings(ConnectionManager& link, int comm_type, const CommSettings& panel,
                      int baud_rate, const PortMap& ports);

// The name a written file gets on the controller: the local file name after
// the last path separator, with "S:" in front for the system disk.
std::string RemoteNameFor(const std::string& local_path, OperationKind kind, int target);

// The two workers. Each opens its own link, sends the file in the job's
// local path and reports; both return 0 on failure and 1 on success.
int BlockTransferThread(TransferContext& ctx, TransferJob& job);
int StreamTransferThread(TransferContext& ctx, TransferJob& job);

// Reads a whole file into `buffer` (which must be large enough); the byte
// count, or -1 when it cannot be opened, -2 when it is larger than the buffer.
long ReadWholeFile(const std::string& path, std::vector<uint8_t>& buffer);
// Writes `size` bytes; false when the file cannot be written.
bool WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);
// Size of a file, or -1 when it cannot be opened.
long FileSize(const std::string& path);

}  // namespace tarvo
