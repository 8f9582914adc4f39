#include "sim/directory_entry.hpp"

#include <algorithm>

namespace tarvo::sim {
namespace {

void PutTextField(wire::Writer& w, const std::string& text, size_t width) {
  size_t n = std::min(text.size(), width - 1);
  w.Bytes(reinterpret_cast<const uint8_t*>(text.data()), n);
  w.Zeros(width - n);
}

}  // namespace

void PutDirectoryEntry(wire::Writer& w, const SimFile& file) {
  PutTextField(w, file.name, kNameField);
  PutTextField(w, file.type, kTypeField);
  w.U8(file.date.second);
  w.U8(file.date.minute);
  w.U8(file.date.hour);
  w.U8(0);
  w.U8(file.date.day);
  w.U8(file.date.month);
  w.U8(file.date.year);
  w.Zeros(3);
  w.Le32(static_cast<uint32_t>(file.data.size()));
}

void PutEmptyDirectoryEntry(wire::Writer& w) {
  w.Zeros(kDirectoryEntrySize);
}

FileDate DecodeTimeStamp(const uint8_t* block) {
  FileDate d;
  d.hour = block[0];
  d.minute = block[1];
  d.second = block[2];
  d.year = static_cast<uint8_t>(block[3] % 100);
  d.month = block[4];
  d.day = block[5];
  return d;
}

}  // namespace tarvo::sim
