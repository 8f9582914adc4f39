// Reset, identification, versions, the boot flash and the screen configuration.
#include "sim/command_codes.hpp"
#include "sim/model_request.hpp"

namespace tarvo::sim {

bool ControllerModel::ResetController(const Request& r, std::vector<uint8_t>& out) {
  // The controller answers first, then restarts: open files and files
  // half-way in are gone; the disks, the boot flash and the screen
  // configuration stay.
  ++reset_count_;
  open_files_ = {};
  stream_.Abort();
  blocks_.Abort();
  PutResult(out, kResultOk);
  return true;
}

bool ControllerModel::GetControllerType(const Request& r, std::vector<uint8_t>& out) {
  // Status, model code, hardware revision, then the capacities of the user
  // and the system disk.
  wire::Writer w(out);
  w.U8(kResultOk);
  w.U8(config_.model_code);
  w.U8(1);
  w.Le32(user_.capacity());
  w.Le32(system_.capacity());
  return true;
}

bool ControllerModel::GetVersions(const Request& r, std::vector<uint8_t>& out) {
  wire::Writer w(out);
  w.U8(kResultOk);
  for (uint32_t v : config_.versions) w.Le32(v);
  return true;
}

bool ControllerModel::EraseBootSector(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint32_t address = in.Le32();
  if (!in.ok()) return false;
  PutResult(out, static_cast<uint8_t>(flash_.EraseSector(address)));
  return true;
}

bool ControllerModel::WriteBootData(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  const uint32_t offset = in.Le32();
  const uint16_t count = in.Le16();
  if (!in.ok() || !in.Has(BootFlash::kPieceSize)) return false;
  PutResult(out, static_cast<uint8_t>(flash_.Write(offset, in.Here(), count)));
  return true;
}

bool ControllerModel::SetScreenConfig(const Request& r, std::vector<uint8_t>& out) {
  PutResult(out, static_cast<uint8_t>(screen_.Set(r.payload, r.payload_size)));
  return true;
}

bool ControllerModel::ReadScreenConfig(const Request& r, std::vector<uint8_t>& out) {
  wire::Reader in = r.Payload();
  in.U8();
  const uint8_t selector = in.U8();
  if (!in.ok()) return false;
  // The answer is the record itself from byte 5 on.
  const ScreenRecord record = screen_.Read(selector);
  wire::Writer(out).Bytes(record.data(), record.size());
  return true;
}

}  // namespace tarvo::sim
