// Filling a CRecordList from the account database.
#pragma once

#include "relay/messages/record_list.hpp"
#include "relay/messages/recordset.hpp"
#include "relay/server/account_db.hpp"

namespace zv {

// Appends one record of `kind` per row of the statement, in row order. A
// statement that cannot be opened appends nothing; a column that cannot be
// read throws CDbError (the caller's dispatcher catches it).
void LoadRecordList(CRecordList& list, int kind, const CSqlStatement& statement);
// Every row of the kind's table ("SELECT * FROM <table>").
void LoadRecordList(CRecordList& list, int kind);
// The same on a connection the caller already holds.
void LoadRecordList(CAccountDb& db, CRecordList& list, int kind, const CSqlStatement& statement);

}  // namespace zv
