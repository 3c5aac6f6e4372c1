// The editing cycle between processes: a second copy of the program (the peer) works on
// table "Maximo" of the same file, made by the zdb tool as the program's own file is.
// Changes and deletes by the other process are refused with their codes, a row being
// edited is locked until the edit ends however it ends, a failed check keeps the edit
// going with nothing stored, and two copies adding to one row at once lose nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/dataset/ZDBEngineError.h"
#include "engine/dataset/ZDBMain.h"
#include "tests/support/ChildProcess.h"
#include "tests/engine/file/support/DiskTestSupport.h"

namespace zdb::testing {
namespace {

PlatformVariant Year(int32_t year) { return PlatformVariant::Integral(TVarType::Integer, year); }

// The peer answers 0 or the engine code of the editing cycle.
int32_t Code(long long reply) { return static_cast<int32_t>(reply); }

// Runs the zdb tool; true when it succeeded.
bool Zdb(const std::string& arguments) {
  return std::system((std::string("'") + ZDB_TOOL_PATH + "' " + arguments + " >/dev/null </dev/null").c_str()) == 0;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class MultiProcessEdit : public ::testing::Test {
 protected:
  static constexpr double PenMax2023 = 2000.5;

  void SetUp() override {
    const std::string csv = folder.File("maximo.csv");
    std::ofstream(csv) << "any,PenMax,TopeCot\n2022,1900.25,4000\n2023,2000.5,4100\n2024,2100.75,4200\n"
                          "2025,2200,4300\n";
    ASSERT_TRUE(Zdb("create " + Quoted(path)));
    ASSERT_TRUE(Zdb("create-table " + Quoted(path) +
                    " Maximo --field any:INTEGER --field PenMax:FLOAT --field TopeCot:FLOAT --index ANY:any:primary"));
    ASSERT_TRUE(Zdb("load " + Quoted(path) + " Maximo " + Quoted(csv)));

    database.SetDatabaseName("Zelmarot");
    database.SetDatabaseFileName(path);
    database.SetMultiUser(true);
    table.SetDatabaseName("Zelmarot");
    table.SetTableName("Maximo");
    table.SetIndexName("ANY");
    table.Open();
    ASSERT_EQ(Code(peer.Run("open " + path)), 0);
  }
  void TearDown() override { table.Close(); }

  // The stored rows as a new read finds them.
  std::vector<int32_t> StoredYears() {
    table.Refresh();
    std::vector<int32_t> years;
    for (table.First(); !table.Eof(); table.Next()) years.push_back(table.FieldByName("any").AsInteger());
    return years;
  }
  double StoredPenMax(int32_t year) {
    table.Refresh();
    EXPECT_TRUE(table.FindKey({Year(year)})) << year;
    return table.FieldByName("PenMax").AsFloat();
  }

  // The text of the engine error the call raised; empty when none was raised.
  static std::string EngineErrorText(const std::function<void()>& call) {
    try {
      call();
    } catch (const EZDBEngineError& e) {
      return e.what();
    }
    return {};
  }

  test::TempFolder folder;
  std::string path = folder.File("Zelmarot.zdb");
  zdbtest::ChildProcess peer{ZDB_DATASET_PEER_PATH};
  TZDBDatabase database;
  TZDBTable table;
};

TEST_F(MultiProcessEdit, ARowChangedOrDeletedByTheOtherProcessIsRefusedAndKeepsTheirRow) {
  struct Case {
    int32_t year;
    bool peerDeletes;  // else the peer changes PenMax to 1
    bool weDelete;     // else we start an edit
    std::string error;
  };
  const std::vector<Case> cases = {
      {2022, false, false, "Engine Error # -4 Error updating record - record was modified by other process"},
      {2023, false, true, "Engine Error # -5 Error deleting record - record was modified by other process"},
      {2024, true, false, "Engine Error # -6 Error updating record - record was deleted by other process"},
      {2025, true, true, "Engine Error # -7 Error deleting record - record was deleted by other process"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(table.FindKey({Year(c.year)}));  // what our window shows from now on
    ASSERT_EQ(Code(peer.Run("find " + std::to_string(c.year))), 0);
    if (c.peerDeletes) {
      ASSERT_EQ(Code(peer.Run("delete")), 0);
    } else {
      ASSERT_EQ(Code(peer.Run("edit")), 0);
      ASSERT_EQ(Code(peer.Run("set PenMax 1")), 0);
      ASSERT_EQ(Code(peer.Run("post")), 0);
    }
    EXPECT_EQ(EngineErrorText([&] { c.weDelete ? table.Delete() : table.Edit(); }), c.error) << c.year;
    EXPECT_EQ(table.State(), data::TDataSetState::dsBrowse) << c.year;
    // The window keeps what the user saw; the file keeps the other process's work.
    EXPECT_EQ(table.FieldByName("any").AsInteger(), c.year);
    if (!c.peerDeletes) {
      EXPECT_DOUBLE_EQ(StoredPenMax(c.year), 1) << c.year;
    }
  }
  EXPECT_EQ(StoredYears(), (std::vector<int32_t>{2022, 2023}));

  // After a refresh the row can be edited again, and now the other process's window is
  // the stale one.
  ASSERT_TRUE(table.FindKey({Year(2022)}));
  ASSERT_EQ(Code(peer.Run("find 2022")), 0);
  table.Edit();
  table.FieldByName("PenMax").SetAsFloat(2);
  table.Post();
  EXPECT_EQ(Code(peer.Run("edit")), engine_code::UpdateModifiedByOther);
  EXPECT_DOUBLE_EQ(StoredPenMax(2022), 2);
}

TEST_F(MultiProcessEdit, ARowBeingEditedIsLockedUntilTheEditEndsHoweverItEnds) {
  ASSERT_EQ(Code(peer.Run("find 2023")), 0);
  ASSERT_EQ(Code(peer.Run("edit")), 0);
  ASSERT_TRUE(table.FindKey({Year(2023)}));
  // After the bounded wait for the row lock.
  EXPECT_EQ(EngineErrorText([&] { table.Edit(); }), "Engine Error # -12 Record is locked");
  EXPECT_EQ(table.State(), data::TDataSetState::dsBrowse);
  // The other rows stay free.
  ASSERT_TRUE(table.FindKey({Year(2024)}));
  table.Edit();
  table.Cancel();

  // Cancelling, closing the table in edit state and the process dying all free the row.
  const std::vector<std::string> endings = {"cancel", "close", "kill"};
  for (const std::string& ending : endings) {
    if (ending != "cancel") {
      ASSERT_EQ(Code(peer.Run("open " + path)), 0) << ending;
      ASSERT_EQ(Code(peer.Run("find 2023")), 0) << ending;
      ASSERT_EQ(Code(peer.Run("edit")), 0) << ending;
    }
    if (ending == "kill")
      peer.Kill();
    else
      ASSERT_EQ(Code(peer.Run(ending)), 0) << ending;
    ASSERT_TRUE(table.FindKey({Year(2023)}));
    EXPECT_EQ(EngineErrorText([&] { table.Edit(); }), "") << ending;
    table.Cancel();
  }
}

TEST_F(MultiProcessEdit, AFailedCheckKeepsTheEditAndItsLockWithNothingStored) {
  ASSERT_TRUE(table.FindKey({Year(2023)}));
  table.Edit();
  table.FieldByName("any").SetAsInteger(2024);  // the primary key's duplicate
  table.FieldByName("PenMax").SetAsFloat(7);
  EXPECT_EQ(EngineErrorText([&] { table.Post(); }),
            "Engine Error # -8 Primary Key constraint 'C_PK$any' violated. Duplicate found. - Native error: 30319");
  EXPECT_EQ(table.State(), data::TDataSetState::dsEdit);
  EXPECT_EQ(table.FieldByName("any").AsInteger(), 2024);

  // Still ours: the other process cannot edit the row until the edit is cancelled.
  ASSERT_EQ(Code(peer.Run("find 2023")), 0);
  EXPECT_EQ(Code(peer.Run("edit")), engine_code::RecordLocked);
  table.Cancel();
  EXPECT_EQ(Code(peer.Run("edit")), 0);
  EXPECT_EQ(Code(peer.Run("cancel")), 0);

  EXPECT_EQ(StoredYears(), (std::vector<int32_t>{2022, 2023, 2024, 2025}));
  EXPECT_DOUBLE_EQ(StoredPenMax(2023), PenMax2023);
  EXPECT_DOUBLE_EQ(StoredPenMax(2024), 2100.75);
}

// A delete waits for the table while another process's post holds it, and only then asks
// for the row: it succeeds once the other process lets both go, instead of giving up on
// the row lock while the table is still taken.
TEST_F(MultiProcessEdit, ADeleteDuringTheOtherProcesssPostWaitsAndThenSucceeds) {
  constexpr int HoldMs = 3000;  // longer than the row lock's own wait
  ASSERT_EQ(Code(peer.Run("start")), 0);
  ASSERT_EQ(Code(peer.Run("find 2022")), 0);
  ASSERT_EQ(Code(peer.Run("edit")), 0);
  ASSERT_EQ(Code(peer.Run("set PenMax 9")), 0);
  ASSERT_EQ(Code(peer.Run("post")), 0);  // the table's write lock stays until the commit
  ASSERT_EQ(Code(peer.Run("find 2023")), 0);
  ASSERT_EQ(Code(peer.Run("edit")), 0);  // and the row lock until the edit ends
  ASSERT_TRUE(table.FindKey({Year(2023)}));
  ASSERT_EQ(Code(peer.Run("end-after " + std::to_string(HoldMs))), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(EngineErrorText([&] { table.Delete(); }), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(HoldMs / 2));
  EXPECT_EQ(Code(peer.Run("result")), 0);
  EXPECT_EQ(StoredYears(), (std::vector<int32_t>{2022, 2024, 2025}));
  EXPECT_DOUBLE_EQ(StoredPenMax(2022), 9);
}

TEST_F(MultiProcessEdit, TheProgramsEditingSequenceAndTwoCopiesAddingAtOnceLoseNothing) {
  ASSERT_EQ(Code(peer.Run("maximo")), 0);
  EXPECT_EQ(StoredYears(), (std::vector<int32_t>{2022, 2023, 2024, 2025, 2027}));
  EXPECT_DOUBLE_EQ(StoredPenMax(2023), PenMax2023 + 1);
  EXPECT_DOUBLE_EQ(StoredPenMax(2027), 3500.5);

  // Each copy adds its own amount, so a lost addition of either shows in the sum.
  constexpr int Times = 40;
  zdbtest::ChildProcess other{ZDB_DATASET_PEER_PATH};
  ASSERT_EQ(Code(other.Run("open " + path)), 0);
  ASSERT_EQ(Code(peer.Run("add 2023 1 " + std::to_string(Times))), 0);
  ASSERT_EQ(Code(other.Run("add 2023 10 " + std::to_string(Times))), 0);
  EXPECT_EQ(Code(peer.Run("result")), 0);
  EXPECT_EQ(Code(other.Run("result")), 0);
  EXPECT_DOUBLE_EQ(StoredPenMax(2023), PenMax2023 + 1 + Times * 1 + Times * 10);
  EXPECT_EQ(StoredYears(), (std::vector<int32_t>{2022, 2023, 2024, 2025, 2027}));

  table.Close();
  EXPECT_TRUE(Zdb("check " + Quoted(path)));
}

}  // namespace
}  // namespace zdb::testing
