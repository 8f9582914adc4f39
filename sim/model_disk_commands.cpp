// Directory, free space, delete, format and the reading of files.
#include <algorithm>

#include "sim/command_codes.hpp"
#include "sim/directory_entry.hpp"
#include "sim/model_request.hpp"

namespace tarvo::sim {

namespace {
constexpr size_t kEntriesPerPage = 4;
}

bool ControllerModel::ListFiles(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint16_t first = in.Le16();
  const uint8_t disk_number = in.U8();
  if (!in.ok()) return false;
  wire::Writer w(out);
  if (!IsDisk(disk_number)) {
    w.U8(kResultFailed);
    w.Le16(0);
    w.Le16(first);
    return true;
  }
  const std::vector<SimFile>& files = disk(disk_number).files();
  const size_t begin = std::min<size_t>(first, files.size());
  const size_t count = std::min(kEntriesPerPage, files.size() - begin);
  w.U8(kResultOk);
  w.Le16(static_cast<uint16_t>(count));
  // The index of the page's last entry; the caller asks again from one past it.
  w.Le16(static_cast<uint16_t>(count ? begin + count - 1 : first));
  for (size_t i = 0; i < count; ++i) PutDirectoryEntry(w, files[begin + i]);
  return true;
}

bool ControllerModel::GetFreeSpace(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint8_t disk_number = in.U8();
  if (!in.ok()) return false;
  wire::Writer w(out);
  w.U8(IsDisk(disk_number) ? kResultOk : kResultFailed);
  w.Le32(IsDisk(disk_number) ? disk(disk_number).FreeSpace() : 0);
  return true;
}

bool ControllerModel::DeleteFile(const Request& r, std::vector<uint8_t>& out) {
  std::string text;
  if (!ReadTerminatedText(r.payload, r.payload_size, &text)) return false;
  RemoteName target;
  uint8_t result = kResultFailed;
  if (ParseRemoteName(text, &target))
    result = static_cast<uint8_t>(disk(target.disk).Remove(target));
  PutResult(out, result);
  return true;
}

bool ControllerModel::FormatDisk(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint8_t disk_number = in.U8();
  if (!in.ok()) return false;
  uint8_t result = kResultFailed;
  if (IsDisk(disk_number)) {
    result = static_cast<uint8_t>(disk(disk_number).Format());
    // Files half-way in to the formatted disk have nowhere to go.
    if (stream_.active() && stream_.target().disk == disk_number) stream_.Abort();
    if (blocks_.state() != BlockUpload::State::kIdle && blocks_.target().disk == disk_number)
      blocks_.Abort();
  }
  PutResult(out, result);
  return true;
}

bool ControllerModel::OpenFileForRead(const Request& r, std::vector<uint8_t>& out) {
  if (r.payload_size < 3) return false;
  std::string text;
  if (!ReadTerminatedText(r.payload + 3, r.payload_size - 3, &text)) return false;
  wire::Writer w(out);
  RemoteName target;
  const bool read_mode = r.payload[0] == 'r' && r.payload[1] == 'b';
  int index = -1;
  if (read_mode && ParseRemoteName(text, &target))
    index = disk(target.disk).Find(target.name, target.type, target.has_dot);
  auto slot = std::find_if(open_files_.begin(), open_files_.end(),
                           [](const OpenFile& f) { return !f.used; });
  if (index < 0 || slot == open_files_.end()) {
    w.U8(kNoHandle);
    w.Le16(0xFFFF);
    return true;
  }
  slot->used = true;
  slot->disk = target.disk;
  slot->index = static_cast<uint16_t>(index);
  slot->position = 0;
  slot->data = disk(target.disk).files()[static_cast<size_t>(index)].data;
  // Handles count from 1, so that no valid handle reads like "no reply".
  w.U8(static_cast<uint8_t>(slot - open_files_.begin() + 1));
  w.Le16(static_cast<uint16_t>(index));
  return true;
}

bool ControllerModel::ReadFileData(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint16_t wanted = in.Le16();
  const uint8_t handle = in.U8();
  if (!in.ok()) return false;
  wire::Writer w(out);
  if (handle == 0 || handle > kMaxOpenFiles || !open_files_[handle - 1u].used) {
    w.Le16(0);
    return true;
  }
  OpenFile& f = open_files_[handle - 1u];
  const size_t n =
      std::min({static_cast<size_t>(wanted), f.data.size() - f.position, kMaxReadChunk});
  w.Le16(static_cast<uint16_t>(n));
  w.Bytes(f.data.data() + f.position, n);
  f.position += n;
  return true;
}

bool ControllerModel::GetFileInfo(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint16_t index = in.Le16();
  const uint8_t disk_number = in.U8();
  if (!in.ok()) return false;
  wire::Writer w(out);
  if (!IsDisk(disk_number) || index >= disk(disk_number).files().size()) {
    w.Le16(0xFFFF);
    PutEmptyDirectoryEntry(w);
    return true;
  }
  w.Le16(index);
  PutDirectoryEntry(w, disk(disk_number).files()[index]);
  return true;
}

bool ControllerModel::CloseFile(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint8_t handle = in.U8();
  if (!in.ok()) return false;
  uint8_t result = kResultFailed;
  if (handle >= 1 && handle <= kMaxOpenFiles && open_files_[handle - 1u].used) {
    open_files_[handle - 1u] = OpenFile();
    result = kResultOk;
  }
  PutResult(out, result);
  return true;
}

}  // namespace tarvo::sim
