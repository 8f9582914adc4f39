// The four record decoders over arbitrary bodies (the first byte picks the
// kind), with the round trip and the copy through the wire form.
#include "fuzz/relay_messages/fuzz_roundtrip.hpp"
#include "relay/messages/record.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zv::fuzz::Require;
  if (size < 1) return 0;
  const int kind = data[0] % 4 + 1;
  std::vector<uint8_t> body(data + 1, data + size);
  auto record = zv::CreateRecord(kind);
  Require(record != nullptr);
  if (!record->Decode(body.data(), static_cast<int>(body.size()))) return 0;
  zv::fuzz::CheckStableRoundTrip(*record, [kind] { return zv::CreateRecord(kind); });
  auto copy = zv::CreateRecord(kind);
  Require(record->CopyTo(*copy) == 1);
  Require(copy->GetKey() == record->GetKey());
  Require(copy->GetOrganizationName() == record->GetOrganizationName());
  int length = 0;
  record->MakeEnvelope(length);
  Require(length == record->GetBodySize() + 5);
  return 0;
}
