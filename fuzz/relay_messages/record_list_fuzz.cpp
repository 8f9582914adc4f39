// Record list decoding over arbitrary data; an accepted list must re-encode
// (through the query answer that carries lists) to an equal list.
#include "fuzz/relay_messages/fuzz_roundtrip.hpp"
#include "relay/messages/query_msg.hpp"
#include "relay/messages/record_list.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zv::fuzz::Require;
  std::vector<uint8_t> bytes(data, data + size);
  auto list = std::make_unique<zv::CRecordList>();
  const int ok = list->Decode(bytes.data(), static_cast<int>(bytes.size()));
  if (!ok) return 0;
  const size_t count = list->GetCount();
  zv::CQueryAckMsg answer;
  answer.SetStatus(zv::kQueryOk);
  answer.SetRecords(std::move(list));
  const std::vector<uint8_t> body = zv::fuzz::EncodeChecked(answer);
  zv::CQueryAckMsg back;
  std::vector<uint8_t> copy(body);
  Require(back.Decode(copy.data(), static_cast<int>(copy.size())) == 1);
  Require(back.GetRecords() && back.GetRecords()->GetCount() == count);
  for (size_t i = 0; i < count; ++i) {
    Require(back.GetRecords()->GetAt(i)->GetKind() == answer.GetRecords()->GetAt(i)->GetKind());
    Require(back.GetRecords()->GetAt(i)->GetKey() == answer.GetRecords()->GetAt(i)->GetKey());
  }
  return 0;
}
