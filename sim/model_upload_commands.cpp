// Stream files and block files: the two ways a file is written to a disk.
#include <algorithm>

#include "sim/command_codes.hpp"
#include "sim/directory_entry.hpp"
#include "sim/model_request.hpp"

namespace tarvo::sim {

uint8_t ControllerModel::ParseCreate(const Request& r, RemoteName* target, FileDate* date,
                                     uint32_t* size) {
  // Mode "wb", time stamp block, 32-bit size, zero-terminated name.
  const uint8_t* p = r.payload;
  if (!(p[0] == 'w' && p[1] == 'b')) return kResultFailed;
  std::string text;
  ReadTerminatedText(p + 13, r.payload_size - 13, &text);
  if (!ParseRemoteName(text, target)) return kResultFailed;
  *date = DecodeTimeStamp(p + 2);
  *size = wire::GetLe32(p + 9);
  // Room is checked against the disk as it is now; the file replaces one of
  // the same name when it is stored.
  if (!disk(target->disk).HasRoomFor(*target, *size)) return kResultFailed;
  return kResultOk;
}

bool ControllerModel::CreateStreamFile(const Request& r, std::vector<uint8_t>& out) {
  std::string unused;
  if (r.payload_size < 14 || !ReadTerminatedText(r.payload + 13, r.payload_size - 13, &unused))
    return false;
  if (not_ready_left_ > 0) {
    --not_ready_left_;
    PutResult(out, kResultNotReady);
    return true;
  }
  RemoteName target;
  FileDate date;
  uint32_t size = 0;
  const uint8_t result = ParseCreate(r, &target, &date, &size);
  if (result == kResultOk) stream_.Begin(target, date, size);
  PutResult(out, result);
  return true;
}

bool ControllerModel::WriteStreamData(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint16_t length = in.Le16();
  if (!in.ok()) return false;
  // The length field must agree with the bytes present; a piece that claims
  // more than it carries is refused rather than padded.
  uint8_t result = kResultFailed;
  if (in.Has(length)) result = static_cast<uint8_t>(stream_.Append(in.Here(), length));
  PutResult(out, result);
  return true;
}

bool ControllerModel::FinishStreamFile(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint16_t sum = in.Le16();
  if (!in.ok()) return false;
  uint8_t result = stream_.Finish(sum);
  if (result == kResultOk) {
    const uint8_t disk_number = stream_.target().disk;
    if (!disk(disk_number).Store(stream_.TakeFile())) result = kResultIncomplete;
  }
  PutResult(out, result);
  return true;
}

bool ControllerModel::CreateBlockFile(const Request& r, std::vector<uint8_t>& out) {
  std::string unused;
  if (r.payload_size < 14 || !ReadTerminatedText(r.payload + 13, r.payload_size - 13, &unused))
    return false;
  RemoteName target;
  FileDate date;
  uint32_t size = 0;
  const uint8_t result = ParseCreate(r, &target, &date, &size);
  if (result == kResultOk) blocks_.Begin(target, date, size);
  PutResult(out, result);
  return true;
}

bool ControllerModel::WriteFileBlock(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint16_t length = in.Le16();
  const uint16_t number = in.Le16();
  const uint16_t nominal = in.Le16();
  if (!in.ok()) return false;
  uint8_t result = kResultFailed;
  if (in.Has(length)) {
    if (r.flag != 0) blocks_.NoteArrival(number);
    result = static_cast<uint8_t>(blocks_.Accept(number, nominal, in.Here(), length));
  }
  PutResult(out, result);
  return true;
}

bool ControllerModel::GetMissingBlocks(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint16_t total = in.Le16();
  if (!in.ok()) return false;
  std::vector<uint16_t> numbers;
  uint32_t missing = 0;
  if (blocks_.state() == BlockUpload::State::kIdle) {
    // No block file open: never "complete", which would report a file that
    // does not exist as stored.
    missing = 255;
  } else {
    missing = blocks_.Missing(total, &numbers);
    if (missing == 0 && blocks_.state() == BlockUpload::State::kReceiving) {
      const uint8_t disk_number = blocks_.target().disk;
      const std::string name = blocks_.target().Joined();
      if (disk(disk_number).Store(blocks_.TakeFile())) {
        if (r.flag >= 2 && r.flag <= 7) firmware_.push_back({r.flag, name});
      } else {
        blocks_.Abort();
        missing = 255;
      }
    }
  }
  wire::Writer w(out);
  // A count byte: more than 255 missing must not wrap round to "complete".
  w.U8(static_cast<uint8_t>(std::min<uint32_t>(missing, 255)));
  for (size_t i = 0; i < BlockUpload::kMaxListed; ++i) w.Le16(i < numbers.size() ? numbers[i] : 0);
  return true;
}

}  // namespace tarvo::sim
