// BLOB and MEMO fields through the table component: values written and read through
// the field objects and their streams, kept by the post, dropped by the cancel, cleared,
// a field refusing a second writing stream, and the values held in memory for the
// dataset's record buffers given back on every path.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBMemoryStream.h"
#include "engine/dataset/ZDBTable.h"
#include "engine/framework/BlobFields.h"
#include "engine/table/ZDBTableCheck.h"
#include "tests/engine/table/support/BlobTestSupport.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

constexpr size_t PageDataSize = 4096 - 40;

class BlobFields : public ::testing::TestWithParam<uint8_t> {
 protected:
  void SetUp() override {
    CreateDatabaseFile(path);
    {
      Connection connection(path, false);
      TZDBFieldDefs fields;
      fields.Add(Field("id", TZDBLogicalType::Integer));
      auto doc = Field("Doc", TZDBLogicalType::Blob);
      doc->SetBlobCompressionAlgorithm(GetParam());
      doc->SetBlobCompressionMode(GetParam() == CompressionNone ? 0 : 5);
      fields.Add(std::move(doc));
      fields.Add(Field("Notes", TZDBLogicalType::Memo));
      fields.Add(Field("Wide", TZDBLogicalType::WideMemo));
      CreateDiskTable(connection.Data(), connection.session, "Docs", fields, {}, {});
    }
    database.SetDatabaseName("Docs");
    database.SetDatabaseFileName(path);
    table.SetDatabaseName("Docs");
    table.SetTableName("Docs");
    table.Open();
  }

  data::TBlobField& Doc() { return dynamic_cast<data::TBlobField&>(table.FieldByName("Doc")); }
  data::TMemoField& Notes() { return dynamic_cast<data::TMemoField&>(table.FieldByName("Notes")); }
  void Append(int32_t id, const Bytes& doc, const std::string& notes) {
    table.Append();
    table.FieldByName("id").SetAsInteger(id);
    Doc().SetAsBytes(doc);
    Notes().SetAsString(notes);
    table.Post();
  }
  // The table's check, the table being closed.
  std::vector<std::string> Problems() {
    Connection connection(path, false);
    TZDBTableCursor cursor(connection.session, "Docs");
    TZDBOpenTable open(connection.Data(), cursor);
    return CheckTable(open.Data(), cursor.SessionID()).Problems;
  }

  ScratchFolder folder;
  std::string path = folder.File("docs.zdb");
  TZDBDatabase database;
  TZDBTable table;
};

TEST_P(BlobFields, ValuesOfEverySizeSurviveThePostAndAReopen) {
  const std::vector<size_t> sizes = {1, PageDataSize - 25, PageDataSize - 24, 3 * PageDataSize + 5, 300000};
  for (size_t i = 0; i < sizes.size(); ++i)
    Append(static_cast<int32_t>(i), TextLike(sizes[i], static_cast<uint32_t>(i + 1)), "nota " + std::to_string(i));
  Append(99, {}, "");
  table.Close();
  table.Open();
  ASSERT_EQ(table.RecordCount(), static_cast<int>(sizes.size()) + 1);
  for (size_t i = 0; i < sizes.size(); ++i, table.Next()) {
    SCOPED_TRACE("size " + std::to_string(sizes[i]));
    EXPECT_EQ(Doc().AsBytes(), TextLike(sizes[i], static_cast<uint32_t>(i + 1)));
    EXPECT_EQ(Doc().BlobSize(), static_cast<int64_t>(sizes[i]));
    EXPECT_EQ(Notes().AsString(), "nota " + std::to_string(i));
  }
  // An empty value is NULL.
  EXPECT_TRUE(Doc().IsNull());
  EXPECT_TRUE(Notes().IsNull());
  EXPECT_TRUE(Doc().AsBytes().empty());
  table.Close();
  EXPECT_EQ(Problems(), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Algorithms, BlobFields,
                         ::testing::Values(CompressionNone, CompressionZlib, CompressionBzip, CompressionPPM));

class BlobFieldEditing : public BlobFields {};

TEST_P(BlobFieldEditing, CancelDropsTheNewValueAndClearFreesTheOldOne) {
  Append(1, Noise(2 * PageDataSize), "primera");
  table.Edit();
  Doc().SetAsBytes(Noise(10, 3));
  table.Cancel();
  EXPECT_EQ(Doc().AsBytes(), Noise(2 * PageDataSize));

  table.Edit();
  Doc().Clear();
  Notes().SetAsString("segunda");
  EXPECT_TRUE(Doc().IsNull());
  table.Post();
  table.Close();
  table.Open();
  EXPECT_TRUE(Doc().IsNull());
  EXPECT_EQ(Notes().AsString(), "segunda");
  table.Close();
  EXPECT_EQ(Problems(), std::vector<std::string>());
}

TEST_P(BlobFieldEditing, StreamsLoadSaveAndWriteOnlyOnePerField) {
  table.Insert();
  table.FieldByName("id").SetAsInteger(1);
  TZDBMemoryStream source;
  const Bytes value = TextLike(5000);
  source.Write(value.data(), static_cast<int64_t>(value.size()));
  source.SetPosition(0);
  Doc().LoadFromStream(source);

  // A stream left open for writing is stored by the post; a second one is refused.
  std::unique_ptr<TStream> open = table.CreateBlobStream(Notes(), data::TBlobStreamMode::bmWrite);
  const std::string text = "escrito por el flujo";
  open->Write(text.data(), static_cast<int64_t>(text.size()));
  const RaisedError second = ErrorOf([&] { table.CreateBlobStream(Notes(), data::TBlobStreamMode::bmWrite); });
  EXPECT_EQ(second.code, 10115);
  EXPECT_EQ(second.message, "BLOB field already opened. FieldNo = 2, FieldName = Notes");
  table.Post();
  open.reset();

  TZDBMemoryStream saved;
  Doc().SaveToStream(saved);
  EXPECT_EQ(saved.Size(), 5000);
  EXPECT_EQ(Notes().AsString(), text);

  // Reading streams refuse to write; outside an edit a writing stream is refused.
  std::unique_ptr<TStream> reading = table.CreateBlobStream(Doc(), data::TBlobStreamMode::bmRead);
  EXPECT_EQ(ErrorOf([&] { reading->Write("x", 1); }).code, 10115);
  EXPECT_EQ(ErrorOf([&] { reading->SetSize(0); }).code, 10116);
  reading.reset();
  table.CloseBlob(Doc());
  EXPECT_EQ(ErrorOf([&] { Doc().SetAsString("x"); }).code, 10007);

  auto& wide = dynamic_cast<data::TBlobField&>(table.FieldByName("Wide"));
  table.Edit();
  wide.SetAsString(std::string("h\0o\0l\0a\0", 8));
  table.Post();
  EXPECT_EQ(wide.AsBytes(), Bytes({'h', 0, 'o', 0, 'l', 0, 'a', 0}));
}

INSTANTIATE_TEST_SUITE_P(Plain, BlobFieldEditing, ::testing::Values(CompressionNone));

// Values read from BLOB fields are held in memory for the record buffer that shows them.
// Whatever the dataset does with its buffers afterwards, it must give them all back: the
// table's last close fails with 20150 "Blob cache not released" otherwise.
class BlobValuesReleased;
struct ReleaseCase {
  const char* name;
  std::function<void(BlobValuesReleased&)> path;
};

class BlobValuesReleased : public ::testing::TestWithParam<ReleaseCase> {
 public:
  // Three rows with values in both fields; ids are unique.
  void SetUp() override {
    CreateDatabaseFile(path);
    {
      Connection connection(path, false);
      TZDBFieldDefs fields;
      fields.Add(Field("id", TZDBLogicalType::Integer));
      fields.Add(Field("Doc", TZDBLogicalType::Blob));
      fields.Add(Field("Notes", TZDBLogicalType::Memo));
      TZDBIndexDefs indexes;
      auto byID = std::make_unique<TZDBIndexDef>();
      byID->SetName("ID");
      byID->SetColumns({{"id"}});
      byID->SetUnique(true);
      indexes.Add(std::move(byID));
      CreateDiskTable(connection.Data(), connection.session, "Docs", fields, indexes, {});
    }
    database.SetDatabaseName("Docs");
    database.SetDatabaseFileName(path);
    table.SetDatabaseName("Docs");
    table.SetTableName("Docs");
    table.SetIndexName("ID");
    table.Open();
    for (int32_t id = 1; id <= 3; ++id) Append(id, static_cast<size_t>(id) * 3000);
    table.Close();
  }

  data::TBlobField& Doc() { return dynamic_cast<data::TBlobField&>(table.FieldByName("Doc")); }
  data::TMemoField& Notes() { return dynamic_cast<data::TMemoField&>(table.FieldByName("Notes")); }
  void Append(int32_t id, size_t docSize) {
    table.Append();
    table.FieldByName("id").SetAsInteger(id);
    Doc().SetAsBytes(Noise(docSize, static_cast<uint32_t>(id)));
    Notes().SetAsString("nota " + std::to_string(id));
    table.Post();
  }
  // Reads both values of every row, first to last, and of the last one again backwards.
  void ReadAll() {
    for (table.First(); !table.Eof(); table.Next()) {
      Doc().AsBytes();
      Notes().AsString();
    }
    table.Prior();
    Doc().AsBytes();
  }

  ScratchFolder folder;
  std::string path = folder.File("docs.zdb");
  TZDBDatabase database;
  TZDBTable table;
};

TEST_P(BlobValuesReleased, NoValueOutlivesTheDatasetsBuffers) {
  // The dataset as the table's only cursor: its close frees the BLOB manager.
  table.Open();
  GetParam().path(*this);
  const RaisedError closing = ErrorOf([&] { table.Close(); });
  EXPECT_EQ(closing.code, 0) << closing.message;

  // Again while another cursor keeps the table data: nothing of the dataset stays listed.
  Connection connection(path, false);
  TZDBTableCursor holder(connection.session, "Docs");
  TZDBOpenTable held(connection.Data(), holder);
  table.Open();
  GetParam().path(*this);
  table.Close();
  EXPECT_EQ(held.Data().BlobManager()->InMemoryValueCount(), 0u);
}

const ReleaseCase ReleaseCases[] = {
  ReleaseCase{"Browse", [](BlobValuesReleased& t) { t.ReadAll(); }},
  ReleaseCase{"BrowseThenAppend",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.Append();
                t.table.FieldByName("id").SetAsInteger(10 + t.table.RecordCount());
                t.Doc().SetAsBytes(Noise(100));
                t.Notes().SetAsString("nueva");
                t.table.Post();
                t.Doc().AsBytes();
              }},
  ReleaseCase{"BrowseThenInsert",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.First();
                t.Doc().AsBytes();
                t.table.Insert();
                t.table.FieldByName("id").SetAsInteger(20 + t.table.RecordCount());
                t.Doc().SetAsBytes(Noise(100));
                t.table.Post();
                t.Notes().AsString();
              }},
  ReleaseCase{"Refresh",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.Refresh();
                t.Doc().AsBytes();
              }},
  ReleaseCase{"KeySearch",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                EXPECT_TRUE(t.table.FindKey({PlatformVariant::Integral(TVarType::Integer, 2)}));
                t.Doc().AsBytes();
              }},
  ReleaseCase{"EditThenCancel",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.First();
                t.Doc().AsBytes();
                t.table.Edit();
                t.Notes().AsString();
                t.Doc().SetAsBytes(Noise(50));
                t.table.Cancel();
                t.Doc().AsBytes();
              }},
  ReleaseCase{"EditThenPost",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.Edit();
                t.Doc().SetAsBytes(Noise(5000, 9));
                t.table.Post();
                t.Doc().AsBytes();
              }},
  ReleaseCase{"OldValueWhileEditing",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.Edit();
                t.Doc().SetAsBytes(Noise(50));
                EXPECT_EQ(t.Doc().OldValue().Type(), TVarType::String);
                t.table.Cancel();
              }},
  ReleaseCase{"InsertThenCancel",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.Insert();
                t.Doc().SetAsBytes(Noise(50));
                t.table.Cancel();
                t.Doc().AsBytes();
              }},
  ReleaseCase{"Delete",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.Last();
                t.Doc().AsBytes();
                t.table.Delete();
                t.Doc().AsBytes();
              }},
  ReleaseCase{"FailedInsertThenCancel",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.Append();
                t.table.FieldByName("id").SetAsInteger(1);
                t.Doc().SetAsBytes(Noise(50));
                EXPECT_ANY_THROW(t.table.Post());
                t.table.Cancel();
                t.Doc().AsBytes();
              }},
  ReleaseCase{"FailedEditThenClose",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.Last();
                t.table.Edit();
                t.table.FieldByName("id").SetAsInteger(1);
                t.Doc().SetAsBytes(Noise(50));
                EXPECT_ANY_THROW(t.table.Post());
              }},
  ReleaseCase{"CloseWhileInserting",
              [](BlobValuesReleased& t) {
                t.ReadAll();
                t.table.Append();
                t.Doc().SetAsBytes(Noise(50));
              }},
};

INSTANTIATE_TEST_SUITE_P(Paths, BlobValuesReleased, ::testing::ValuesIn(ReleaseCases),
                         [](const ::testing::TestParamInfo<ReleaseCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace zdb::testing
