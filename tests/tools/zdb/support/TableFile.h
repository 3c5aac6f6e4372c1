// A database file with one table, built from the engine's parts the way table creation
// lays it out (lock region, metadata and counters files, record pages with their page
// index, one index), and the means to damage it byte by byte.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBMemoryStream.h"
#include "engine/file/ZDBActiveSessionsFile.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBInternalDBTransactedAccessFile.h"
#include "engine/file/ZDBPageTypes.h"
#include "engine/file/ZDBSystemDirectory.h"
#include "engine/file/ZDBTableListFile.h"
#include "engine/file/ZDBTableLocksFile.h"
#include "engine/table/ZDBDiskRecordManager.h"
#include "engine/table/ZDBIndexManager.h"
#include "engine/table/ZDBTableMetaData.h"
#include "tests/engine/table/support/IndexManagerTestSupport.h"
#include "tests/engine/table/support/TableTestSupport.h"

namespace zdb::testing {

struct TableFileLayout {
  int32_t tableObjectID = 0;
  int32_t indexRootPageNo = -1;          // "ANY"
  int32_t recordPageIndexRootPageNo = -1;
  int32_t systemDirectoryPageNo = TZDBSystemDirectory::SystemDirectoryPageNo;
};

class FixedOwner : public TZDBRecordPageOwner {
 public:
  explicit FixedOwner(int32_t objectID) : objectID_(objectID) {}
  int32_t TableObjectID() const override { return objectID_; }
  bool TrustsRecordPages(int32_t /*session*/) const override { return false; }

 private:
  int32_t objectID_;
};

// A new file holding table "Maximo" with the years 1 .. rows and its index "ANY".
inline TableFileLayout CreateMaximoFile(const std::string& path, int32_t rows) {
  constexpr int32_t System = TZDBPageManager::SystemSession;
  {
    TZDBDiskDatabaseData database(path);
    database.CreateDatabase();
  }
  TZDBDiskPageManager pages;
  bool multiUser = false;
  bool readOnly = false;
  pages.OpenDatabaseFile(path, TZDBPassword{}, multiUser, true, readOnly);
  TZDBSystemDirectory directory(pages);
  directory.Open();
  TZDBTableListFile tableList(pages);
  tableList.Open(directory.Find(TZDBSystemDirectory::TableListFileId));
  tableList.Load(System);
  TZDBActiveSessionsFile slots(pages);
  const int32_t slotCount = slots.Open(directory.Find(TZDBSystemDirectory::ActiveSessionsFileId));
  slots.Close();

  TableFileLayout layout;
  layout.tableObjectID = pages.TakeObjectID();
  TZDBTableLocksFile locks(pages);
  locks.Create(slotCount);
  TZDBInternalDBTransactedAccessFile metaData(pages, PageTypeCode(TZDBPageType::TableMetaData));
  TZDBInternalDBTransactedAccessFile counts(pages, PageTypeCode(TZDBPageType::TableMostUpdated));
  metaData.Create(System);
  counts.Create(System);

  TZDBFieldDefs fieldDefs;
  AddMaximoFields(fieldDefs);
  fieldDefs.AssignObjectIDs([&] { return pages.TakeObjectID(); });
  TZDBBaseFieldManager fields;
  fields.SetFieldDefs(fieldDefs);
  const FixedOwner owner(layout.tableObjectID);
  TZDBDiskRecordManager records(pages, fields, owner);
  records.Init(fields.RecordBufferSize(), fields.StoredRecordSize());
  records.CreatePageIndex(System);

  RecordManagerIndexOwner indexOwner(fields, records);
  indexOwner.nextObjectID = pages.TakeObjectID();
  TZDBBaseIndexManager indexes(indexOwner, pages, pages);
  TZDBIndexDef any;
  any.SetName("ANY");
  any.SetColumns({{"any"}});
  indexes.AddIndex(nullptr, any);

  const RowWriter writer(fields);
  for (int32_t year = 1; year <= rows; ++year) {
    std::vector<uint8_t> row = writer.NewRow();
    writer.SetInteger(row, "any", year);
    TZDBRecordID recordID;
    records.InsertRecord(System, row.data(), recordID);
    indexes.InsertRow(RowCursor(System, row, {}, recordID));
  }

  TZDBMemoryStream stream;
  TZDBConstraintDefs constraints;
  TZDBTableRootPages roots;
  roots.RecordPageIndexRootPageNo = records.SavePageIndexRoot();
  SaveTableMetaData(stream, fields, indexes.IndexDefs(), constraints, roots);
  metaData.WriteFile(System, stream.Memory(), 0, 0, static_cast<int32_t>(stream.Size()));
  const std::vector<uint8_t> mostUpdated = SaveMostUpdatedData(fields, records.SaveCounts());
  counts.WriteFile(System, mostUpdated.data(), 0, 0, static_cast<int32_t>(mostUpdated.size()));
  tableList.Add("Maximo", layout.tableObjectID, metaData.StartPageNo(), counts.StartPageNo(), locks.StartPageNo());
  tableList.Save(System);
  pages.ApplyChanges(System);

  layout.indexRootPageNo = indexes.IndexDefs().Items(0).RootPageNo();
  layout.recordPageIndexRootPageNo = roots.RecordPageIndexRootPageNo;
  pages.CloseDatabaseFile();
  return layout;
}

// Reading and patching pages of a closed file in place.
class FilePatcher {
 public:
  explicit FilePatcher(std::string path) : path_(std::move(path)) {
    TZDBDiskPageManager pages;
    bool multiUser = false;
    bool readOnly = true;
    pages.OpenDatabaseFile(path_, TZDBPassword{}, multiUser, false, readOnly);
    pageAreaStart_ = pages.PageAreaStart();
    pageSize_ = pages.PageSize();
    headerSize_ = pages.PageHeaderSize();
    for (int32_t pageNo = 0; pageNo < pages.Header().TotalPageCount; ++pageNo)
      if (!pages.FreeSpaceManager().IsSystemPage(pageNo) && !pages.FreeSpaceManager().IsPageUsed(pageNo))
        freePages_.push_back(pageNo);
    pages.CloseDatabaseFile();
  }

  const std::vector<int32_t>& FreePages() const { return freePages_; }

  std::vector<uint8_t> Read(int32_t pageNo, int32_t offset, int32_t count) const {
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    std::ifstream file(path_, std::ios::binary);
    file.seekg(Position(pageNo, offset));
    file.read(reinterpret_cast<char*>(bytes.data()), count);
    return bytes;
  }
  void Write(int32_t pageNo, int32_t offset, const std::vector<uint8_t>& bytes) const {
    std::fstream file(path_, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(Position(pageNo, offset));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  // Offsets within the data area.
  std::vector<uint8_t> ReadData(int32_t pageNo, int32_t offset, int32_t count) const {
    return Read(pageNo, headerSize_ + offset, count);
  }
  void WriteData(int32_t pageNo, int32_t offset, const std::vector<uint8_t>& bytes) const {
    Write(pageNo, headerSize_ + offset, bytes);
  }
  void WriteI32(int32_t pageNo, int32_t offset, int32_t value) const {
    std::vector<uint8_t> bytes(4);
    le::PutI32(bytes.data(), value);
    Write(pageNo, offset, bytes);
  }

 private:
  int64_t Position(int32_t pageNo, int32_t offset) const {
    return pageAreaStart_ + static_cast<int64_t>(pageNo) * pageSize_ + offset;
  }

  std::string path_;
  int64_t pageAreaStart_ = 0;
  int32_t pageSize_ = 0;
  int32_t headerSize_ = 0;
  std::vector<int32_t> freePages_;
};

}  // namespace zdb::testing
