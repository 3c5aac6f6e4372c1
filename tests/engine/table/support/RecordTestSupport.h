// A table's record manager over pages held in memory, for the record-page tests: the
// "Maximo" rows by default (21 bytes, 191 to a 4096-byte page), or any field list.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/base/ZDBEndian.h"
#include "engine/table/ZDBDiskRecordManager.h"
#include "engine/table/ZDBFieldManager.h"
#include "tests/engine/file/support/MemoryPageManager.h"
#include "tests/engine/table/support/TableTestSupport.h"

namespace zdb::testing {

class TestTableOwner : public TZDBRecordPageOwner {
 public:
  int32_t TableObjectID() const override { return ObjectID; }
  bool TrustsRecordPages(int32_t /*session*/) const override { return Trusts; }

  int32_t ObjectID = 77;
  bool Trusts = false;
};

class RecordTable {
 public:
  static constexpr int32_t Session = 0;
  static constexpr uint16_t PageSize = 4096;

  explicit RecordTable(const std::function<void(TZDBFieldDefs&)>& addFields = AddMaximoFields) {
    TZDBFieldDefs defs;
    addFields(defs);
    fields.SetFieldDefs(defs);
    records.Init(fields.RecordBufferSize(), fields.StoredRecordSize());
    records.CreatePageIndex(Session);
    pages.ApplyChanges(Session);
  }

  // A row whose first field (an INTEGER) holds the key; every other byte is derived from
  // it, so two rows differ wherever they can.
  Bytes Row(int32_t key) const {
    Bytes row(static_cast<size_t>(fields.RecordBufferSize()));
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(key * 7 + static_cast<int32_t>(i));
    std::fill(row.begin(), row.begin() + fields.FieldDefs().NullMapSize(), uint8_t{0});
    le::PutI32(row.data() + fields.FieldDefs().NullMapSize(), key);
    return row;
  }
  static int32_t KeyOf(const Bytes& row, const TZDBBaseFieldManager& fields) {
    return le::GetI32(row.data() + fields.FieldDefs().NullMapSize());
  }

  TZDBRecordID Insert(int32_t key) {
    TZDBRecordID id;
    const Bytes row = Row(key);
    EXPECT_TRUE(records.InsertRecord(Session, row.data(), id)) << "row " << key;
    return id;
  }

  test::MemoryPageManager pages{1000, PageSize};
  TZDBBaseFieldManager fields;
  TestTableOwner owner;
  TZDBDiskRecordManager records{pages, fields, owner};
};

}  // namespace zdb::testing
