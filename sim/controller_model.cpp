#include "sim/controller_model.hpp"

#include <algorithm>
#include <filesystem>

#include "sim/command_codes.hpp"
#include "sim/model_request.hpp"
#include "tool/codec/packet.hpp"

namespace tarvo::sim {

ControllerModel::ControllerModel(const ControllerConfig& config)
    : config_(config),
      system_(kSystemDisk, config.disk_capacity),
      user_(kUserDisk, config.disk_capacity) {}

int ControllerModel::AttachDiskFolder(const std::string& folder) {
  const std::filesystem::path base(folder);
  return system_.AttachFolder((base / "system").string()) &&
                 user_.AttachFolder((base / "user").string())
             ? 1
             : 0;
}

void ControllerModel::SetFaults(const FaultSettings& faults) {
  faults_ = faults;
  not_ready_left_ = faults.not_ready_count;
  drop_random_.seed(faults.drop_seed);
}

size_t ControllerModel::open_file_count() const {
  return static_cast<size_t>(std::count_if(open_files_.begin(), open_files_.end(),
                                           [](const OpenFile& f) { return f.used; }));
}

Answer ControllerModel::Handle(const uint8_t* request, size_t size) {
  Answer answer;
  // Header (5 bytes) and checksum (2) at least; a corrupted request is
  // dropped as a real controller drops it: without a word.
  if (size < 7 || size > kMaxRequestSize || request[kOffStart] != kRequestStart) return answer;
  if (ByteSum16(request, size - 2) != wire::GetLe16(request + size - 2)) return answer;
  const uint8_t id = request[kOffId];
  if (id != config_.controller_id && id != kAnyControllerId) return answer;

  Request r;
  r.command = request[kOffCommand];
  r.flag = request[kOffFlag];
  r.payload = request + kOffPayload;
  r.payload_size = size - 7;
  if (faults_.silent_commands.count(r.command)) {
    answer.outcome = Outcome::kLost;
    return answer;
  }

  // An unacknowledged block that the fault settings lose never reaches the
  // controller's block record.
  if (r.command == kWriteFileBlock && r.flag == 0 && r.payload_size >= 6 &&
      LoseBlock(wire::GetLe16(r.payload + 2))) {
    answer.outcome = Outcome::kLost;
    return answer;
  }

  std::vector<uint8_t> out(request, request + kOffPayload);
  out[kOffStart] = kReplyStart;
  bool understood = false;
  switch (r.command) {
    case kEraseBootSector:
      understood = EraseBootSector(r, out);
      break;
    case kWriteBootData:
      understood = WriteBootData(r, out);
      break;
    case kFormatDisk:
      understood = FormatDisk(r, out);
      break;
    case kListFiles:
      understood = ListFiles(r, out);
      break;
    case kGetFreeSpace:
      understood = GetFreeSpace(r, out);
      break;
    case kDeleteFile:
      understood = DeleteFile(r, out);
      break;
    case kResetController:
      understood = ResetController(r, out);
      break;
    case kGetControllerType:
      understood = GetControllerType(r, out);
      break;
    case kCreateStreamFile:
      understood = CreateStreamFile(r, out);
      break;
    case kWriteStreamData:
      understood = WriteStreamData(r, out);
      break;
    case kFinishStreamFile:
      understood = FinishStreamFile(r, out);
      break;
    case kOpenFileForRead:
      understood = OpenFileForRead(r, out);
      break;
    case kReadFileData:
      understood = ReadFileData(r, out);
      break;
    case kGetFileInfo:
      understood = GetFileInfo(r, out);
      break;
    case kCloseFile:
      understood = CloseFile(r, out);
      break;
    case kGetVersions:
      understood = GetVersions(r, out);
      break;
    case kCreateBlockFile:
      understood = CreateBlockFile(r, out);
      break;
    case kWriteFileBlock:
      understood = WriteFileBlock(r, out);
      break;
    case kGetMissingBlocks:
      understood = GetMissingBlocks(r, out);
      break;
    case kSetScreenConfig:
      understood = SetScreenConfig(r, out);
      break;
    case kReadScreenConfig:
      understood = ReadScreenConfig(r, out);
      break;
    default:
      break;
  }
  if (!understood) return answer;
  ++counts_[r.command];

  if (r.command == kWriteFileBlock && r.flag == 0) {
    answer.outcome = Outcome::kUnanswered;
    return answer;
  }
  if (faults_.wrong_reply_command == r.command) {
    out[kOffCommand] = static_cast<uint8_t>(r.command + 1);
  }
  out.resize(out.size() + 2);
  AppendChecksum(out.data(), out.size() - 2);
  if (faults_.corrupt_checksums) {
    wire::PutLe16(&out[out.size() - 2],
                  static_cast<uint16_t>(wire::GetLe16(&out[out.size() - 2]) + 1));
  }
  answer.outcome = Outcome::kReplied;
  answer.reply = std::move(out);
  answer.delay_ms = faults_.reply_delay_ms;
  return answer;
}

bool ControllerModel::LoseBlock(uint16_t number) {
  const bool listed = std::find(faults_.drop_blocks.begin(), faults_.drop_blocks.end(), number) !=
                      faults_.drop_blocks.end();
  const bool first_arrival = !blocks_.SeenBefore(number);
  blocks_.NoteArrival(number);
  if (listed && (first_arrival || faults_.drop_repeats)) return true;
  if (faults_.drop_fraction > 0.0) {
    std::uniform_real_distribution<double> coin(0.0, 1.0);
    if (coin(drop_random_) < faults_.drop_fraction) return true;
  }
  return false;
}

}  // namespace tarvo::sim
