// An ordered list of owned account records of any kinds. Wire form: 32-bit
// count, then one envelope per record (the query answer writes it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "relay/messages/record.hpp"

namespace zv {

class CRecordList {
 public:
  CRecordList() = default;

  // Appends the records of a wire list. 1 when every record decoded, 0 at the
  // first bad count, length, kind or record body: records decoded before the
  // failure stay in the list. Bytes after the last record are ignored.
  int Decode(const uint8_t* data, int length);
  // 4 + (body size + 5) per record.
  int GetBodySize() const;

  // First record in list order with this kind whose key equals `key` byte for
  // byte (case matters), or none.
  CRecord* Find(int kind, const std::string& key) const;

  // Takes ownership; a null record is ignored.
  void Append(std::unique_ptr<CRecord> record);

  size_t GetCount() const { return records_.size(); }
  CRecord* GetAt(size_t index) const { return records_[index].get(); }
  const std::vector<std::unique_ptr<CRecord>>& Records() const { return records_; }

 private:
  std::vector<std::unique_ptr<CRecord>> records_;
};

}  // namespace zv
