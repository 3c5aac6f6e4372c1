// The disk database data object: creating a database file, sessions joining and leaving
// it, commit and rollback, the table list wrappers and trimming the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDatabaseDataRegistry.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBInternalDBTransactedAccessFile.h"
#include "engine/file/ZDBPageTypes.h"
#include "engine/file/ZDBSystemDirectory.h"
#include "support/DiskTestSupport.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::Raised;

constexpr int64_t PageAreaStart = 380;
constexpr int64_t PageSize = 4096;
constexpr int32_t System = TZDBPageManager::SystemSession;

TZDBSessionConnection MultiUserSession() {
  TZDBSessionConnection session;
  session.MultiUser = true;
  return session;
}

class DatabaseData : public testing::Test {
 protected:
  DatabaseData() { Create(path_); }

  static void Create(const std::string& path, int32_t slots = 500) {
    TZDBDiskDatabaseData creator(path);
    creator.SetSlotCount(slots);
    creator.CreateDatabase();
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("Zelmarot.zdb");
};

TEST_F(DatabaseData, NewFileHoldsTheSystemFilesOnTheirPages) {
  const std::vector<uint8_t> bytes = test::ReadBytes(path_);
  ASSERT_EQ(bytes.size(), 24956u);
  auto page = [&](int64_t pageNo) { return bytes.data() + PageAreaStart + pageNo * PageSize; };
  EXPECT_EQ(le::GetI32(bytes.data() + layout::HeaderTotalPageCountOffset), 6);
  EXPECT_EQ(bytes[layout::HeaderWriteStateOffset], layout::WriteStateConsistent);
  EXPECT_EQ(le::GetU16(page(2) + TZDBPage::PageTypeOffset), PageTypeCode(TZDBPageType::FileSystemDirectory));
  EXPECT_EQ(le::GetU16(page(3) + TZDBPage::PageTypeOffset), PageTypeCode(TZDBPageType::ActiveSessionList));
  EXPECT_EQ(le::GetU16(page(4) + TZDBPage::PageTypeOffset), PageTypeCode(TZDBPageType::TableList));
  for (int64_t p : {2, 3, 4}) EXPECT_EQ(le::GetI32(page(p) + TZDBPage::NextPageNoOffset), -1) << p;

  // Directory: 10 stored bytes, entries (2, 3) then (1, 4).
  const uint8_t* directory = page(2) + 40;
  EXPECT_EQ(directory[0], 10);
  EXPECT_EQ(le::GetI32(directory + 1), 10);
  EXPECT_EQ(le::GetI32(directory + 5), 10);
  EXPECT_EQ(directory[9], 0);
  EXPECT_EQ(directory[10], 2);
  EXPECT_EQ(le::GetI32(directory + 11), 3);
  EXPECT_EQ(directory[15], 1);
  EXPECT_EQ(le::GetI32(directory + 16), 4);
  // Session slots: 500 bytes, direct (no FileSize, no algorithm). Table list: empty.
  EXPECT_EQ(le::GetI32(page(3) + 40 + 1), 500);
  EXPECT_EQ(le::GetI32(page(3) + 40 + 5), 0);
  EXPECT_EQ(le::GetI32(page(4) + 40 + 1), 0);

  // Page 5 is the free one.
  TZDBDiskPageManager pages;
  bool multiUser = false, readOnly = true;
  pages.OpenDatabaseFile(path_, {}, multiUser, false, readOnly);
  for (int32_t p = 0; p <= 4; ++p) EXPECT_TRUE(pages.FreeSpaceManager().IsPageUsed(p)) << p;
  EXPECT_FALSE(pages.FreeSpaceManager().IsPageUsed(5));
}

TEST_F(DatabaseData, CreationSettingsShapeTheSystemFiles) {
  const struct {
    int32_t slots;
    int32_t tableListPage;
  } cases[] = {{1, 4}, {4046, 4}, {4047, 5}};  // 4046 + 10 bytes fill one 4056-byte area
  for (const auto& c : cases) {
    const std::string path = folder_.File("s" + std::to_string(c.slots) + ".zdb");
    Create(path, c.slots);
    TZDBDiskDatabaseData data(path);
    TZDBSessionConnection session = MultiUserSession();
    data.AddSession(session);
    EXPECT_EQ(data.SlotCount(), c.slots);
    EXPECT_EQ(data.SystemDirectory()->Find(TZDBSystemDirectory::ActiveSessionsFileId), 3);
    EXPECT_EQ(data.SystemDirectory()->Find(TZDBSystemDirectory::TableListFileId), c.tableListPage);
    data.RemoveSession(session);
  }

  // A creation that fails takes its half-made file away; bad geometry creates nothing.
  const std::string broken = folder_.File("broken.zdb");
  TZDBDiskDatabaseData creator(broken);
  creator.SetSlotCount(-1);
  EXPECT_EQ(Raised([&] { creator.CreateDatabase(); }).code, 20158);
  EXPECT_FALSE(std::filesystem::exists(broken));
  creator.SetSlotCount(500);
  creator.SetPageSize(70000);
  EXPECT_EQ(Raised([&] { creator.CreateDatabase(); }).text,
            ErrorText("Invalid page size: 70000. It must be from 64 to 65535", 30455));
  EXPECT_FALSE(std::filesystem::exists(broken));
}

TEST_F(DatabaseData, SessionsShareOneOpenFileAndItsSlots) {
  auto& registry = TZDBDatabaseDataRegistry::Instance();
  TZDBSessionConnection first = MultiUserSession(), second = MultiUserSession(), third = MultiUserSession();
  TZDBDiskDatabaseData& data = registry.Connect(path_, first);
  // Another spelling of the same file finds the same object.
  const std::string spelled = folder_.File("./../" + std::filesystem::path(path_).parent_path().filename().string() +
                                           "/Zelmarot.zdb");
  EXPECT_EQ(&registry.Connect(spelled, second), &data);
  EXPECT_EQ(first.SessionID, 0);
  EXPECT_EQ(second.SessionID, 1);
  EXPECT_TRUE(first.MultiUser);
  EXPECT_FALSE(first.NeedsRepair);

  registry.Disconnect(data, first);
  EXPECT_EQ(first.SessionID, -1);
  EXPECT_TRUE(data.IsOpen());
  EXPECT_EQ(&registry.Connect(path_, third), &data);
  EXPECT_EQ(third.SessionID, 0);  // the freed slot is taken again

  // A single-user session cannot join a multi-user process, and is not left half in.
  TZDBSessionConnection single;
  EXPECT_EQ(Raised([&] { registry.Connect(path_, single); }).text,
            ErrorText("Cannot open database in multi-user and signle-user mode at the same time", 20235));
  EXPECT_EQ(single.SessionID, -1);
  EXPECT_EQ(data.SessionCount(), 2u);

  registry.Disconnect(data, second);
  registry.Disconnect(data, third);
  EXPECT_EQ(registry.Find(path_), nullptr);
}

TEST_F(DatabaseData, SingleUserProcessesAndMultiUserProcessesExcludeEachOther) {
  // Two data objects on one file behave as two processes: each has its own handle.
  TZDBDiskDatabaseData multi(path_), single(path_);
  TZDBSessionConnection connected = MultiUserSession();
  multi.AddSession(connected);

  TZDBSessionConnection alone, another;
  single.AddSession(alone);
  EXPECT_FALSE(single.SlotsClaimed());
  EXPECT_TRUE(single.ReadOnly());
  EXPECT_TRUE(alone.ReadOnly);
  // It reads the way the others do: a slot of its own, the multi-user coordination.
  EXPECT_TRUE(alone.MultiUser);
  EXPECT_TRUE(single.MultiUser());
  EXPECT_TRUE(single.DiskPageManager()->MultiUser());
  EXPECT_NE(alone.SessionID, connected.SessionID);
  single.AddSession(another);
  EXPECT_TRUE(another.MultiUser && another.ReadOnly);
  EXPECT_NE(another.SessionID, alone.SessionID);
  single.RemoveSession(another);
  single.RemoveSession(alone);
  multi.RemoveSession(connected);
  EXPECT_FALSE(multi.IsOpen());

  // Now the single-user process comes first and holds every slot.
  TZDBSessionConnection owner, later;
  single.AddSession(owner);
  single.AddSession(later);
  EXPECT_TRUE(single.SlotsClaimed());
  EXPECT_FALSE(single.ReadOnly());
  EXPECT_EQ(later.SessionID, 0);
  TZDBSessionConnection refused = MultiUserSession();
  EXPECT_EQ(Raised([&] { multi.AddSession(refused); }).code, 20094);
  EXPECT_FALSE(multi.IsOpen());

  // Slots stay claimed until the last single-user session leaves.
  single.RemoveSession(owner);
  EXPECT_TRUE(single.SlotsClaimed());
  single.RemoveSession(later);
  EXPECT_FALSE(single.IsOpen());
  multi.AddSession(refused);
  EXPECT_EQ(refused.SessionID, 0);
  multi.RemoveSession(refused);
}

TEST_F(DatabaseData, FailedOpenLeavesNothingOpen) {
  const std::string notADatabase = folder_.File("text.zdb");
  test::WriteBytes(notADatabase, std::vector<uint8_t>(30000, 'x'));
  auto& registry = TZDBDatabaseDataRegistry::Instance();
  TZDBSessionConnection session = MultiUserSession();
  EXPECT_EQ(Raised([&] { registry.Connect(notADatabase, session); }).code, 10470);
  EXPECT_EQ(registry.Find(notADatabase), nullptr);

  // A database whose directory lost its table list entry.
  std::vector<uint8_t> bytes = test::ReadBytes(path_);
  bytes[PageAreaStart + 2 * PageSize + 40 + 15] = 9;
  test::WriteBytes(path_, bytes);
  TZDBDiskDatabaseData data(path_);
  EXPECT_EQ(Raised([&] { data.AddSession(session); }).code, 20300);
  EXPECT_FALSE(data.IsOpen());
  EXPECT_EQ(data.SessionCount(), 0u);
}

// A table-data object that only records what it is told.
class RecordingTableData : public TZDBBaseTableData {
 public:
  explicit RecordingTableData(std::string_view name) : name_(name) {}
  const std::string& TableName() const override { return name_; }
  void AfterRollback(int32_t session) override { rollbacks.push_back(session); }
  std::vector<int32_t> rollbacks;

 private:
  std::string name_;
};

TEST_F(DatabaseData, CommitKeepsAndRollbackDropsASessionsPages) {
  TZDBDiskDatabaseData::SetTableDataFactory(
      [](TZDBDiskDatabaseData&, std::string_view name) { return std::make_unique<RecordingTableData>(name); });
  TZDBDiskDatabaseData data(path_);
  TZDBSessionConnection session = MultiUserSession();
  data.AddSession(session);
  auto& table = static_cast<RecordingTableData&>(data.GetTableData("Maximo"));
  EXPECT_EQ(&data.GetTableData("MAXIMO"), &table);
  EXPECT_EQ(data.FindTableData("Porcentajes"), nullptr);

  TZDBInternalDBTransactedAccessFile file(*data.PageManager(), PageTypeCode(TZDBPageType::TableMetaData));
  file.Create(session.SessionID);
  file.WriteFile(session.SessionID, "kept", 0, 0, 4);
  data.Commit(session.SessionID, true);
  file.WriteFile(session.SessionID, "dropped", 0, 0, 7);
  data.Rollback(session.SessionID);
  EXPECT_EQ(table.rollbacks, std::vector<int32_t>{session.SessionID});
  std::vector<uint8_t> content = file.ReadAll(session.SessionID);
  EXPECT_EQ(std::string(content.begin(), content.end()), "kept");

  data.FreeTableData(table);
  EXPECT_EQ(data.TableDataCount(), 0u);
  data.RemoveSession(session);
  TZDBDiskDatabaseData::SetTableDataFactory(nullptr);
  EXPECT_EQ(Raised([&] { data.CreateTableData("Maximo"); }).code, 30457);
}

TEST_F(DatabaseData, TableListChangesAreSavedAndFoundAgain) {
  TZDBDiskDatabaseData data(path_);
  const struct {
    std::function<void()> call;
    int32_t code;
  } closed[] = {
      {[&] { data.GetTableFromList("Maximo"); }, 20129},
      {[&] { data.AddTableToList("Maximo", 1, 2, 3, 4); }, 20129},
      {[&] { data.RemoveTableFromList("Maximo"); }, 20130},
      {[&] { data.RenameTableInList("Maximo", "Otro"); }, 20131},
  };
  for (const auto& c : closed) EXPECT_EQ(Raised(c.call).text, ErrorText("Pointer is nil", c.code));

  TZDBSessionConnection session = MultiUserSession();
  data.AddSession(session);
  std::vector<std::string> names;
  data.GetTableNames(names);
  EXPECT_TRUE(names.empty());
  data.AddTableToList("Maximo", 1, 10, 11, 12);
  data.AddTableToList("Porcentajes", 2, 20, 21, 22);
  data.AddTableToList("Borrar", 3, 30, 31, 32);
  data.RenameTableInList("maximo", "Limites");
  data.RemoveTableFromList("BORRAR");
  EXPECT_EQ(Raised([&] { data.AddTableToList("LIMITES", 4, 0, 0, 0); }).code, 30395);
  data.Commit(System, false);
  data.RemoveSession(session);

  TZDBDiskDatabaseData reopened(path_);
  reopened.AddSession(session);
  EXPECT_TRUE(reopened.TableExists("porcentajes"));
  EXPECT_FALSE(reopened.TableExists("Maximo"));
  names.clear();
  reopened.GetTableNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"Limites", "Porcentajes"}));
  const TZDBTableListEntry entry = reopened.GetTableFromList("LIMITES");
  EXPECT_EQ(entry.ObjectID, 1);
  EXPECT_EQ(entry.LocksStartPageNo, 12);
  reopened.RemoveSession(session);
}

TEST_F(DatabaseData, TrimCutsTheFreePagesAtTheEnd) {
  TZDBDiskDatabaseData data(path_);
  TZDBSessionConnection session;
  session.Exclusive = true;
  data.AddSession(session);
  EXPECT_EQ(Raised([&] { data.CreateDatabase(); }).code, 20092);
  data.TrimFile();
  EXPECT_EQ(data.DiskPageManager()->ReadHeader().TotalPageCount, 5);
  data.RemoveSession(session);
  EXPECT_EQ(std::filesystem::file_size(path_), 380u + 5 * 4096);

  // The trimmed file opens and grows again as usual.
  TZDBDiskDatabaseData again(path_);
  TZDBSessionConnection next = MultiUserSession();
  again.AddSession(next);
  TZDBInternalDBTransactedAccessFile file(*again.PageManager(), PageTypeCode(TZDBPageType::TableMetaData));
  file.Create(next.SessionID);
  again.Commit(next.SessionID, false);
  EXPECT_GE(file.StartPageNo(), 5);
  again.RemoveSession(next);
}

}  // namespace
}  // namespace zdb
