// What a TZDBTableRows holds, shared by the files that implement it: the cursor, the open
// table and the remembered row.
#pragma once

#include <string>

#include "engine/dataset/ZDBTableRows.h"
#include "engine/index/ZDBRecordID.h"
#include "engine/table/ZDBDiskTableData.h"
#include "engine/table/ZDBTableAccess.h"
#include "engine/table/ZDBTableCursor.h"

namespace zdb {

struct TZDBTableRows::TState {
  TState(TZDBDiskDatabaseData& database, TZDBBaseSession& session, const std::string& tableName)
      : cursor(session, tableName), table(database, cursor) {}

  TZDBDiskTableData& Data() const { return table.Data(); }

  TZDBTableCursor cursor;
  TZDBOpenTable table;
  TZDBRecordID mark;
};

}  // namespace zdb
