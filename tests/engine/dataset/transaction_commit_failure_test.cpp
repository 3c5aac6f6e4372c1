// A transaction whose Commit fails, seen from the components: it is still open, whole,
// when the file could be put back as the commit found it (a full disk), and over, rows and
// all, when the commit had to be rolled back from the journal (a failed flush).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBTable.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb::testing {
namespace {

class TransactionCommitFailure : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    CreateDatabaseFile(path);
    {
      Connection connection(path, false);
      CreateMaximo(connection);
    }
    database.SetDatabaseName("Zelmarot");
    database.SetDatabaseFileName(path);
    database.SetMultiUser(GetParam());
    database.SetFileSystem(disk);
    database.Open();
    maximo.SetDatabaseName("Zelmarot");
    maximo.SetTableName("Maximo");
    maximo.Open();
  }
  void TearDown() override {
    maximo.Close();
    database.Close();
  }

  void InsertYears(int32_t first, int32_t count) {
    for (int32_t year = first; year < first + count; ++year) {
      maximo.Insert();
      maximo.FieldByName("any").SetAsInteger(year);
      maximo.FieldByName("PenMax").SetAsFloat(3000.0);
      maximo.Post();
    }
  }

  int Rows() {
    maximo.Refresh();
    return maximo.RecordCount();
  }

  ScratchFolder folder;
  std::string path = folder.File("Zelmarot.zdb");
  os::FaultInjectingFileSystem disk{os::FileSystem::Default()};
  TZDBDatabase database;
  TZDBTable maximo;
};

TEST_P(TransactionCommitFailure, AFullDiskKeepsTheTransactionForAnotherCommit) {
  database.StartTransaction();
  InsertYears(1000, 2000);  // enough new pages to grow the file past what it held
  disk.FillDiskAfterWrites(3);
  EXPECT_THROW(database.Commit(true), EZDBException);
  EXPECT_TRUE(database.InTransaction());
  disk.ClearFaults();
  database.Commit(true);
  EXPECT_FALSE(database.InTransaction());
  EXPECT_EQ(Rows(), 2000);
}

TEST_P(TransactionCommitFailure, AFailedFlushEndsTheTransactionWithoutItsRows) {
  InsertYears(1, 10);
  database.StartTransaction();
  InsertYears(1000, 300);
  disk.Reset();
  disk.FailCall(os::FileOperation::Flush, 2, os::win32::GenFailure);  // the pages' flush
  EXPECT_THROW(database.Commit(true), EZDBException);
  EXPECT_FALSE(database.InTransaction()) << "the rollback is said, not left to find out";
  EXPECT_EQ(Rows(), 10);
  InsertYears(2000, 1);
  EXPECT_EQ(Rows(), 11);
}

INSTANTIATE_TEST_SUITE_P(Modes, TransactionCommitFailure, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                           return mode.param ? "MultiUser" : "SingleUser";
                         });

}  // namespace
}  // namespace zdb::testing
