#include "relay/server/record_list_loader.hpp"

#include "relay/server/database_path.hpp"

namespace zv {

void LoadRecordList(CAccountDb& db, CRecordList& list, int kind, const CSqlStatement& statement) {
  std::unique_ptr<CRecordset> rs = db.OpenRecordset(statement);
  if (!rs) return;
  while (!rs->IsEOF()) {
    std::unique_ptr<CRecord> record = CreateRecord(kind);
    if (record) {
      record->ReadFrom(*rs);
      list.Append(std::move(record));
    }
    rs->MoveNext();
  }
  rs->Close();
}

void LoadRecordList(CRecordList& list, int kind, const CSqlStatement& statement) {
  CAccountDb db;
  LoadRecordList(db, list, kind, statement);
}

void LoadRecordList(CRecordList& list, int kind) {
  std::string table = GetTableName(kind);
  if (table.empty()) return;
  LoadRecordList(list, kind, CSqlStatement{"SELECT * FROM " + table, {}});
}

}  // namespace zv
