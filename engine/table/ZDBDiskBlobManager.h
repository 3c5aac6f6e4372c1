// The BLOB manager of a disk table: the values of its BLOB, MEMO and WIDEMEMO fields.
//
// A row holds a reference per BLOB field (ZDBBlobLayout.h); the value lives on BLOB pages
// (type 11) of the table. A value of n bytes with n + 24 < PageDataSize is an entry of a
// shared page (TZDBSmallBlobPage), found through the table's BLOB-page index (page ->
// bytes in use); a larger one gets a page chain of its own (TZDBBlobChain). The bytes
// are those of the field's compressed stream and are stored and returned unchanged, with
// its three parameters.
//
// In-memory values: what a cursor loaded or changed of a field is kept here, named by a
// handle in the field's last 4 record-buffer bytes, until the row is written
// (StoreRowBlobs), the change is dropped, or the record buffer is released
// (ReleaseFieldBlob / ReleaseRecordBlobs). Reading a row into a buffer clears the handles
// (the row conversion zeroes them), so a buffer's values are released before it is
// refilled. A handle that names no listed value of that field counts as none.
//
// Everything a session changes on pages stays private to it until the table data
// commits (the page manager's session transaction), so a rollback undoes stored and
// freed values alike. Damage (a chain whose locator, list or pages do not add up, a
// shared page whose entries overrun it, a page of another table) raises 20291 "Cannot
// read BLOB field value"; the page manager's errors (wrong page type 20153, unreadable
// page 20299) pass through. Nothing is freed from a value that could not be read whole.
//
// No lock of its own: the table data's lock is held around every call.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/base/ZDBErrors.h"
#include "engine/base/ZDBStream.h"
#include "engine/file/ZDBPageManager.h"
#include "engine/index/ZDBBTreeBlobPageIndex.h"
#include "engine/table/ZDBBaseRecordManager.h"
#include "engine/table/ZDBBlobCache.h"
#include "engine/table/ZDBBlobLayout.h"
#include "engine/table/ZDBBlobPages.h"
#include "engine/table/ZDBBlobStream.h"
#include "engine/table/ZDBFieldManager.h"
#include "engine/table/ZDBRecordPageOwner.h"
#include "platform/os/File.h"

namespace zdb {

class TZDBDiskBlobManager {
 public:
  // The owner names the table's ObjectID, written into and expected in every BLOB page.
  // An open stream keeps its value in a temporary file of the given file system.
  TZDBDiskBlobManager(TZDBPageManager& pages, const TZDBBaseFieldManager& fields, const TZDBRecordPageOwner& owner,
                      os::FileSystem& temporaryFiles = os::FileSystem::Default());
  // Frees the in-memory values silently; owners call CheckReleased first.
  ~TZDBDiskBlobManager() = default;
  TZDBDiskBlobManager(const TZDBDiskBlobManager&) = delete;
  TZDBDiskBlobManager& operator=(const TZDBDiskBlobManager&) = delete;

  // 20150 "Blob cache not released" while in-memory values are listed.
  void CheckReleased() const;
  size_t InMemoryValueCount() const { return cache_.Count(); }

  // --- the BLOB-page index ------------------------------------------------------------------
  // An empty index (at the creation of a table with BLOB fields).
  void CreateIndex(int32_t session) { pageIndex_.CreateTree(session); }
  // The index root as the table metadata keeps it: 4 bytes, or the number itself.
  void LoadIndexRoot(TStream& stream);
  void SaveIndexRoot(TStream& stream) const;
  void SetIndexRoot(int32_t rootPageNo) { pageIndex_.SetRoot(rootPageNo); }
  int32_t IndexRoot() const { return pageIndex_.RootPageNo(); }
  TZDBBTreeBlobPageIndex& PageIndex() { return pageIndex_; }

  // --- rows -----------------------------------------------------------------------------------
  // Reads the field's stored value into a new in-memory value (not modified) when the
  // field is not NULL, names a stored value and has no in-memory value yet.
  void LoadFieldBlob(int32_t session, uint8_t* recordBuffer, int32_t fieldNo);
  // Before a row is inserted or updated: for every BLOB field whose in-memory value is
  // modified, frees the value the reference names, stores the new one (or none when its
  // size parameter is 0: reference -1, -1 and the field NULL), writes the new reference
  // into the buffer and releases the in-memory value. The references must be those of
  // the row as stored (AdoptStoredReferences sees to that). With keepValues the
  // in-memory values stay listed and modified, so that the caller can put the buffer back
  // as it was when the row cannot be written, and call FinishStoredRowBlobs once it is.
  void StoreRowBlobs(int32_t session, uint8_t* recordBuffer, bool keepValues = false);
  // After a row stored with keepValues was written: its modified values are released.
  void FinishStoredRowBlobs(uint8_t* recordBuffer);
  // Before a row is written: the buffer's references become those of the row as stored
  // (storedRow; null for a new row, which owns no value yet), so that no buffer frees or
  // shares a value of another row. A value the buffer names that is not the row's own is
  // taken over as a new value (a copied row), a field made NULL over a stored value drops
  // it, and the null bit of an unchanged field follows its reference.
  void AdoptStoredReferences(int32_t session, uint8_t* recordBuffer, const uint8_t* storedRow);
  // Whether the field has an in-memory value that is to be stored.
  bool IsFieldModified(uint8_t* recordBuffer, int32_t fieldNo);
  // Before a row is deleted (buffer read from the stored row): frees the value of every
  // BLOB field that is not NULL and names one, sets its reference to -1, -1 and clears
  // Modified of its in-memory value.
  void DeleteRowBlobs(int32_t session, uint8_t* recordBuffer);
  // Frees the values of every row (physical order), then every page left in the index,
  // and empties the index (emptying a table: the rows go next).
  void DeleteAllBlobs(int32_t session, TZDBBaseRecordManager& records);
  // The same, then the index's pages are freed too (deleting a table).
  void DropBlobs(int32_t session, TZDBBaseRecordManager& records);

  // --- values -----------------------------------------------------------------------------------
  // A NULL field answers no bytes and zero parameters. Otherwise the value is loaded
  // when needed (none after that: 20291 "Cannot read BLOB field value").
  void ReadFieldBlob(int32_t session, uint8_t* recordBuffer, int32_t fieldNo, std::vector<uint8_t>& bytes,
                     TZDBBlobParams& params);
  // The same, the bytes written to the stream's position (20162 "Cannot read BLOB field
  // value" when no value could be loaded or the stream took fewer bytes).
  void CopyFieldBlobToStream(int32_t session, uint8_t* recordBuffer, TStream& stream, TZDBBlobParams& params,
                             int32_t fieldNo);
  // The field's in-memory value becomes the bytes with the parameters, modified; the
  // field is NULL when the size parameter is 0.
  void WriteFieldBlob(uint8_t* recordBuffer, int32_t fieldNo, const uint8_t* bytes, size_t count,
                      const TZDBBlobParams& params);
  // When the stream was changed: the field's in-memory value becomes the stream's bytes
  // and parameters, modified; the field is NULL when the stream is empty. 20161 "Pointer
  // is nil" without a stream.
  void SetFieldBlobFromStream(uint8_t* recordBuffer, int32_t fieldNo, TZDBBlobStream* stream);
  // Frees the field's in-memory value, unless it is modified and force is false, and
  // clears the handle.
  void ReleaseFieldBlob(uint8_t* recordBuffer, int32_t fieldNo, bool force);
  // ReleaseFieldBlob for every BLOB field of the buffer.
  void ReleaseRecordBlobs(uint8_t* recordBuffer, bool force);
  // A stream on the field's value. It starts empty, with the field's compression
  // settings, when startEmpty is set (a new value, or one opened to be rewritten: such a
  // stream replaces the value when handed back even if nothing was written, which is how
  // a field is cleared), when there is no record buffer or when the field is NULL;
  // otherwise it holds the current value (the in-memory one, loaded when needed). 20149 "Stream block size = 0 is not
  // allowed" for a field without a block size; 20248 "Invalid blob field size" for a
  // negative size. On any failure the field's in-memory value is released (forced).
  std::unique_ptr<TZDBBlobStream> OpenBlobStream(int32_t session, uint8_t* recordBuffer, int32_t fieldNo,
                                                 bool startEmpty);

  // --- stored values (for the table data's checks and tools) -------------------------------
  // The value a reference names: bytes and parameters. Raises as reading does.
  void ReadStoredValue(int32_t session, const TZDBBlobReference& reference, std::vector<uint8_t>& bytes,
                       TZDBBlobParams& params);

 private:
  const TZDBFieldDef& BlobField(int32_t fieldNo) const;
  uint8_t* FieldBytes(uint8_t* recordBuffer, int32_t fieldNo) const;
  TZDBBlobValue* InMemoryValue(uint8_t* recordBuffer, int32_t fieldNo);
  // Replaces the field's in-memory value by a new one and names it in the buffer.
  TZDBBlobValue& NewInMemoryValue(uint8_t* recordBuffer, int32_t fieldNo);
  // The loaded value, or null for a NULL field.
  TZDBBlobValue* LoadedValue(int32_t session, uint8_t* recordBuffer, int32_t fieldNo, const TZDBError& missingCode);

  TZDBBlobReference StoreValue(int32_t session, const TZDBBlobValue& value);
  TZDBBlobReference StoreShared(int32_t session, const TZDBBlobValue& value);
  void FreeValue(int32_t session, const TZDBBlobReference& reference);
  void FreeShared(int32_t session, const TZDBBlobReference& reference);
  // Whether a reference with the ambiguous BlobID 255 names a chain first.
  bool ChainFirst(int32_t session, int32_t pageNo);
  void SetUsedBytes(int32_t session, int32_t pageNo, int32_t usedBytes);

  const TZDBBaseFieldManager& fields_;
  os::FileSystem& temporaryFiles_;
  TZDBBlobPages blobPages_;
  TZDBBTreeBlobPageIndex pageIndex_;
  TZDBBlobCache cache_;
};

}  // namespace zdb
