// The simulated Tarvo-E controller: pure request -> reply logic, no I/O.
//
// Handle() takes one request packet as it arrived (already unwrapped from
// its medium) and produces the reply packet, or none. A request is answered
// only when it starts with 0x68, its checksum is right, it is long enough for
// its command, and its Controller ID byte is this controller's ID or 255.
// The controller type byte is not looked at: GetControllerType has to work
// whatever model code the sender assumed.
//
// Not thread-safe: the Simulator serialises calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sim/boot_flash.hpp"
#include "sim/fault_settings.hpp"
#include "sim/screen_config_store.hpp"
#include "sim/sim_disk.hpp"
#include "sim/uploads.hpp"

namespace tarvo::sim {

inline constexpr uint8_t kModelCodeTarvoE = 0x32;
inline constexpr uint32_t kDefaultDiskCapacity = 8 * 1024 * 1024;
// Largest request accepted (WriteFileBlock with 2048 data bytes needs 2061).
inline constexpr size_t kMaxRequestSize = 4096;
// A ReadFileData reply carries at most this many bytes, so that the reply
// fits every medium even when each of its bytes needs an escape pair: 9
// packet bytes around the data, doubled, plus start and end byte, stay within
// one gateway record's 1492 data bytes (and the network's 1492-byte packet).
inline constexpr size_t kMaxReadChunk = 736;
inline constexpr size_t kMaxOpenFiles = 8;

struct ControllerConfig {
  uint8_t controller_id = 1;
  uint8_t model_code = kModelCodeTarvoE;
  uint32_t disk_capacity = kDefaultDiskCapacity;
  // BOOT, LOGIC, BIOS, APP, SCAN, NET and a spare word.
  std::array<uint32_t, 7> versions{0x0102, 0x2100, 0x0305, 0x0410, 0x0201, 0x0103, 0};
};

enum class Outcome {
  kReplied,     // reply holds the packet to send back
  kUnanswered,  // carried out; the request asked for no reply
  kIgnored,     // not for this controller, malformed or unknown
  kLost,        // dropped on purpose by a fault setting
};

struct Answer {
  Outcome outcome = Outcome::kIgnored;
  std::vector<uint8_t> reply;
  int delay_ms = 0;  // wait this long before the reply's first byte
};

// A firmware image that arrived complete as a block file of an upgrade kind.
struct FirmwareArrival {
  uint8_t kind = 0;  // 2 boot loader ... 7 spare
  std::string file;
};

class ControllerModel {
 public:
  explicit ControllerModel(const ControllerConfig& config = ControllerConfig());

  Answer Handle(const uint8_t* request, size_t size);

  // Keeps both disks in sub-folders "system" and "user" of `folder`. 1 or 0.
  int AttachDiskFolder(const std::string& folder);

  SimDisk& disk(uint8_t number) { return number == kSystemDiskNumber ? system_ : user_; }
  BootFlash& boot_flash() { return flash_; }
  ScreenConfigStore& screen_config() { return screen_; }
  ControllerConfig& config() { return config_; }
  const FaultSettings& faults() const { return faults_; }
  // Replaces the fault settings; restarts the "not ready" count and the
  // random generator of dropped blocks.
  void SetFaults(const FaultSettings& faults);

  // What the controller has been asked, for tests.
  uint32_t RequestCount(uint8_t command) const { return counts_[command]; }
  int reset_count() const { return reset_count_; }
  const std::vector<FirmwareArrival>& firmware() const { return firmware_; }
  const StreamUpload& stream_upload() const { return stream_; }
  const BlockUpload& block_upload() const { return blocks_; }
  size_t open_file_count() const;

 private:
  static constexpr uint8_t kSystemDiskNumber = 0;

  struct Request;
  struct OpenFile {
    bool used = false;
    uint8_t disk = 1;
    uint16_t index = 0;
    size_t position = 0;
    std::vector<uint8_t> data;  // snapshot taken when the file was opened
  };

  // Each handler fills the reply payload (after byte 4) and returns false
  // when the request is too short or otherwise unreadable (then ignored).
  bool EraseBootSector(const Request& r, std::vector<uint8_t>& out);
  bool WriteBootData(const Request& r, std::vector<uint8_t>& out);
  bool FormatDisk(const Request& r, std::vector<uint8_t>& out);
  bool ListFiles(const Request& r, std::vector<uint8_t>& out);
  bool GetFreeSpace(const Request& r, std::vector<uint8_t>& out);
  bool DeleteFile(const Request& r, std::vector<uint8_t>& out);
  bool ResetController(const Request& r, std::vector<uint8_t>& out);
  bool GetControllerType(const Request& r, std::vector<uint8_t>& out);
  bool CreateStreamFile(const Request& r, std::vector<uint8_t>& out);
  bool WriteStreamData(const Request& r, std::vector<uint8_t>& out);
  bool FinishStreamFile(const Request& r, std::vector<uint8_t>& out);
  bool OpenFileForRead(const Request& r, std::vector<uint8_t>& out);
  bool ReadFileData(const Request& r, std::vector<uint8_t>& out);
  bool GetFileInfo(const Request& r, std::vector<uint8_t>& out);
  bool CloseFile(const Request& r, std::vector<uint8_t>& out);
  bool GetVersions(const Request& r, std::vector<uint8_t>& out);
  bool CreateBlockFile(const Request& r, std::vector<uint8_t>& out);
  bool WriteFileBlock(const Request& r, std::vector<uint8_t>& out);
  bool GetMissingBlocks(const Request& r, std::vector<uint8_t>& out);
  bool SetScreenConfig(const Request& r, std::vector<uint8_t>& out);
  bool ReadScreenConfig(const Request& r, std::vector<uint8_t>& out);

  // The common payload of CreateStreamFile and CreateBlockFile. Returns the
  // result byte: 1 accepted (target, date and size filled), 0 refused.
  uint8_t ParseCreate(const Request& r, RemoteName* target, FileDate* date, uint32_t* size);
  bool LoseBlock(uint16_t number);
  bool IsDisk(uint8_t number) const { return number == 0 || number == 1; }

  ControllerConfig config_;
  SimDisk system_;
  SimDisk user_;
  BootFlash flash_;
  ScreenConfigStore screen_;
  StreamUpload stream_;
  BlockUpload blocks_;
  std::array<OpenFile, kMaxOpenFiles> open_files_;
  FaultSettings faults_;
  int not_ready_left_ = 0;
  std::mt19937 drop_random_{1};
  std::array<uint32_t, 256> counts_{};
  int reset_count_ = 0;
  std::vector<FirmwareArrival> firmware_;
};

}  // namespace tarvo::sim
