// Copying field values between the rows of two tables of different layouts through their
// cursors: the same type byte for byte, other types converted, text cut to the target's
// width, NULL kept NULL, large values of several sizes re-written with the target field's
// compression, and field numbers outside either table refused.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBLocalCursor.h"
#include "engine/dataset/ZDBTable.h"
#include "engine/framework/BlobFields.h"
#include "engine/table/ZDBTableCheck.h"
#include "tests/engine/table/support/BlobTestSupport.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

struct SourceRow {
  int32_t id;
  std::string name;  // empty: every field but id NULL
  double amount;
  std::string figure;
  size_t noteSize;  // characters of the memo
  size_t docSize;   // bytes of the BLOB
};

// Shared page, page chain, several blocks of the compressed stream; and a row of NULLs.
const std::vector<SourceRow> SourceRows = {
    {1, "Ana", 10.5, "42", 10, 10},
    {2, "Bartolome Perez", 2000.25, "-7", 5000, 5000},
    {3, "Carmen", 0.125, "300", 70000, 300000},
    {4, "", 0, "", 0, 0},
};

std::string NoteOf(const SourceRow& row) { return std::string(row.noteSize, static_cast<char>('a' + row.id)); }
Bytes DocOf(const SourceRow& row) { return Noise(row.docSize, static_cast<uint32_t>(row.id)); }

// Source field -> target field, by table field number.
namespace origin {
constexpr int32_t Id = 0, Name = 1, Amount = 2, Figure = 3, Note = 4, Doc = 5, FieldCount = 6;
}
namespace copy {
constexpr int32_t Doc = 0, Summary = 1, Name = 2, Key = 3, Amount = 4, Figure = 5, Note = 6, NoteCopy = 7,
                  FieldCount = 8;
}
constexpr int32_t ShortNameSize = 6;

const std::vector<std::pair<int32_t, int32_t>> Mapping = {
    {origin::Doc, copy::Doc},          // BLOB zlib -> BLOB uncompressed
    {origin::Name, copy::Summary},     // STRING -> MEMO
    {origin::Name, copy::Name},        // STRING(20) -> STRING(6)
    {origin::Id, copy::Key},           // INTEGER -> INTEGER: byte copy
    {origin::Amount, copy::Amount},    // FLOAT -> EXTENDED
    {origin::Figure, copy::Figure},    // STRING -> SMALLINT
    {origin::Note, copy::Note},        // MEMO -> WIDEMEMO
    {origin::Note, copy::NoteCopy},    // MEMO -> MEMO
};

class CursorCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabaseFile(path);
    {
      Connection connection(path, false);
      TZDBFieldDefs from;
      from.Add(Field("id", TZDBLogicalType::Integer));
      from.Add(Field("Nombre", TZDBLogicalType::String, 20));
      from.Add(Field("Importe", TZDBLogicalType::Float));
      from.Add(Field("Cifra", TZDBLogicalType::String, 10));
      from.Add(Field("Nota", TZDBLogicalType::Memo));
      auto doc = Field("Doc", TZDBLogicalType::Blob);
      doc->SetBlobCompressionAlgorithm(CompressionZlib);
      doc->SetBlobCompressionMode(5);
      doc->SetBlobBlockSize(65536);
      from.Add(std::move(doc));
      CreateDiskTable(connection.Data(), connection.session, "Origen", from, {}, {});

      TZDBFieldDefs to;
      to.Add(Field("Doc", TZDBLogicalType::Blob));
      to.Add(Field("Resumen", TZDBLogicalType::Memo));
      to.Add(Field("Nombre", TZDBLogicalType::String, ShortNameSize));
      to.Add(Field("Clave", TZDBLogicalType::Integer));
      to.Add(Field("Importe", TZDBLogicalType::Extended));
      to.Add(Field("Cifra", TZDBLogicalType::SmallInt));
      to.Add(Field("Nota", TZDBLogicalType::WideMemo));
      to.Add(Field("Copia", TZDBLogicalType::Memo));
      CreateDiskTable(connection.Data(), connection.session, "Destino", to, {}, {});
    }
    database.SetDatabaseName("Copia");
    database.SetDatabaseFileName(path);

    TZDBTable table;
    table.SetDatabaseName("Copia");
    table.SetTableName("Origen");
    table.Open();
    for (const SourceRow& row : SourceRows) {
      table.Append();
      table.FieldByName("id").SetAsInteger(row.id);
      if (!row.name.empty()) {
        table.FieldByName("Nombre").SetAsString(row.name);
        table.FieldByName("Importe").SetAsFloat(row.amount);
        table.FieldByName("Cifra").SetAsString(row.figure);
        table.FieldByName("Nota").SetAsString(NoteOf(row));
        dynamic_cast<data::TBlobField&>(table.FieldByName("Doc")).SetAsBytes(DocOf(row));
      }
      table.Post();
    }
    table.Close();

    database.Open();
    source_.emplace(*database.Handle(), "Origen");
    target_.emplace(*database.Handle(), "Destino");
    source_->OpenTable();
    source_->InitFieldLayout();
    target_->OpenTable();
    target_->InitFieldLayout();
    from_.assign(static_cast<size_t>(source_->RecordBufferLength()), 0);
    to_.assign(static_cast<size_t>(target_->RecordBufferLength()), 0);
    source_->UseRecordBuffer(from_.data());
    target_->UseRecordBuffer(to_.data());
    source_->SetToBegin();
  }
  void TearDown() override {
    source_->FreeRecordBlobs(from_.data());
    target_->FreeRecordBlobs(to_.data());
    source_->CloseTable();
    target_->CloseTable();
  }

  // Every source row, copied field by field into a new target row.
  void CopyAllRows() {
    while (source_->FetchRecord(grmNext) == frOK) {
      target_->InitRecordBuffer(to_.data(), false);
      for (const auto& [from, to] : Mapping) source_->CopyFieldValue(from, TZDBFieldNumbering::Table, *target_, to);
      target_->PostRecord(true, nullptr);
    }
  }

  ScratchFolder folder;
  std::string path = folder.File("copia.zdb");
  TZDBDatabase database;
  std::optional<TZDBLocalCursor> source_;
  std::optional<TZDBLocalCursor> target_;
  std::vector<uint8_t> from_;
  std::vector<uint8_t> to_;
};

TEST_F(CursorCopy, EveryFieldArrivesInTheTargetsTypeAndTheRowsStoreIt) {
  CopyAllRows();
  source_->CloseTable();
  target_->CloseTable();

  TZDBTable copied;
  copied.SetDatabaseName("Copia");
  copied.SetTableName("Destino");
  copied.Open();
  ASSERT_EQ(copied.RecordCount(), static_cast<int>(SourceRows.size()));
  auto& doc = dynamic_cast<data::TBlobField&>(copied.FieldByName("Doc"));
  auto& note = dynamic_cast<data::TBlobField&>(copied.FieldByName("Nota"));
  for (const SourceRow& row : SourceRows) {
    SCOPED_TRACE("row " + std::to_string(row.id));
    EXPECT_EQ(copied.FieldByName("Clave").AsInteger(), row.id);
    if (row.name.empty()) {
      for (const char* name : {"Doc", "Resumen", "Nombre", "Importe", "Cifra", "Nota", "Copia"})
        EXPECT_TRUE(copied.FieldByName(name).IsNull()) << name;
    } else {
      EXPECT_EQ(doc.AsBytes(), DocOf(row));
      EXPECT_EQ(copied.FieldByName("Resumen").AsString(), row.name);
      EXPECT_EQ(copied.FieldByName("Nombre").AsString(), row.name.substr(0, ShortNameSize));
      EXPECT_DOUBLE_EQ(copied.FieldByName("Importe").AsFloat(), row.amount);
      EXPECT_EQ(copied.FieldByName("Cifra").AsInteger(), std::stoi(row.figure));
      const std::string text = NoteOf(row);
      Bytes utf16;  // the memo's characters as UTF-16LE units
      for (char c : text) utf16.insert(utf16.end(), {static_cast<uint8_t>(c), 0});
      EXPECT_EQ(note.AsBytes(), utf16);
      EXPECT_EQ(copied.FieldByName("Copia").AsString(), text);
    }
    copied.Next();
  }
  copied.Close();

  Connection connection(path, false);
  TZDBTableCursor cursor(connection.session, "Destino");
  TZDBOpenTable open(connection.Data(), cursor);
  EXPECT_EQ(CheckTable(open.Data(), cursor.SessionID()).Problems, std::vector<std::string>());
}

TEST_F(CursorCopy, NullReplacesAStoredLargeValue) {
  CopyAllRows();
  // The first target row takes the NULL row's values over its stored ones.
  const std::vector<uint8_t> nullRow = from_;
  target_->SetToBegin();
  ASSERT_EQ(target_->FetchRecord(grmNext), frOK);
  std::vector<uint8_t> original = to_;
  target_->DetachRecordBlobs(original.data());
  target_->BeginEdit();
  for (const auto& [from, to] : Mapping) source_->CopyFieldValue(from, TZDBFieldNumbering::Visible, *target_, to);
  target_->PostRecord(false, original.data());
  target_->SetToBegin();
  ASSERT_EQ(target_->FetchRecord(grmNext), frOK);
  for (int32_t field : {copy::Doc, copy::Summary, copy::Note, copy::NoteCopy, copy::Amount})
    EXPECT_FALSE(target_->GetFieldData(field, to_.data(), nullptr)) << field;
  EXPECT_TRUE(target_->GetFieldData(copy::Key, to_.data(), nullptr));
  source_->CloseTable();
  target_->CloseTable();

  Connection connection(path, false);
  TZDBTableCursor cursor(connection.session, "Destino");
  TZDBOpenTable open(connection.Data(), cursor);
  EXPECT_EQ(CheckTable(open.Data(), cursor.SessionID()).Problems, std::vector<std::string>());
}

TEST_F(CursorCopy, FieldsOutsideEitherTableAndImpossibleConversionsAreRefused) {
  ASSERT_EQ(source_->FetchRecord(grmNext), frOK);
  target_->InitRecordBuffer(to_.data(), false);
  struct Case {
    int32_t from;
    int32_t to;
    int32_t code;
    std::string message;
  };
  const std::vector<Case> cases = {
      {origin::FieldCount, copy::Key, 10501, "Invalid field number - FieldNo = 6, FieldCount = 6"},
      {-1, copy::Key, 10501, "Invalid field number - FieldNo = -1, FieldCount = 6"},
      {origin::Id, copy::FieldCount, 10502, "Invalid field number - FieldNo = 8, FieldCount = 8"},
      {origin::Id, -2, 10502, "Invalid field number - FieldNo = -2, FieldCount = 8"},
      {origin::Doc, copy::Key, 30052, "Cannot cast from 'BLOB' to 'INTEGER'"},
      {origin::Name, copy::Figure, 30051, "Cannot cast from 'STRING' to 'SMALLINT'"},
  };
  for (const Case& c : cases) {
    const RaisedError error =
        ErrorOf([&] { source_->CopyFieldValue(c.from, TZDBFieldNumbering::Table, *target_, c.to); });
    EXPECT_EQ(error.code, c.code) << c.from << " -> " << c.to;
    EXPECT_EQ(error.message, c.message) << c.from << " -> " << c.to;
  }
  // The target row is still the empty one it was.
  for (int32_t field = 0; field < copy::FieldCount; ++field)
    EXPECT_FALSE(target_->GetFieldData(field, to_.data(), nullptr)) << field;
}

}  // namespace
}  // namespace zdb::testing
