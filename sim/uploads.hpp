// Files on their way into the controller: a stream file (sequential pieces,
// checked by a 16-bit sum at the end) and a block file (numbered blocks in any
// order, with the controller's own record of which have arrived).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/remote_name.hpp"
#include "sim/sim_disk.hpp"

namespace tarvo::sim {

class StreamUpload {
 public:
  bool active() const { return active_; }
  void Begin(const RemoteName& target, const FileDate& date, uint32_t size);
  // Appends a piece. 1, or 0 when no file is open or the piece would pass
  // the announced size.
  int Append(const uint8_t* data, size_t length);
  // Result of FinishStreamFile: 1 when the sum matches and every announced
  // byte arrived (the file is then ready in TakeFile), 255 on a sum mismatch,
  // 2 when nothing is open or bytes are missing. The upload ends either way.
  uint8_t Finish(uint16_t sum);
  SimFile TakeFile();
  const RemoteName& target() const { return target_; }
  uint16_t sum() const { return sum_; }
  void Abort() { active_ = false; }

 private:
  bool active_ = false;
  RemoteName target_;
  FileDate date_;
  uint32_t size_ = 0;
  uint16_t sum_ = 0;
  std::vector<uint8_t> data_;
};

class BlockUpload {
 public:
  enum class State { kIdle, kReceiving, kComplete };
  // GetMissingBlocks answers at most this many block numbers.
  static constexpr size_t kMaxListed = 36;

  State state() const { return state_; }
  void Begin(const RemoteName& target, const FileDate& date, uint32_t size);
  // Stores one block. The first block fixes the nominal block size; every
  // block must match it, lie inside the announced size, and be full length
  // unless it is the last. 1 stored, 0 refused.
  int Accept(uint16_t number, uint16_t nominal_size, const uint8_t* data, size_t length);
  // Number of blocks still missing, and the first 36 of their numbers.
  // `sender_total` (the count in the request) is used only while no block has
  // arrived, since the block size is not known before.
  uint32_t Missing(uint16_t sender_total, std::vector<uint16_t>* first) const;
  // Ends the upload: the received file (call once Missing() reports 0).
  SimFile TakeFile();
  void MarkComplete() { state_ = State::kComplete; }
  void Abort() { state_ = State::kIdle; }
  const RemoteName& target() const { return target_; }
  // Whether this block number has arrived at least once in this upload (also
  // when it was then lost on purpose).
  bool SeenBefore(uint16_t number) const;
  void NoteArrival(uint16_t number);

 private:
  size_t BlockCount() const;

  State state_ = State::kIdle;
  RemoteName target_;
  FileDate date_;
  uint32_t size_ = 0;
  uint16_t block_size_ = 0;
  std::vector<uint8_t> data_;
  std::vector<bool> received_;
  std::vector<bool> seen_;
};

}  // namespace tarvo::sim
