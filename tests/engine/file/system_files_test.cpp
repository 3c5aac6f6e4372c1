// The system files: the directory, the table list, the session slots and the table lock
// regions.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBActiveSessionsFile.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBPageTypes.h"
#include "engine/file/ZDBSystemDirectory.h"
#include "engine/file/ZDBTableListFile.h"
#include "engine/file/ZDBTableLocksFile.h"
#include "support/DiskTestSupport.h"
#include "support/MemoryPageManager.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::MemoryPageManager;
using test::Raised;

constexpr int32_t System = TZDBPageManager::SystemSession;

// --- system directory --------------------------------------------------------------------------

TEST(SystemDirectory, KeepsFiveByteEntriesInOrderOnPageTwo) {
  MemoryPageManager store;
  TZDBSystemDirectory directory(store);
  directory.Create();
  directory.AddEntry(TZDBSystemDirectory::ActiveSessionsFileId, 3);
  directory.AddEntry(TZDBSystemDirectory::TableListFileId, 4);
  directory.Save();
  store.ApplyChanges(System);

  const uint8_t* content = store.store.at(2).data() + store.PageHeaderSize() + 10;
  EXPECT_EQ(le::GetI32(store.store.at(2).data() + store.PageHeaderSize() + 1), 10);
  EXPECT_EQ(content[0], 2);
  EXPECT_EQ(le::GetI32(content + 1), 3);
  EXPECT_EQ(content[5], 1);
  EXPECT_EQ(le::GetI32(content + 6), 4);

  TZDBSystemDirectory reopened(store);
  reopened.Open();
  ASSERT_EQ(reopened.Entries().size(), 2u);
  EXPECT_EQ(reopened.Find(TZDBSystemDirectory::TableListFileId), 4);
  EXPECT_EQ(reopened.Find(TZDBSystemDirectory::ActiveSessionsFileId), 3);
  EXPECT_EQ(reopened.Find(9), -1);
}

TEST(SystemDirectory, MustStartAtPageTwo) {
  MemoryPageManager store;
  store.Store(2, PageTypeCode(TZDBPageType::TableRecord), 0);
  TZDBSystemDirectory directory(store);
  EXPECT_EQ(Raised([&] { directory.Create(); }).text,
            ErrorText("Error Creating SystemDirectory. SystemDirectoryPageNo=2. Real PageNo=3.", 30392));
  EXPECT_FALSE(directory.IsOpen());
}

// --- table list ----------------------------------------------------------------------------------

class TableList : public testing::Test {
 protected:
  TableList() { start_ = list_.Create(); }

  MemoryPageManager store_{1000, 512};
  TZDBTableListFile list_{store_};
  int32_t start_ = -1;
};

TEST_F(TableList, RecordsKeepTheirLayoutAndOrderThroughTheFile) {
  list_.Add("Maximo", 11, 5, 6, 7);
  list_.Add("Porcentajes", 12, 8, 9, 10);
  list_.Add(std::string(255, 'x'), 13, 14, 15, 16);
  list_.Save();
  store_.ApplyChanges(System);

  // Reassemble the content from the committed chain (272-byte records over 472-byte areas).
  std::vector<uint8_t> content;
  for (int32_t page = start_; page != -1;
       page = le::GetI32(store_.store.at(page).data() + TZDBPage::NextPageNoOffset)) {
    const uint8_t* data = store_.store.at(page).data() + store_.PageHeaderSize();
    content.insert(content.end(), data + (content.empty() ? 10 : 0), data + store_.PageDataSize());
  }
  ASSERT_GE(content.size(), 3u * 272);
  const uint8_t* second = content.data() + 272;
  EXPECT_EQ(second[0], 11);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(second + 1), 11), "Porcentajes");
  EXPECT_EQ(le::GetI32(second + 256), 12);
  EXPECT_EQ(le::GetI32(second + 260), 8);
  EXPECT_EQ(le::GetI32(second + 264), 9);
  EXPECT_EQ(le::GetI32(second + 268), 10);

  TZDBTableListFile reopened(store_);
  reopened.Open(start_);
  EXPECT_EQ(reopened.List(), (std::vector<std::string>{"Maximo", "Porcentajes", std::string(255, 'x')}));
  const TZDBTableListEntry entry = reopened.Get("porcentajes");
  EXPECT_EQ(entry.Name, "Porcentajes");
  EXPECT_EQ(entry.ObjectID, 12);
  EXPECT_EQ(entry.MetaDataStartPageNo, 8);
  EXPECT_EQ(entry.MostUpdatedStartPageNo, 9);
  EXPECT_EQ(entry.LocksStartPageNo, 10);

  // Removing moves later records up; the file follows at the next save.
  reopened.Remove("MAXIMO");
  reopened.Save();
  EXPECT_EQ(reopened.List(), (std::vector<std::string>{"Porcentajes", std::string(255, 'x')}));
}

TEST_F(TableList, NamesMatchIgnoringTheCaseOfAsciiLettersOnly) {
  list_.Add("Maximo", 1, 2, 3, 4);
  list_.Add("Año", 5, 6, 7, 8);
  const struct {
    const char* name;
    bool found;
  } cases[] = {
      {"Maximo", true}, {"MAXIMO", true}, {"mAxImO", true}, {"Maxim", false}, {"Maximo ", false},
      {"Año", true},    {"AÑO", false},   {"año", true},    {"aÑo", false},
  };
  for (const auto& c : cases) EXPECT_EQ(list_.Exists(c.name), c.found) << c.name;
  EXPECT_TRUE(TZDBTableListFile::SameName("z@[`{", "Z@[`{"));
  EXPECT_FALSE(TZDBTableListFile::SameName("@", "`"));  // neighbours of the letters stay apart
}

TEST_F(TableList, ChangesReportMissingAndDuplicateNames) {
  list_.Add("Maximo", 1, 2, 3, 4);
  list_.Add("Porcentajes", 5, 6, 7, 8);
  const struct {
    std::function<void()> call;
    int32_t code;
    std::string message;
  } cases[] = {
      {[&] { list_.Add("MAXIMO", 9, 9, 9, 9); }, 30395, "Cannot create table. Table 'MAXIMO' already exists"},
      {[&] { list_.Get("Minimo"); }, 30396, "Table 'Minimo' not exists."},
      {[&] { list_.Remove("Minimo"); }, 30405, "Table 'Minimo' not exists."},
      {[&] { list_.Rename("Minimo", "Otro"); }, 30397, "Table 'Minimo' not exists."},
      {[&] { list_.Rename("Maximo", "porcentajes"); }, 30395,
       "Cannot create table. Table 'porcentajes' already exists"},
      {[&] { list_.Add(std::string(256, 'n'), 9, 9, 9, 9); }, 30394,
       "Table name '" + std::string(256, 'n') + "' is too long. The maximum length is 255"},
      {[&] { list_.Create(); }, 30393, "Table list file already opened."},
      {[&] { list_.Open(start_); }, 30393, "Table list file already opened."},
  };
  for (const auto& c : cases) EXPECT_EQ(Raised(c.call).text, ErrorText(c.message, c.code)) << c.message;

  // A rename in place keeps the position; a change of case only is a rename too.
  list_.Rename("Maximo", "Limites");
  list_.Rename("LIMITES", "limites");
  ASSERT_EQ(list_.Entries().size(), 2u);
  EXPECT_EQ(list_.Entries()[0].Name, "limites");
  EXPECT_EQ(list_.Entries()[0].ObjectID, 1);
}

// --- session slots and table lock regions --------------------------------------------------------

class LockRegions : public testing::Test {
 protected:
  LockRegions() { pages_->CreateDatabaseFile(path_, {}); }

  // Commits what was created and opens the file again, twice, as two processes would.
  void Share() {
    pages_->ApplyChanges(System);
    pages_->CloseDatabaseFile();
    pages_ = Open();
    other_ = Open();
  }
  std::unique_ptr<TZDBDiskPageManager> Open() {
    auto pages = std::make_unique<TZDBDiskPageManager>();
    bool multiUser = true, readOnly = false;
    pages->OpenDatabaseFile(path_, {}, multiUser, false, readOnly);
    return pages;
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("regions.zdb");
  std::unique_ptr<TZDBDiskPageManager> pages_ = std::make_unique<TZDBDiskPageManager>();
  std::unique_ptr<TZDBDiskPageManager> other_;
};

TEST_F(LockRegions, SlotsFileHoldsOneByteASlot) {
  int32_t start;
  {
    TZDBActiveSessionsFile slots(*pages_);
    start = slots.Create(500);
    EXPECT_EQ(slots.File().PageNumbers().size(), 1u);
  }
  Share();
  TZDBActiveSessionsFile mine(*pages_), theirs(*other_);
  EXPECT_EQ(mine.Open(start), 500);
  EXPECT_EQ(theirs.Open(start), 500);
  EXPECT_EQ(mine.File().PageType(), PageTypeCode(TZDBPageType::ActiveSessionList));

  EXPECT_FALSE(theirs.IsAnySlotLocked());
  EXPECT_TRUE(mine.LockSlot(499));
  EXPECT_TRUE(theirs.IsSlotLocked(499));
  EXPECT_TRUE(theirs.IsAnySlotLocked());
  EXPECT_FALSE(theirs.LockSlot(499));
  // Slot s is content byte s: data offset 10 + s of the first page.
  EXPECT_TRUE(other_->File().IsByteLocked(other_->PagePosition(start) + 40 + 10 + 499));
  EXPECT_EQ(Raised([&] { mine.LockSlot(500); }).code, 20159);
}

TEST_F(LockRegions, TableRegionLaysOutKindsAndRecordIdentifiersPerSlot) {
  int32_t start;
  {
    TZDBTableLocksFile region(*pages_);
    start = region.Create(500);
    EXPECT_EQ(region.File().Size(), 6000);
    EXPECT_EQ(region.File().PageNumbers().size(), 2u);
    EXPECT_EQ(region.File().PageType(), PageTypeCode(TZDBPageType::TableLocks));
  }
  Share();
  TZDBTableLocksFile mine(*pages_), theirs(*other_);
  EXPECT_EQ(mine.Open(start), 500);
  EXPECT_EQ(theirs.Open(start), 500);
  EXPECT_EQ(mine.StartPageNo(), start);

  const struct {
    int32_t kind, slot, position;
  } bytes[] = {{0, 0, 0}, {0, 499, 499}, {3, 7, 1507}, {5, 499, 2999}};
  for (const auto& b : bytes) {
    EXPECT_EQ(mine.LockBytePosition(b.kind, b.slot), b.position);
    ASSERT_TRUE(mine.LockKind(b.kind, b.slot));
    EXPECT_TRUE(theirs.File().IsByteLocked(b.position));
    EXPECT_TRUE(theirs.IsKindLocked(b.kind, b.slot));
    EXPECT_TRUE(theirs.IsKindLockedByOthers(b.kind, b.slot == 0 ? 1 : 0));
    EXPECT_FALSE(theirs.IsKindLockedByOthers(b.kind, b.slot));
    EXPECT_TRUE(mine.UnlockKind(b.kind, b.slot));
  }

  // Record identifiers: 6 bytes a slot after the 6 x N lock bytes; slot 499's cross into
  // the second page.
  EXPECT_EQ(mine.RecordIDPosition(0), 3000);
  EXPECT_EQ(mine.RecordIDPosition(499), 5994);
  const TZDBTableLocksFile::RecordIDBytes record{0x44, 0x33, 0x22, 0x11, 0x02, 0x01};
  mine.WriteRecordID(499, record);
  EXPECT_EQ(theirs.ReadRecordID(499), record);
  EXPECT_EQ(theirs.ReadRecordID(0), (TZDBTableLocksFile::RecordIDBytes{}));

  EXPECT_TRUE(mine.LockGuard());
  EXPECT_FALSE(theirs.LockGuard());
  EXPECT_TRUE(mine.UnlockGuard());

  // Kinds and slots outside the layout never reach a neighbour's byte.
  for (auto [kind, slot] : {std::pair{0, 500}, std::pair{6, 0}, std::pair{-1, 0}, std::pair{0, -1}})
    EXPECT_EQ(Raised([&] { mine.LockKind(kind, slot); }).code, 20159) << kind << "/" << slot;
}

TEST_F(LockRegions, RegionWithoutAFileRaisesNilPointer) {
  TZDBTableLocksFile region(*pages_);
  TZDBTableLocksFile::RecordIDBytes record{};
  const struct {
    std::function<void()> call;
    int32_t code;
  } cases[] = {
      {[&] { region.StartPageNo(); }, 10483},
      {[&] { region.Delete(); }, 10483},
      {[&] { region.LockGuard(); }, 10489},
      {[&] { region.UnlockGuard(); }, 10490},
      {[&] { region.LockKind(0, 0); }, 10491},
      {[&] { region.UnlockKind(0, 0); }, 10492},
      {[&] { region.IsKindLocked(0, 0); }, 10493},
      {[&] { region.IsKindLockedByOthers(0, 0); }, 10493},
      {[&] { region.ReadRecordID(0); }, 10494},
      {[&] { region.WriteRecordID(0, record); }, 10494},
  };
  for (const auto& c : cases) EXPECT_EQ(Raised(c.call).text, ErrorText("Nil pointer occured", c.code));

  region.Create(3);
  EXPECT_EQ(region.SlotCount(), 3);
  region.Delete();
  EXPECT_FALSE(region.IsOpen());
  EXPECT_EQ(Raised([&] { region.Create(-1); }).code, 20158);
  EXPECT_EQ(Raised([&] { region.Create(200'000'000); }).code, 20158);
}

}  // namespace
}  // namespace zdb
