#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <cstring>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBExtended.h"
#include "engine/table/ZDBFieldData.h"
#include "engine/table/ZDBFieldManager.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;
using L = TZDBLogicalType;

// A field manager over the given fields, with its row buffers.
struct Table {
  explicit Table(const std::function<void(TZDBFieldDefs&)>& addFields) {
    TZDBFieldDefs fields;
    addFields(fields);
    manager.SetFieldDefs(fields);
  }
  Bytes NewRow() const {
    Bytes row(static_cast<size_t>(manager.RecordBufferSize()));
    manager.InitRecordBuffer(row.data());
    return row;
  }
  const TZDBFieldDefs& Fields() const { return manager.FieldDefs(); }

  TZDBBaseFieldManager manager;
};

TEST(RowLayout, MaximoAndControlRowsArePackedBehindOneNullMapByte) {
  struct Case {
    std::function<void(TZDBFieldDefs&)> addFields;
    int32_t size;
    std::vector<int32_t> offsets;
  };
  const Case cases[] = {{AddMaximoFields, 21, {1, 5, 13}}, {AddControlFields, 17, {1, 9}}};
  for (const Case& c : cases) {
    const Table table(c.addFields);
    EXPECT_EQ(table.manager.RecordBufferSize(), c.size);
    EXPECT_EQ(table.manager.StoredRecordSize(), c.size);
    for (size_t i = 0; i < c.offsets.size(); ++i) {
      const TZDBFieldDef& field = table.Fields().Items(static_cast<int32_t>(i));
      EXPECT_EQ(field.MemoryOffset(), c.offsets[i]);
      EXPECT_EQ(field.StoredOffset(), c.offsets[i]);
    }
  }
}

TEST(RowLayout, NullMapTakesOneByteForEveryEightFields) {
  for (const auto& [fieldCount, nullMapSize] : {std::pair{1, 1}, {8, 1}, {9, 2}, {16, 2}, {17, 3}}) {
    const Table table([n = fieldCount](TZDBFieldDefs& fields) {
      for (int i = 0; i < n; ++i) fields.Add(Field("f" + std::to_string(i), L::Byte));
    });
    EXPECT_EQ(table.Fields().NullMapSize(), nullMapSize);
    EXPECT_EQ(table.Fields().Items(0).MemoryOffset(), nullMapSize);
    EXPECT_EQ(table.manager.RecordBufferSize(), nullMapSize + fieldCount);
  }
}

TEST(RowLayout, BlobReferencesAreShorterInTheStoredRecord) {
  const Table table([](TZDBFieldDefs& fields) {
    fields.Add(Field("picture", L::Blob));
    fields.Add(Field("id", L::Integer));
  });
  EXPECT_EQ(table.manager.RecordBufferSize(), 15);
  EXPECT_EQ(table.manager.StoredRecordSize(), 11);
  EXPECT_EQ(table.Fields().Items(1).MemoryOffset(), 11);
  EXPECT_EQ(table.Fields().Items(1).StoredOffset(), 7);

  Bytes buffer = table.NewRow();
  std::memset(buffer.data() + 1, 0xAB, 10);  // all ten reference bytes in memory
  le::PutI32(buffer.data() + 11, -7);
  buffer[0] = 0;
  Bytes stored(11);
  table.manager.ToStoredRecord(buffer.data(), stored.data());
  EXPECT_EQ(stored, Concat({BytesOf({0}), Repeat(0xAB, 6), BytesOf({0xF9, 0xFF, 0xFF, 0xFF})}));

  Bytes back(15, 0x55);
  table.manager.ToRecordBuffer(stored.data(), back.data());
  EXPECT_EQ(back, Concat({BytesOf({0}), Repeat(0xAB, 6), Repeat(0, 4), BytesOf({0xF9, 0xFF, 0xFF, 0xFF})}));
}

TEST(RowLayout, NewMaximoRowIsAllNullUntilTheYearIsWritten) {
  const Table table(AddMaximoFields);
  Bytes row = table.NewRow();
  EXPECT_EQ(row, Concat({BytesOf({0xFF}), Repeat(0, 20)}));
  EXPECT_FALSE(ReadFieldData(0, table.Fields(), nullptr, row.data()));

  uint8_t year[4];
  le::PutI32(year, 2024);
  WriteFieldData(0, table.Fields(), year, row.data());
  EXPECT_EQ(Bytes(row.begin(), row.begin() + 5), BytesOf({0xFE, 0xE8, 0x07, 0x00, 0x00}));

  // Without BLOB fields both row forms are the same bytes.
  Bytes stored(21);
  table.manager.ToStoredRecord(row.data(), stored.data());
  EXPECT_EQ(stored, row);

  // Setting NULL sets the bit and leaves the bytes.
  WriteFieldData(0, table.Fields(), nullptr, row.data());
  EXPECT_EQ(Bytes(row.begin(), row.begin() + 5), BytesOf({0xFF, 0xE8, 0x07, 0x00, 0x00}));
}

TEST(RowLayout, BuffersDifferingInAnyValueByteOrNullBitAreNotEqual) {
  const Table table(AddMaximoFields);
  Bytes a = table.NewRow();
  a[0] = 0;
  le::PutI32(a.data() + 1, 2024);
  le::PutDouble(a.data() + 5, 3059.23);
  le::PutDouble(a.data() + 13, 4720.5);
  EXPECT_TRUE(table.manager.RecordBuffersEqual(a.data(), a.data()));
  for (const size_t changed : {size_t{0}, size_t{3}, size_t{12}, size_t{20}}) {  // null map, INTEGER, FLOAT ends
    Bytes b = a;
    b[changed] ^= 0x01;
    EXPECT_FALSE(table.manager.RecordBuffersEqual(a.data(), b.data())) << changed;
  }
  // Bytes a cursor keeps after the row take no part.
  Bytes longerA = a, longerB = a;
  longerA.push_back(1);
  longerB.push_back(2);
  EXPECT_TRUE(table.manager.RecordBuffersEqual(longerA.data(), longerB.data()));
}

TEST(FieldData, FourTypesKeepAnotherFormInTheDatasetBuffer) {
  const Table table([](TZDBFieldDefs& fields) {
    fields.Add(Field("s", L::ShortInt));
    fields.Add(Field("c", L::Cardinal));
    fields.Add(Field("f", L::Single));
    fields.Add(Field("e", L::Extended));
    fields.Add(Field("i", L::Integer));
  });
  Bytes row = table.NewRow();
  row[0] = 0;
  row[1] = 0xFF;
  le::PutU32(row.data() + 2, 0xFFFFFFFF);
  le::PutU32(row.data() + 6, std::bit_cast<uint32_t>(1.5f));
  TZDBExtended::FromDouble(-2.25).ToBytes(row.data() + 10);
  le::PutI32(row.data() + 20, -5);

  uint8_t out[8];
  ASSERT_TRUE(ReadFieldData(0, table.Fields(), out, row.data()));
  EXPECT_EQ(le::GetI16(out), -1);
  ASSERT_TRUE(ReadFieldData(1, table.Fields(), out, row.data()));
  EXPECT_EQ(le::GetI64(out), 4294967295);
  ASSERT_TRUE(ReadFieldData(2, table.Fields(), out, row.data()));
  EXPECT_EQ(le::GetDouble(out), 1.5);
  ASSERT_TRUE(ReadFieldData(3, table.Fields(), out, row.data()));
  EXPECT_EQ(le::GetDouble(out), -2.25);
  ASSERT_TRUE(ReadFieldData(4, table.Fields(), out, row.data()));
  EXPECT_EQ(le::GetI32(out), -5);
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(DatasetDataSize(table.Fields().Items(i)), i == 4 ? 4 : (i == 0 ? 2 : 8));

  // Writing narrows each form back: low byte, low four bytes, rounding to single,
  // widening to 80 bits.
  Bytes written = table.NewRow();
  uint8_t in[8];
  le::PutI16(in, 0x1280);
  WriteFieldData(0, table.Fields(), in, written.data());
  le::PutI64(in, 0x0000000500000007);
  WriteFieldData(1, table.Fields(), in, written.data());
  le::PutDouble(in, 0.1);
  WriteFieldData(2, table.Fields(), in, written.data());
  le::PutDouble(in, 1e300);
  WriteFieldData(3, table.Fields(), in, written.data());
  EXPECT_EQ(written[0], 0xF0);  // four values, the INTEGER still NULL
  EXPECT_EQ(written[1], 0x80);
  EXPECT_EQ(le::GetU32(written.data() + 2), 7u);
  EXPECT_EQ(std::bit_cast<float>(le::GetU32(written.data() + 6)), 0.1f);
  EXPECT_EQ(TZDBExtended::FromBytes(written.data() + 10).ToDouble(), 1e300);

  le::PutDouble(in, 1e300);  // beyond single range: infinity, not undefined behaviour
  WriteFieldData(2, table.Fields(), in, written.data());
  EXPECT_TRUE(std::isinf(std::bit_cast<float>(le::GetU32(written.data() + 6))));
}

TEST(FieldData, EmptyTextMakesTextFieldsNullAndBlobsOnlyReportNull) {
  const Table table([](TZDBFieldDefs& fields) {
    fields.Add(Field("name", L::String, 10));
    fields.Add(Field("wide", L::WideString, 4));
    fields.Add(Field("guid", L::Guid, 38));
    fields.Add(Field("raw", L::Bytes, 2));
    fields.Add(Field("memo", L::Memo));
  });
  Bytes row = table.NewRow();
  const uint8_t text[11] = {'M', 'a', 'x', 0};
  WriteFieldData(0, table.Fields(), text, row.data());
  uint8_t out[11] = {};
  ASSERT_TRUE(ReadFieldData(0, table.Fields(), out, row.data()));
  EXPECT_STREQ(reinterpret_cast<const char*>(out), "Max");

  const uint8_t empty[40] = {};
  for (int32_t field : {0, 1, 2}) {
    WriteFieldData(field, table.Fields(), empty, row.data());
    EXPECT_FALSE(ReadFieldData(field, table.Fields(), out, row.data())) << field;
  }
  EXPECT_EQ(row[1], 'M');  // the bytes stay

  // Zero bytes are a value for a byte string.
  WriteFieldData(3, table.Fields(), empty, row.data());
  EXPECT_TRUE(ReadFieldData(3, table.Fields(), nullptr, row.data()));

  // A BLOB field answers whether it holds a value and copies nothing out.
  SetFieldNull(row.data(), 4, false);
  uint8_t untouched[10] = {7};
  EXPECT_TRUE(ReadFieldData(4, table.Fields(), untouched, row.data()));
  EXPECT_EQ(untouched[0], 7);
}

TEST(FieldData, RefusesBadFieldNumbersMissingRowsAndStaleLayouts) {
  const Table table(AddMaximoFields);
  Bytes row = table.NewRow();
  uint8_t value[8] = {};
  struct Case {
    std::function<void()> action;
    int32_t code;
    const char* message;
  };
  TZDBFieldDefs stale;  // offsets never computed
  AddMaximoFields(stale);
  const Case cases[] = {
      {[&] { ReadFieldData(3, table.Fields(), value, row.data()); }, 10000,
       "Invalid field number - FieldNo = 3, FieldCount = 3"},
      {[&] { ReadFieldData(-1, table.Fields(), value, row.data()); }, 10000,
       "Invalid field number - FieldNo = -1, FieldCount = 3"},
      {[&] { WriteFieldData(3, table.Fields(), value, row.data()); }, 10004,
       "Invalid field number - FieldNo = 3, FieldCount = 3"},
      {[&] { ReadFieldData(0, table.Fields(), value, nullptr); }, 10003, "Nil pointer occured"},
      {[&] { row[0] = 0; ReadFieldData(1, stale, value, row.data()); }, 10002,
       "Error getting field data - FieldNo = 1, MemoryOffset = 0, MemoryDataSize = 8"},
  };
  for (const Case& c : cases) {
    const RaisedError error = ErrorOf(c.action);
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.message, c.message);
  }
}

}  // namespace
}  // namespace zdb
