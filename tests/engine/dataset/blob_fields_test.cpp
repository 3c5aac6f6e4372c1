// BLOB and MEMO fields through the table component: values written and read through
// the field objects and their streams, kept by the post, dropped by the cancel, cleared,
// and a field refusing a second writing stream.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/dataset/ZDBTable.h"
#include "engine/file/ZDBCompression.h"
#include "engine/file/ZDBException.h"
#include "engine/file/ZDBMemoryStream.h"
#include "engine/table/ZDBTableCheck.h"
#include "platform/data/BlobFields.h"
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

}  // namespace
}  // namespace zdb::testing
