// Account records: the common base of the four kinds, their envelope and the
// factory. The same objects are message payloads (wire form) and table rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "relay/messages/recordset.hpp"

namespace zv {

// Record kinds; each is also the number of its table.
inline constexpr int32_t kOrganizationKind = 1;
inline constexpr int32_t kUserKind = 2;
inline constexpr int32_t kCardKind = 3;
inline constexpr int32_t kLogKind = 4;

// Envelope: kind byte, 32-bit body size n, then the n body bytes.
inline constexpr int kEnvelopeHeaderSize = 5;

// "[Organization]", "[User]", "[Card]", "[Log]" for kinds 1-4 (brackets
// included, as they go into statements); empty text for any other kind.
std::string RecordTableName(int kind);

class CRecord {
 public:
  explicit CRecord(int32_t kind) : kind_(kind) {}
  virtual ~CRecord() = default;
  CRecord(const CRecord&) = delete;
  CRecord& operator=(const CRecord&) = delete;

  // Database side.
  // The key text: the organization name, user name, device ID, or the log ID.
  virtual std::string GetKey() const = 0;
  // Statements that select and delete this record's row, key bound.
  virtual CSqlStatement GetSelectSql() const = 0;
  virtual CSqlStatement GetDeleteSql() const = 0;
  // Fills the fields from the current row; NULL columns leave fields as they
  // are. Throws CDbError when a column is missing.
  virtual void ReadFrom(CRecordset& rs) = 0;
  // Stores the fields into the current row and updates it. A database error is
  // reported through ReportDbError and the row is left without the update;
  // nothing is thrown.
  virtual void WriteTo(CRecordset& rs) const = 0;

  // Wire side.
  // Reads a body of `length` bytes; 1 accepted, 0 rejected (fields read before
  // the failing check keep their new values). Never reads outside the body.
  virtual int Decode(const uint8_t* body, int length) = 0;
  virtual int GetBodySize() const = 0;
  // Writes exactly GetBodySize() bytes at `out`; bytes that a field leaves
  // untouched must already be zero.
  virtual void Encode(uint8_t* out) const = 0;

  int32_t GetKind() const { return kind_; }
  const std::string& GetOrganizationName() const { return organization_name_; }
  void SetOrganizationName(const std::string& name) { organization_name_ = name; }

  // Builds the envelope into a buffer that the record owns (valid until the
  // next call or the record's destruction). Sets `length` to body size + 5, or
  // to 0 when the body is empty.
  const uint8_t* MakeEnvelope(int& length);

  // Copies this record into `other` of the same kind through the wire form.
  // 0 when other is this record, the kinds differ or the body is empty;
  // otherwise other's Decode result.
  int CopyTo(CRecord& other) const;

 private:
  int32_t kind_;
  std::vector<uint8_t> envelope_;
  std::string organization_name_;
};

// Size of the envelope of `record`: body size + 5, or 0 when the body is empty.
int EnvelopeSize(const CRecord& record);
// Writes the envelope at `out` (EnvelopeSize bytes, zero-filled beforehand);
// returns the bytes written (0 when the body is empty).
int PutEnvelope(uint8_t* out, const CRecord& record);

// A new record of `kind` with its initial values, or none for kinds other
// than 1-4.
std::unique_ptr<CRecord> CreateRecord(int kind);

}  // namespace zv
