// Large values through the disk table data: stored with every compression algorithm at
// the sizes where their storage changes, rewritten, freed with their rows and tables,
// rolled back, and checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBCompression.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/table/ZDBTableCheck.h"
#include "tests/engine/table/support/BlobTestSupport.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

constexpr int32_t KeyField = 0;
constexpr int32_t DocField = 1;
constexpr int32_t NotesField = 2;
constexpr int32_t PageDataSize = 4096 - 40;
// The largest value a shared page takes (value + 24 < PageDataSize).
constexpr size_t SharedFit = PageDataSize - 25;

void CreateDocs(Connection& connection, uint8_t algorithm, uint8_t level) {
  TZDBFieldDefs fields;
  fields.Add(Field("id", TZDBLogicalType::Integer));
  auto doc = Field("Doc", TZDBLogicalType::Blob);
  doc->SetBlobCompressionAlgorithm(algorithm);
  doc->SetBlobCompressionMode(level);
  fields.Add(std::move(doc));
  fields.Add(Field("Notes", TZDBLogicalType::Memo));
  TZDBIndexDefs indexes;
  auto byId = std::make_unique<TZDBIndexDef>();
  byId->SetName("ById");
  byId->SetColumns({{"id"}});
  byId->SetUnique(true);
  indexes.Add(std::move(byId));
  CreateDiskTable(connection.Data(), connection.session, "Docs", fields, indexes, TZDBConstraintDefs());
}

class TableDataBlobs : public ::testing::Test {
 protected:
  void Open(uint8_t algorithm = CompressionNone, uint8_t level = 0) {
    CreateDatabaseFile(path);
    connection = std::make_unique<Connection>(path, false);
    CreateDocs(*connection, algorithm, level);
    Reopen();
  }
  void Reopen() {
    table.reset();
    cursor = std::make_unique<TZDBTableCursor>(connection->session, "Docs");
    table = std::make_unique<TZDBOpenTable>(connection->Data(), *cursor);
  }
  void TearDown() override {
    table.reset();
    cursor.reset();
    connection.reset();
  }

  TZDBDiskTableData& Data() const { return table->Data(); }
  Row Fields() const { return Row(*table); }

  // The value goes into the cursor's buffer through a stream, as a dataset writes it.
  void SetValue(int32_t fieldNo, const Bytes& value) {
    std::unique_ptr<TZDBBlobStream> stream = Data().OpenBlobStream(*cursor, true, fieldNo);
    if (!value.empty()) {
      ASSERT_EQ(stream->Write(value.data(), static_cast<int64_t>(value.size())), static_cast<int64_t>(value.size()));
    }
    Data().SaveBlobStream(*cursor, fieldNo, *stream);
  }
  Bytes Value(int32_t fieldNo) {
    std::unique_ptr<TZDBBlobStream> stream = Data().OpenBlobStream(*cursor, false, fieldNo);
    Bytes bytes(static_cast<size_t>(stream->Size()));
    if (!bytes.empty()) {
      EXPECT_EQ(stream->Read(bytes.data(), stream->Size()), stream->Size());
    }
    return bytes;
  }
  void Insert(int32_t id, const Bytes& doc, const Bytes& notes = {}) {
    Fields().Clear();
    Fields().SetInteger(KeyField, id);
    SetValue(DocField, doc);
    if (!notes.empty()) SetValue(NotesField, notes);
    PostInsert(Data(), *cursor);
  }
  // Positions on the row and reads it.
  void Go(int32_t id) {
    cursor->SetToBegin();
    while (Data().GetRecord(*cursor, grmNext) == grOK)
      if (Fields().Integer(KeyField) == id) return;
    FAIL() << "no row " << id;
  }
  void Update(int32_t id, const Bytes& doc) {
    Go(id);
    SetValue(DocField, doc);
    PostUpdate(Data(), *cursor);
  }
  TZDBBlobReference Reference(int32_t fieldNo) const {
    return TZDBBlobReference::Load(Fields().Buffer() + Fields().Field(fieldNo).MemoryOffset());
  }
  std::vector<std::string> Problems() { return CheckTable(Data(), cursor->SessionID()).Problems; }
  int32_t PageCount() { return connection->Data().DiskPageManager()->GetTotalPageCount(); }

  ScratchFolder folder;
  std::string path = folder.File("blobs.zdb");
  std::unique_ptr<Connection> connection;
  std::unique_ptr<TZDBTableCursor> cursor;
  std::unique_ptr<TZDBOpenTable> table;
};

struct AlgorithmCase {
  const char* name;
  uint8_t algorithm;
  uint8_t level;
  size_t largest;  // PPM is slow: its largest value is smaller
};

class TableDataBlobsByAlgorithm : public TableDataBlobs, public ::testing::WithParamInterface<AlgorithmCase> {};

TEST_P(TableDataBlobsByAlgorithm, ValuesOfEverySizeComeBackAsWritten) {
  const AlgorithmCase& param = GetParam();
  Open(param.algorithm, param.level);
  // Empty, one byte, the shared-page boundary, a few pages, several compressed blocks.
  const std::vector<size_t> sizes = {0, 1, SharedFit, SharedFit + 1, 3 * PageDataSize + 17, param.largest};
  for (size_t i = 0; i < sizes.size(); ++i)
    Insert(static_cast<int32_t>(i), TextLike(sizes[i], static_cast<uint32_t>(i + 1)), Noise(i * 100));
  Reopen();
  for (size_t i = 0; i < sizes.size(); ++i) {
    SCOPED_TRACE("size " + std::to_string(sizes[i]));
    Go(static_cast<int32_t>(i));
    EXPECT_EQ(Fields().IsNull(DocField), sizes[i] == 0);
    EXPECT_EQ(Value(DocField), TextLike(sizes[i], static_cast<uint32_t>(i + 1)));
    EXPECT_EQ(Value(NotesField), Noise(i * 100));
  }
  EXPECT_EQ(Problems(), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(Algorithms, TableDataBlobsByAlgorithm,
                         ::testing::Values(AlgorithmCase{"none", CompressionNone, 0, 10u << 20},
                                           AlgorithmCase{"zlib", CompressionZlib, 6, 10u << 20},
                                           AlgorithmCase{"bzip2", CompressionBzip, 9, 10u << 20},
                                           AlgorithmCase{"ppm", CompressionPPM, 4, 256u << 10}),
                         [](const ::testing::TestParamInfo<AlgorithmCase>& each) { return each.param.name; });

TEST_F(TableDataBlobs, ACompressedFieldNeedsALevelFrom1To9) {
  CreateDatabaseFile(path);
  connection = std::make_unique<Connection>(path, false);
  for (const uint8_t level : {0, 10}) {
    const RaisedError refused = ErrorOf([&] { CreateDocs(*connection, CompressionZlib, level); });
    EXPECT_EQ(refused.code, 20257);
    EXPECT_EQ(refused.message,
              "Invalid BlobCompressionMode (must be in 1..9 range) for blob field 'Doc'. Cannot create table 'Docs'");
  }
  CreateDocs(*connection, CompressionNone, 0);  // no compression needs no level
}

TEST_F(TableDataBlobs, AValueGoesOnASharedPageUpToItsFitAndIntoAChainBeyond) {
  Open();
  Insert(1, Noise(SharedFit));
  Insert(2, Noise(SharedFit + 1));
  Go(1);
  EXPECT_NE(Reference(DocField).BlobID, TZDBBlobReference::ChainID);
  Go(2);
  EXPECT_EQ(Reference(DocField).BlobID, TZDBBlobReference::ChainID);
  // An empty value stores nothing: the field is NULL with no reference.
  Insert(3, {});
  Go(3);
  EXPECT_TRUE(Fields().IsNull(DocField));
  EXPECT_FALSE(Reference(DocField).HasValue());
}

TEST_F(TableDataBlobs, RewritingAValueLargeSmallLargeReusesItsPages) {
  Open(CompressionZlib, 1);
  Insert(1, Noise(10));
  Insert(2, Noise(20));
  const Bytes large = Noise(5 * PageDataSize);
  const Bytes small = Noise(100, 7);
  Update(1, large);
  const int32_t pagesAfterFirst = PageCount();
  for (int i = 0; i < 1000; ++i) Update(1, i % 2 == 0 ? small : large);
  // Every stored value left memory with its row.
  EXPECT_EQ(Data().BlobManager()->InMemoryValueCount(), 0u);
  Go(1);
  EXPECT_EQ(Value(DocField), large);
  Go(2);
  EXPECT_EQ(Value(DocField), Noise(20));
  // The file grew by the pages of one large value at most, never by one per rewrite.
  EXPECT_LE(PageCount(), pagesAfterFirst + 8);
  EXPECT_EQ(Problems(), std::vector<std::string>());
}

TEST_F(TableDataBlobs, DeletingRowsEmptyingAndDroppingTheTableFreeTheValues) {
  Open();
  const auto fill = [&] {
    for (int32_t id = 0; id < 6; ++id) Insert(id, Noise(id % 2 == 0 ? 50 : 3 * PageDataSize, id), Noise(30, id));
  };
  fill();
  const int32_t filled = PageCount();
  for (int32_t id = 0; id < 6; ++id) {
    Go(id);
    PostDelete(Data(), *cursor);
  }
  EXPECT_EQ(Problems(), std::vector<std::string>());
  fill();  // the freed pages take the same values again
  EXPECT_EQ(PageCount(), filled);

  table.reset();
  {
    TZDBTableCursor emptying(connection->session, "Docs");
    TZDBDiskTableData& data = DiskTableDataOf(connection->Data(), "Docs");
    data.EmptyTable(emptying);
    ReleaseDiskTableData(data);
  }
  Reopen();
  EXPECT_EQ(Problems(), std::vector<std::string>());
  fill();
  EXPECT_EQ(PageCount(), filled);

  table.reset();
  {
    TZDBTableCursor deleting(connection->session, "Docs");
    TZDBDiskTableData& data = DiskTableDataOf(connection->Data(), "Docs");
    data.DeleteTable(deleting, false);
    ReleaseDiskTableData(data);
  }
  // A new table with the same values fits into what the old one left.
  CreateDocs(*connection, CompressionNone, 0);
  Reopen();
  fill();
  EXPECT_EQ(PageCount(), filled);
  EXPECT_EQ(Problems(), std::vector<std::string>());
}

TEST_F(TableDataBlobs, ARolledBackWriteLeavesTheStoredValueAndTheRowCanBePostedAgain) {
  Open();
  Insert(1, Noise(3 * PageDataSize));
  connection->session.SetInTransaction(true);
  Update(1, Noise(80, 9));
  Go(1);
  EXPECT_EQ(Value(DocField), Noise(80, 9));
  Data().Rollback(cursor->SessionID(), false);
  Data().AfterRollback(cursor->SessionID());
  connection->session.SetInTransaction(false);
  Go(1);
  EXPECT_EQ(Value(DocField), Noise(3 * PageDataSize));
  EXPECT_EQ(Problems(), std::vector<std::string>());

  // A post refused by a unique key keeps the new value in the buffer for a second post.
  Insert(2, Noise(10));
  Go(2);
  SetValue(DocField, Noise(2 * PageDataSize, 5));
  Fields().SetInteger(KeyField, 1);
  EXPECT_ANY_THROW(PostUpdate(Data(), *cursor));
  Fields().SetInteger(KeyField, 3);
  PostUpdate(Data(), *cursor);
  Go(3);
  EXPECT_EQ(Value(DocField), Noise(2 * PageDataSize, 5));
  EXPECT_EQ(Problems(), std::vector<std::string>());
}

TEST_F(TableDataBlobs, ACopiedRowGetsAValueOfItsOwnAndNullingAFieldFreesItsValue) {
  Open();
  Insert(1, Noise(3 * PageDataSize), Noise(40));
  Go(1);
  // The row's buffer, references and all, posted as a new row.
  Fields().SetInteger(KeyField, 2);
  PostInsert(Data(), *cursor);
  Go(1);
  Fields().SetNull(DocField);
  Fields().SetNull(NotesField);
  PostUpdate(Data(), *cursor);
  Go(2);
  EXPECT_EQ(Value(DocField), Noise(3 * PageDataSize));
  EXPECT_EQ(Value(NotesField), Noise(40));
  Go(1);
  EXPECT_TRUE(Fields().IsNull(DocField));
  EXPECT_FALSE(Reference(DocField).HasValue());
  EXPECT_EQ(Problems(), std::vector<std::string>());
}

TEST_F(TableDataBlobs, TheCheckFindsValuesThatRowsLostOrShare) {
  Open();
  Insert(1, Noise(50), Noise(3 * PageDataSize));
  Insert(2, Noise(60));
  ASSERT_EQ(Problems(), std::vector<std::string>());
  // Behind the table's back: row 1 forgets its shared value, row 2 names row 1's chain.
  Go(1);
  const TZDBBlobReference chain = Reference(NotesField);
  Fields().SetNull(DocField);
  TZDBBlobReference::None().Save(Fields().Buffer() + Fields().Field(DocField).MemoryOffset());
  ASSERT_TRUE(Data().RecordManager()->UpdateRecord(cursor->SessionID(), Fields().Buffer(), cursor->RecordID()));
  Go(2);
  chain.Save(Fields().Buffer() + Fields().Field(NotesField).MemoryOffset());
  SetFieldNull(Fields().Buffer(), NotesField, false);
  ASSERT_TRUE(Data().RecordManager()->UpdateRecord(cursor->SessionID(), Fields().Buffer(), cursor->RecordID()));
  Data().Commit(cursor->SessionID(), false);

  const std::vector<std::string> problems = Problems();
  ASSERT_EQ(problems.size(), 2u) << ::testing::PrintToString(problems);
  EXPECT_NE(problems[0].find("field 'Notes': BLOB page " + std::to_string(chain.PageNo) +
                             " of its page chain is also used by row"),
            std::string::npos)
      << problems[0];
  EXPECT_NE(problems[1].find("holds value 0, which no row names"), std::string::npos) << problems[1];
}

}  // namespace
}  // namespace zdb::testing
