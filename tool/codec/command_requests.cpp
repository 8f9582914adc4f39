#include "tool/codec/command_requests.hpp"

#include "common/wire.hpp"
#include "tool/codec/packet.hpp"

namespace tarvo {
namespace {

// Header bytes, then the caller's payload, then Finish() appends the sum.
class Request {
 public:
  Request(RequestAddress a, ControllerCommand command, uint8_t flag = 1) : w_(bytes_) {
    w_.U8(kRequestStart);
    w_.U8(a.type_code);
    w_.U8(a.controller_id);
    w_.U8(static_cast<uint8_t>(command));
    w_.U8(flag);
  }
  wire::Writer& w() { return w_; }
  Bytes Finish() {
    const size_t n = bytes_.size();
    bytes_.resize(n + 2);
    AppendChecksum(bytes_.data(), n);
    return std::move(bytes_);
  }

 private:
  Bytes bytes_;
  wire::Writer w_;
};

bool SendableName(const std::string& name) {
  return name.size() <= kMaxFileNameLength && name.find('\0') == std::string::npos;
}

// The two characters of an open mode ("wb", "rb"); a shorter text is padded
// with zeros.
void PutMode(wire::Writer& w, const std::string& mode) {
  w.U8(mode.size() > 0 ? static_cast<uint8_t>(mode[0]) : 0);
  w.U8(mode.size() > 1 ? static_cast<uint8_t>(mode[1]) : 0);
}

}  // namespace

Bytes BuildEraseBootSector(RequestAddress a, uint32_t address) {
  Request r(a, ControllerCommand::kEraseBootSector);
  r.w().Le32(address);
  return r.Finish();
}

Bytes BuildWriteBootData(RequestAddress a, const uint8_t* data, uint32_t offset, uint16_t count) {
  Request r(a, ControllerCommand::kWriteBootData);
  r.w().Le32(offset);
  r.w().Le16(count);
  r.w().Bytes(data, kBootDataSize);
  return r.Finish();
}

Bytes BuildFormatDisk(RequestAddress a, uint8_t disk) {
  Request r(a, ControllerCommand::kFormatDisk);
  r.w().U8(disk);
  r.w().U8(0);  // reserved
  return r.Finish();
}

Bytes BuildListFiles(RequestAddress a, uint16_t first_index, uint8_t disk) {
  Request r(a, ControllerCommand::kListFiles);
  r.w().Le16(first_index);
  r.w().U8(disk);
  r.w().U8(0);  // reserved
  return r.Finish();
}

Bytes BuildGetFreeSpace(RequestAddress a, uint8_t disk) {
  Request r(a, ControllerCommand::kGetFreeSpace);
  r.w().U8(disk);
  return r.Finish();
}

Bytes BuildDeleteFile(RequestAddress a, const std::string& name) {
  if (!SendableName(name)) return {};
  Request r(a, ControllerCommand::kDeleteFile);
  r.w().CString(name);
  return r.Finish();
}

Bytes BuildResetController(RequestAddress a) {
  Request r(a, ControllerCommand::kResetController);
  r.w().U8(0);
  return r.Finish();
}

Bytes BuildGetControllerType(RequestAddress a) {
  Request r(a, ControllerCommand::kGetControllerType);
  r.w().U8(0);  // reserved
  return r.Finish();
}

Bytes BuildGetVersions(RequestAddress a) {
  Request r(a, ControllerCommand::kGetVersions);
  r.w().U8(0);  // reserved
  return r.Finish();
}

Bytes BuildCreateFile(RequestAddress a, ControllerCommand command, const std::string& name,
                      const std::string& mode, const TimeStamp& stamp, uint32_t size) {
  if (!SendableName(name)) return {};
  Request r(a, command);
  PutMode(r.w(), mode);
  uint8_t block[kTimeStampSize];
  PutTimeStamp(block, stamp);
  r.w().Bytes(block, sizeof block);
  r.w().Le32(size);
  r.w().CString(name);
  return r.Finish();
}

Bytes BuildWriteStreamData(RequestAddress a, const uint8_t* data, size_t length) {
  if (length > kMaxDataLength) return {};
  Request r(a, ControllerCommand::kWriteStreamData);
  r.w().Le16(static_cast<uint16_t>(length));
  r.w().Bytes(data, length);
  return r.Finish();
}

Bytes BuildFinishStreamFile(RequestAddress a, uint16_t sum) {
  Request r(a, ControllerCommand::kFinishStreamFile);
  r.w().Le16(sum);
  r.w().U8(0);  // reserved
  return r.Finish();
}

Bytes BuildOpenFileForRead(RequestAddress a, const std::string& name, const std::string& mode) {
  if (!SendableName(name)) return {};
  Request r(a, ControllerCommand::kOpenFileForRead);
  PutMode(r.w(), mode);
  r.w().U8(0);
  r.w().CString(name);
  return r.Finish();
}

Bytes BuildReadFileData(RequestAddress a, uint16_t length, uint8_t handle) {
  if (length > kMaxDataLength) return {};
  Request r(a, ControllerCommand::kReadFileData);
  r.w().Le16(length);
  r.w().U8(handle);
  return r.Finish();
}

Bytes BuildGetFileInfo(RequestAddress a, uint16_t index, uint8_t disk) {
  Request r(a, ControllerCommand::kGetFileInfo);
  r.w().Le16(index);
  r.w().U8(disk);
  return r.Finish();
}

Bytes BuildCloseFile(RequestAddress a, uint8_t handle) {
  Request r(a, ControllerCommand::kCloseFile);
  r.w().U8(handle);
  return r.Finish();
}

Bytes BuildWriteFileBlock(RequestAddress a, const uint8_t* data, size_t length,
                          uint16_t block_number, uint16_t block_size, bool answer) {
  if (length > kMaxDataLength) return {};
  Request r(a, ControllerCommand::kWriteFileBlock, answer ? 1 : 0);
  r.w().Le16(static_cast<uint16_t>(length));
  r.w().Le16(block_number);
  r.w().Le16(block_size);
  r.w().Bytes(data, length);
  return r.Finish();
}

Bytes BuildGetMissingBlocks(RequestAddress a, uint16_t block_count, uint8_t kind) {
  Request r(a, ControllerCommand::kGetMissingBlocks, kind);
  r.w().Le16(block_count);
  return r.Finish();
}

Bytes BuildSetScreenConfig(RequestAddress a, const uint8_t* record, size_t length) {
  if (length > kMaxScreenRecordLength) return {};
  Request r(a, ControllerCommand::kSetScreenConfig);
  r.w().Bytes(record, length);
  return r.Finish();
}

Bytes BuildReadScreenConfig(RequestAddress a, uint8_t selector) {
  Request r(a, ControllerCommand::kReadScreenConfig);
  r.w().U8(0);
  r.w().U8(selector);
  return r.Finish();
}

}  // namespace tarvo
