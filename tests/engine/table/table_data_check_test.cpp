// The check of a table's rows finds record pages that disagree with the record-page
// index and rows that an index has lost.
#include <gtest/gtest.h>

#include "engine/file/ZDBPageRef.h"
#include "engine/table/ZDBSmallRecordPage.h"
#include "engine/table/ZDBTableCheck.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

class TableDataCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDatabaseFile(path);
    connection = std::make_unique<Connection>(path, false);
    CreateMaximo(*connection);
    cursor = std::make_unique<TZDBTableCursor>(connection->session, "Maximo");
    table = std::make_unique<TZDBOpenTable>(connection->Data(), *cursor);
    for (int32_t year = 2000; year < 2010; ++year) InsertYear(*table, year);
  }
  void TearDown() override {
    table.reset();
    cursor.reset();
    connection.reset();
  }

  // Changes the first record page behind the table's back and commits it.
  void DamageFirstPage(const std::function<void(TZDBSmallRecordPage&)>& damage) {
    TZDBDiskRecordManager& records = *table->Data().DiskRecordManager();
    const int32_t session = cursor->SessionID();
    int32_t pageNo = 0;
    ASSERT_TRUE(records.PageIndex().FirstPage(session, pageNo));
    {
      TZDBPageRef page(table->Data().PageManager(), session, pageNo, true, TZDBSmallRecordPage::PageType);
      TZDBSmallRecordPage view(*page, records.StoredRecordSize(), records.RecordsPerPage());
      damage(view);
      page->MarkDirty();
    }
    table->Data().PageManager().ApplyChanges(session);
  }

  std::vector<std::string> Problems() { return CheckTable(table->Data(), cursor->SessionID()).Problems; }

  ScratchFolder folder;
  std::string path = folder.File("check.zdb");
  std::unique_ptr<Connection> connection;
  std::unique_ptr<TZDBTableCursor> cursor;
  std::unique_ptr<TZDBOpenTable> table;
};

TEST_F(TableDataCheck, ASoundTableHasNoProblems) { EXPECT_TRUE(Problems().empty()); }

TEST_F(TableDataCheck, ARowMissingFromItsPageIsReported) {
  DamageFirstPage([](TZDBSmallRecordPage& page) { page.DeleteRecord(page.RecordAt(3)); });
  const std::vector<std::string> problems = Problems();
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems[0].find("holds 9 rows, the record-page index lists 10"), std::string::npos) << problems[0];
}

TEST_F(TableDataCheck, ARowWhoseKeyChangedUnderItsIndexIsReported) {
  const TZDBBaseFieldManager& fields = *table->Data().FieldManager();
  const int32_t keyOffset = fields.FieldDefs().Items(0).StoredOffset();
  DamageFirstPage([&](TZDBSmallRecordPage& page) {
    std::vector<uint8_t> stored(static_cast<size_t>(fields.StoredRecordSize()));
    const TZDBRecordID recordID = page.RecordAt(4);
    ASSERT_TRUE(page.ReadRecord(recordID, stored.data()));
    le::PutI32(stored.data() + keyOffset, 1999);
    ASSERT_TRUE(page.UpdateRecord(stored.data(), recordID));
  });
  const std::vector<std::string> problems = Problems();
  ASSERT_EQ(problems.size(), 1u) << ::testing::PrintToString(problems);
  EXPECT_NE(problems[0].find("slot 4) has no entry in index 'ANY'"), std::string::npos) << problems[0];
}

}  // namespace
}  // namespace zdb::testing
