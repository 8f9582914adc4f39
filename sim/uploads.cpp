#include "sim/uploads.hpp"

#include <algorithm>
#include <cstring>

namespace tarvo::sim {

void StreamUpload::Begin(const RemoteName& target, const FileDate& date, uint32_t size) {
  active_ = true;
  target_ = target;
  date_ = date;
  size_ = size;
  sum_ = 0;
  data_.clear();
  data_.reserve(size);
}

int StreamUpload::Append(const uint8_t* data, size_t length) {
  if (!active_ || length > size_ - data_.size()) return 0;
  data_.insert(data_.end(), data, data + length);
  for (size_t i = 0; i < length; ++i) sum_ = static_cast<uint16_t>(sum_ + data[i]);
  return 1;
}

uint8_t StreamUpload::Finish(uint16_t sum) {
  if (!active_) return 2;
  active_ = false;
  if (sum != sum_) return 255;
  if (data_.size() != size_) return 2;
  return 1;
}

SimFile StreamUpload::TakeFile() {
  SimFile f{target_.name, target_.type, target_.has_dot, date_, std::move(data_)};
  data_.clear();
  return f;
}

void BlockUpload::Begin(const RemoteName& target, const FileDate& date, uint32_t size) {
  state_ = State::kReceiving;
  target_ = target;
  date_ = date;
  size_ = size;
  block_size_ = 0;
  data_.assign(size, 0);
  received_.clear();
  seen_.clear();
}

size_t BlockUpload::BlockCount() const {
  if (block_size_ == 0) return 0;
  return (static_cast<size_t>(size_) + block_size_ - 1) / block_size_;
}

int BlockUpload::Accept(uint16_t number, uint16_t nominal_size, const uint8_t* data,
                        size_t length) {
  if (state_ != State::kReceiving || nominal_size == 0 || length > nominal_size) return 0;
  if (block_size_ == 0) {
    block_size_ = nominal_size;
    received_.assign(BlockCount(), false);
  } else if (nominal_size != block_size_) {
    return 0;
  }
  const uint64_t offset = static_cast<uint64_t>(number) * block_size_;
  if (number >= received_.size() || offset + length > size_) return 0;
  // Every block is full length except the last, which ends the file exactly.
  const bool last = static_cast<size_t>(number) + 1 == received_.size();
  if (last ? offset + length != size_ : length != block_size_) return 0;
  if (length) std::memcpy(data_.data() + offset, data, length);
  received_[number] = true;
  return 1;
}

uint32_t BlockUpload::Missing(uint16_t sender_total, std::vector<uint16_t>* first) const {
  first->clear();
  if (state_ == State::kComplete) return 0;
  if (state_ != State::kReceiving) return 0;
  if (block_size_ == 0) {
    // Nothing has arrived: every block the sender counts is missing (at
    // least one when the file is not empty, so the answer never says done).
    if (size_ == 0) return 0;
    uint32_t count = std::max<uint32_t>(sender_total, 1);
    for (uint32_t n = 0; n < count && first->size() < kMaxListed; ++n)
      first->push_back(static_cast<uint16_t>(n));
    return count;
  }
  uint32_t count = 0;
  for (size_t n = 0; n < received_.size(); ++n) {
    if (received_[n]) continue;
    ++count;
    if (first->size() < kMaxListed) first->push_back(static_cast<uint16_t>(n));
  }
  return count;
}

SimFile BlockUpload::TakeFile() {
  SimFile f{target_.name, target_.type, target_.has_dot, date_, std::move(data_)};
  data_.clear();
  state_ = State::kComplete;
  return f;
}

bool BlockUpload::SeenBefore(uint16_t number) const {
  return number < seen_.size() && seen_[number];
}

void BlockUpload::NoteArrival(uint16_t number) {
  if (seen_.size() <= number) seen_.resize(static_cast<size_t>(number) + 1, false);
  seen_[number] = true;
}

}  // namespace tarvo::sim
