// Database files with tables for the table-data tests: a scratch file created through
// the engine and connected like the program connects (single- or multi-user), the
// "Maximo" table of the program, and rows written and read field by field.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDatabaseDataRegistry.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/table/ZDBConstraintDef.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBTableAccess.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/engine/table/support/TableTestSupport.h"
#include "tests/support/ScratchFolder.h"

namespace zdb::testing {

class TestSession : public TZDBBaseSession {
 public:
  explicit TestSession(bool multiUser) : multiUser_(multiUser) {}
  bool MultiUser() const override { return multiUser_; }

 private:
  bool multiUser_;
};

// One connection to a database file of the process.
class Connection {
 public:
  Connection(const std::string& path, bool multiUser, os::FileSystem& fileSystem = os::FileSystem::Default())
      : session(multiUser) {
    connection_.MultiUser = multiUser;
    data_ = &TZDBDatabaseDataRegistry::Instance().Connect(path, connection_, fileSystem);
    session.SetSessionID(connection_.SessionID);
  }
  ~Connection() { TZDBDatabaseDataRegistry::Instance().Disconnect(*data_, connection_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  TZDBDiskDatabaseData& Data() const { return *data_; }
  bool NeedsRepair() const { return connection_.NeedsRepair; }

  TestSession session;

 private:
  TZDBSessionConnection connection_;
  TZDBDiskDatabaseData* data_ = nullptr;
};

using ScratchFolder = zdbtest::ScratchFolder;

inline void CreateDatabaseFile(const std::string& path) {
  TZDBDiskDatabaseData creator(path);
  creator.CreateDatabase();
}

// The program's "Maximo" table: any INTEGER, PenMax and TopeCot FLOAT, and its index
// "ANY" on any.
inline void AddAnyIndex(TZDBIndexDefs& indexes, bool unique = false) {
  auto any = std::make_unique<TZDBIndexDef>();
  any->SetName("ANY");
  any->SetColumns({{"any"}});
  any->SetUnique(unique);
  indexes.Add(std::move(any));
}

using IndexList = std::function<void(TZDBIndexDefs&)>;
using ConstraintList = std::function<void(TZDBConstraintDefs&)>;

inline void CreateMaximo(
    Connection& connection, std::string_view name = "Maximo",
    const IndexList& addIndexes = [](TZDBIndexDefs& indexes) { AddAnyIndex(indexes); },
    const ConstraintList& addConstraints = {}) {
  TZDBFieldDefs fields;
  AddMaximoFields(fields);
  TZDBIndexDefs indexes;
  if (addIndexes) addIndexes(indexes);
  TZDBConstraintDefs constraints;
  if (addConstraints) addConstraints(constraints);
  CreateDiskTable(connection.Data(), connection.session, name, fields, indexes, constraints);
}

// Field access on a record buffer of the open table.
class Row {
 public:
  explicit Row(const TZDBOpenTable& table) : table_(table) {}

  const TZDBFieldDef& Field(int32_t fieldNo) const { return table_.Data().FieldManager()->FieldDefs().Items(fieldNo); }
  uint8_t* Buffer() const { return table_.Cursor().MutableRecordBuffer(); }

  void Clear() const { table_.Data().FieldManager()->InitRecordBuffer(Buffer()); }
  void SetInteger(int32_t fieldNo, int32_t value) const {
    le::PutI32(Buffer() + Field(fieldNo).MemoryOffset(), value);
    SetFieldNull(Buffer(), fieldNo, false);
  }
  void SetFloat(int32_t fieldNo, double value) const {
    le::PutU64(Buffer() + Field(fieldNo).MemoryOffset(), std::bit_cast<uint64_t>(value));
    SetFieldNull(Buffer(), fieldNo, false);
  }
  void SetNull(int32_t fieldNo) const { SetFieldNull(Buffer(), fieldNo, true); }
  int32_t Integer(int32_t fieldNo) const { return le::GetI32(Buffer() + Field(fieldNo).MemoryOffset()); }
  double Float(int32_t fieldNo) const { return le::GetDouble(Buffer() + Field(fieldNo).MemoryOffset()); }
  bool IsNull(int32_t fieldNo) const { return IsFieldNull(Buffer(), fieldNo); }

  // A "Maximo" row: year, then the two amounts derived from it.
  void SetMaximo(int32_t year) const {
    Clear();
    SetInteger(0, year);
    SetFloat(1, year + 0.25);
    SetFloat(2, year * 2 + 0.5);
  }

 private:
  const TZDBOpenTable& table_;
};

inline void InsertYear(TZDBOpenTable& table, int32_t year) {
  Row(table).SetMaximo(year);
  PostInsert(table.Data(), table.Cursor());
}

// The first field of every row the cursor reaches from its start, in its order.
inline std::vector<int32_t> Years(TZDBOpenTable& table, bool backwards = false) {
  TZDBTableCursor& cursor = table.Cursor();
  if (backwards)
    cursor.SetToEnd();
  else
    cursor.SetToBegin();
  std::vector<int32_t> years;
  while (table.Data().GetRecord(cursor, backwards ? grmPrior : grmNext) == grOK) years.push_back(Row(table).Integer(0));
  return years;
}

// The cursor's search key: a record buffer of the table with the first field set.
class SearchKey {
 public:
  explicit SearchKey(const TZDBOpenTable& table)
      : fields_(*table.Data().FieldManager()), buffer_(static_cast<size_t>(fields_.RecordBufferSize()), 0) {
    fields_.InitRecordBuffer(buffer_.data());
  }
  const uint8_t* Year(int32_t year) {
    le::PutI32(buffer_.data() + fields_.FieldDefs().Items(0).MemoryOffset(), year);
    SetFieldNull(buffer_.data(), 0, false);
    return buffer_.data();
  }
  int32_t Size() const { return static_cast<int32_t>(buffer_.size()); }

 private:
  const TZDBBaseFieldManager& fields_;
  std::vector<uint8_t> buffer_;
};

inline int32_t IndexIDOf(const TZDBOpenTable& table, std::string_view name) {
  const TZDBIndexDef* index = table.Data().IndexManager()->FindIndexDefByName(name, table.Cursor().SessionID());
  return index != nullptr ? index->ObjectID() : TZDBTableCursor::NoIndex;
}

}  // namespace zdb::testing
