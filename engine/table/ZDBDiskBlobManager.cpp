#include "engine/table/ZDBDiskBlobManager.h"

#include <exception>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/index/ZDBKeyPath.h"
#include "engine/index/ZDBNavigationRequest.h"
#include "engine/table/ZDBBlobChain.h"
#include "engine/table/ZDBMetaStream.h"
#include "engine/table/ZDBSmallBlobPage.h"

namespace zdb {
namespace {

// Runs `first`; when it fails with an engine error, runs `second`; when that fails too,
// the first failure is the one reported.
template <typename First, typename Second>
void EitherOr(First first, Second second) {
  std::exception_ptr failure;
  try {
    first();
    return;
  } catch (const EZDBException&) {
    failure = std::current_exception();
  }
  try {
    second();
  } catch (const EZDBException&) {
    std::rethrow_exception(failure);
  }
}

}  // namespace

TZDBDiskBlobManager::TZDBDiskBlobManager(TZDBPageManager& pages, const TZDBBaseFieldManager& fields,
                                         const TZDBRecordPageOwner& owner, os::FileSystem& temporaryFiles)
    : fields_(fields), temporaryFiles_(temporaryFiles), blobPages_(pages, owner), pageIndex_(pages) {}

void TZDBDiskBlobManager::CheckReleased() const {
  if (cache_.Count() != 0) RaiseError(errors::BlobCacheNotReleased);
}

// --- the BLOB-page index -------------------------------------------------------------------------

// The root is one of the metadata stream's 4-byte numbers and fails like them.
void TZDBDiskBlobManager::LoadIndexRoot(TStream& stream) { pageIndex_.SetRoot(ReadI32(stream, errors::ListCountReadFailed)); }

void TZDBDiskBlobManager::SaveIndexRoot(TStream& stream) const {
  WriteI32(stream, pageIndex_.RootPageNo(), errors::ListCountWriteFailed);
}

// --- fields and in-memory values ----------------------------------------------------------------

const TZDBFieldDef& TZDBDiskBlobManager::BlobField(int32_t fieldNo) const {
  if (fieldNo < 0 || fieldNo >= fields_.FieldCount() || !fields_.FieldDefs().Items(fieldNo).IsBlob())
    RaiseError(errors::FieldNotFound30402, {fieldNo});
  return fields_.FieldDefs().Items(fieldNo);
}

uint8_t* TZDBDiskBlobManager::FieldBytes(uint8_t* recordBuffer, int32_t fieldNo) const {
  return recordBuffer + BlobField(fieldNo).MemoryOffset();
}

TZDBBlobValue* TZDBDiskBlobManager::InMemoryValue(uint8_t* recordBuffer, int32_t fieldNo) {
  return cache_.Find(LoadBlobHandle(FieldBytes(recordBuffer, fieldNo)), fieldNo);
}

TZDBBlobValue& TZDBDiskBlobManager::NewInMemoryValue(uint8_t* recordBuffer, int32_t fieldNo) {
  ReleaseFieldBlob(recordBuffer, fieldNo, true);
  const uint32_t handle = cache_.Add(fieldNo);
  SaveBlobHandle(FieldBytes(recordBuffer, fieldNo), handle);
  return *cache_.Find(handle, fieldNo);
}

void TZDBDiskBlobManager::ReleaseFieldBlob(uint8_t* recordBuffer, int32_t fieldNo, bool force) {
  uint8_t* field = FieldBytes(recordBuffer, fieldNo);
  const uint32_t handle = LoadBlobHandle(field);
  if (const TZDBBlobValue* value = cache_.Find(handle, fieldNo)) {
    if (value->Modified && !force) return;
    cache_.Remove(handle);
  }
  SaveBlobHandle(field, TZDBBlobCache::NoHandle);
}

void TZDBDiskBlobManager::ReleaseRecordBlobs(uint8_t* recordBuffer, bool force) {
  for (int32_t i = 0; i < fields_.FieldCount(); ++i)
    if (fields_.FieldDefs().Items(i).IsBlob()) ReleaseFieldBlob(recordBuffer, i, force);
}

// --- rows ------------------------------------------------------------------------------------------

void TZDBDiskBlobManager::LoadFieldBlob(int32_t session, uint8_t* recordBuffer, int32_t fieldNo) {
  const uint8_t* field = FieldBytes(recordBuffer, fieldNo);
  if (IsFieldNull(recordBuffer, fieldNo) || InMemoryValue(recordBuffer, fieldNo) != nullptr) return;
  const TZDBBlobReference reference = TZDBBlobReference::Load(field);
  if (!reference.HasValue()) return;
  // Read first: a value that cannot be read leaves no half-made in-memory value.
  std::vector<uint8_t> bytes;
  TZDBBlobParams params;
  ReadStoredValue(session, reference, bytes, params);
  TZDBBlobValue& value = NewInMemoryValue(recordBuffer, fieldNo);
  value.Bytes = std::move(bytes);
  value.Params = params;
  value.Modified = false;
}

void TZDBDiskBlobManager::StoreRowBlobs(int32_t session, uint8_t* recordBuffer, bool keepValues) {
  for (int32_t i = 0; i < fields_.FieldCount(); ++i) {
    if (!fields_.FieldDefs().Items(i).IsBlob()) continue;
    TZDBBlobValue* value = InMemoryValue(recordBuffer, i);
    if (value == nullptr || !value->Modified) continue;
    uint8_t* field = FieldBytes(recordBuffer, i);
    // The old value goes whatever the null bit says: the reference is the row's.
    const TZDBBlobReference old = TZDBBlobReference::Load(field);
    if (old.HasValue()) {
      FreeValue(session, old);
      TZDBBlobReference::None().Save(field);
    }
    TZDBBlobReference stored = TZDBBlobReference::None();
    if (value->Params.Size() > 0) stored = StoreValue(session, *value);
    stored.Save(field);
    SetFieldNull(recordBuffer, i, !stored.HasValue());
    if (keepValues) continue;
    value->Modified = false;
    ReleaseFieldBlob(recordBuffer, i, true);
  }
}

void TZDBDiskBlobManager::FinishStoredRowBlobs(uint8_t* recordBuffer) {
  for (int32_t i = 0; i < fields_.FieldCount(); ++i) {
    if (!fields_.FieldDefs().Items(i).IsBlob()) continue;
    TZDBBlobValue* value = InMemoryValue(recordBuffer, i);
    if (value == nullptr || !value->Modified) continue;
    value->Modified = false;
    ReleaseFieldBlob(recordBuffer, i, true);
  }
}

bool TZDBDiskBlobManager::IsFieldModified(uint8_t* recordBuffer, int32_t fieldNo) {
  const TZDBBlobValue* value = InMemoryValue(recordBuffer, fieldNo);
  return value != nullptr && value->Modified;
}

void TZDBDiskBlobManager::AdoptStoredReferences(int32_t session, uint8_t* recordBuffer, const uint8_t* storedRow) {
  for (int32_t i = 0; i < fields_.FieldCount(); ++i) {
    const TZDBFieldDef& definition = fields_.FieldDefs().Items(i);
    if (!definition.IsBlob()) continue;
    uint8_t* field = FieldBytes(recordBuffer, i);
    const TZDBBlobReference named = TZDBBlobReference::Load(field);
    const TZDBBlobReference own = storedRow != nullptr
                                      ? TZDBBlobReference::Load(storedRow + definition.MemoryOffset())
                                      : TZDBBlobReference::None();
    bool modified = IsFieldModified(recordBuffer, i);
    if (!modified && IsFieldNull(recordBuffer, i) && own.HasValue()) {
      // Set NULL without a stream: the stored value goes when the row is written.
      WriteFieldBlob(recordBuffer, i, nullptr, 0, TZDBBlobParams());
      modified = true;
    } else if (!modified && !IsFieldNull(recordBuffer, i) && named.HasValue() && !(named == own)) {
      // Another row's value: this row gets a copy of its own.
      std::vector<uint8_t> bytes;
      TZDBBlobParams params;
      ReadFieldBlob(session, recordBuffer, i, bytes, params);
      WriteFieldBlob(recordBuffer, i, bytes.data(), bytes.size(), params);
      modified = true;
    }
    own.Save(field);
    if (!modified) SetFieldNull(recordBuffer, i, !own.HasValue());
  }
}

void TZDBDiskBlobManager::DeleteRowBlobs(int32_t session, uint8_t* recordBuffer) {
  for (int32_t i = 0; i < fields_.FieldCount(); ++i) {
    if (!fields_.FieldDefs().Items(i).IsBlob() || IsFieldNull(recordBuffer, i)) continue;
    uint8_t* field = FieldBytes(recordBuffer, i);
    const TZDBBlobReference reference = TZDBBlobReference::Load(field);
    if (!reference.HasValue()) continue;
    FreeValue(session, reference);
    TZDBBlobReference::None().Save(field);
    if (TZDBBlobValue* value = InMemoryValue(recordBuffer, i)) value->Modified = false;
  }
}

void TZDBDiskBlobManager::DeleteAllBlobs(int32_t session, TZDBBaseRecordManager& records) {
  bool hasBlobFields = false;
  for (int32_t i = 0; i < fields_.FieldCount(); ++i) hasBlobFields |= fields_.FieldDefs().Items(i).IsBlob();
  if (hasBlobFields) {
    std::vector<uint8_t> row(static_cast<size_t>(fields_.RecordBufferSize()));
    TZDBNavigationRequest request;
    request.GetMode = grmNext;
    request.BeforeFirst = true;
    request.RecordBuffer = row.data();
    for (records.GetRecord(session, request); request.GetResult == grOK; records.GetRecord(session, request))
      DeleteRowBlobs(session, row.data());
  }
  if (!pageIndex_.HasRoot()) return;
  // Pages the rows did not account for (a value lost with its row) go too: every shared
  // page of the table is in the index.
  std::vector<int32_t> leftover;
  TZDBKeyPath path;
  for (bool more = pageIndex_.FirstEntry(session, path); more; more = pageIndex_.NextEntry(session, path))
    leftover.push_back(pageIndex_.GetPageNo(session, path));
  for (int32_t pageNo : leftover) blobPages_.Free(session, pageNo);
  pageIndex_.EmptyTree(session);
}

void TZDBDiskBlobManager::DropBlobs(int32_t session, TZDBBaseRecordManager& records) {
  DeleteAllBlobs(session, records);
  pageIndex_.DropTree(session);
}

// --- values ----------------------------------------------------------------------------------------

TZDBBlobValue* TZDBDiskBlobManager::LoadedValue(int32_t session, uint8_t* recordBuffer, int32_t fieldNo,
                                                const TZDBError& missingCode) {
  BlobField(fieldNo);
  if (IsFieldNull(recordBuffer, fieldNo)) return nullptr;
  LoadFieldBlob(session, recordBuffer, fieldNo);
  TZDBBlobValue* value = InMemoryValue(recordBuffer, fieldNo);
  if (value == nullptr) RaiseError(missingCode);
  return value;
}

void TZDBDiskBlobManager::ReadFieldBlob(int32_t session, uint8_t* recordBuffer, int32_t fieldNo,
                                        std::vector<uint8_t>& bytes, TZDBBlobParams& params) {
  const TZDBBlobValue* value = LoadedValue(session, recordBuffer, fieldNo, errors::DamagedBlob);
  bytes = value != nullptr ? value->Bytes : std::vector<uint8_t>();
  params = value != nullptr ? value->Params : TZDBBlobParams();
}

void TZDBDiskBlobManager::CopyFieldBlobToStream(int32_t session, uint8_t* recordBuffer, TStream& stream,
                                                TZDBBlobParams& params, int32_t fieldNo) {
  const TZDBBlobValue* value = LoadedValue(session, recordBuffer, fieldNo, errors::CopyToStreamFailed);
  params = value != nullptr ? value->Params : TZDBBlobParams();
  if (value == nullptr || value->Bytes.empty()) return;
  const int64_t count = static_cast<int64_t>(value->Bytes.size());
  if (stream.Write(value->Bytes.data(), count) != count) RaiseError(errors::CopyToStreamFailed);
}

void TZDBDiskBlobManager::WriteFieldBlob(uint8_t* recordBuffer, int32_t fieldNo, const uint8_t* bytes, size_t count,
                                         const TZDBBlobParams& params) {
  TZDBBlobValue& value = NewInMemoryValue(recordBuffer, fieldNo);
  if (count > 0) value.Bytes.assign(bytes, bytes + count);
  value.Params = params;
  value.Modified = true;
  SetFieldNull(recordBuffer, fieldNo, params.Size() <= 0);
}

void TZDBDiskBlobManager::SetFieldBlobFromStream(uint8_t* recordBuffer, int32_t fieldNo, TZDBBlobStream* stream) {
  BlobField(fieldNo);
  if (stream == nullptr) RaiseError(errors::StreamMissing);
  if (!stream->Modified()) return;
  std::vector<uint8_t> bytes = stream->StoredBytes();
  const TZDBBlobParams params = stream->Params();
  TZDBBlobValue& value = NewInMemoryValue(recordBuffer, fieldNo);
  value.Bytes = std::move(bytes);
  value.Params = params;
  value.Modified = true;
  SetFieldNull(recordBuffer, fieldNo, stream->Size() == 0);
}

std::unique_ptr<TZDBBlobStream> TZDBDiskBlobManager::OpenBlobStream(int32_t session, uint8_t* recordBuffer,
                                                                    int32_t fieldNo, bool startEmpty) {
  const TZDBFieldDef& field = BlobField(fieldNo);
  if (field.BlobBlockSize() == 0) RaiseError(errors::StreamBlockSizeZero);
  try {
    auto storage = std::make_unique<TZDBTemporaryStream>(false, temporaryFiles_);
    if (startEmpty || recordBuffer == nullptr || IsFieldNull(recordBuffer, fieldNo)) {
      auto stream = std::make_unique<TZDBBlobStream>(fieldNo, field, std::move(storage));
      if (startEmpty) stream->MarkModified();
      return stream;
    }
    TZDBBlobParams params;
    CopyFieldBlobToStream(session, recordBuffer, *storage, params, fieldNo);
    return std::make_unique<TZDBBlobStream>(fieldNo, field, std::move(storage), params);
  } catch (...) {
    if (recordBuffer != nullptr) ReleaseFieldBlob(recordBuffer, fieldNo, true);
    throw;
  }
}

// --- stored values -----------------------------------------------------------------------------

void TZDBDiskBlobManager::ReadStoredValue(int32_t session, const TZDBBlobReference& reference,
                                          std::vector<uint8_t>& bytes, TZDBBlobParams& params) {
  if (!reference.HasValue()) {
    bytes.clear();
    params = TZDBBlobParams();
    return;
  }
  const auto readChain = [&] {
    TZDBBlobValueHeader header;
    TZDBBlobChain(blobPages_).Read(session, reference.PageNo, header, bytes);
    params = header.Params;
  };
  const auto readShared = [&] {
    TZDBPageRef page = blobPages_.Fetch(session, reference.PageNo);
    const TZDBSmallBlobPage view(*page);
    TZDBSmallBlobPage::Entry entry;
    if (!view.Find(reference.BlobID, entry)) RaiseError(errors::BlobFieldMissing);
    const uint8_t* from = view.ValueBytes(entry);
    bytes.assign(from, from + entry.Header.ValueSize);
    params = entry.Header.Params;
  };
  if (reference.BlobID == TZDBBlobReference::ChainID)
    readChain();
  else if (reference.BlobID != TZDBBlobReference::AmbiguousID)
    readShared();
  else if (ChainFirst(session, reference.PageNo))
    EitherOr(readChain, readShared);
  else
    EitherOr(readShared, readChain);
}

TZDBBlobReference TZDBDiskBlobManager::StoreValue(int32_t session, const TZDBBlobValue& value) {
  const int64_t size = static_cast<int64_t>(value.Bytes.size());
  if (TZDBSmallBlobPage::FitsShared(size, blobPages_.DataSize())) return StoreShared(session, value);
  TZDBBlobValueHeader header;
  header.Params = value.Params;
  header.ValueSize = size;
  const int32_t head = TZDBBlobChain(blobPages_).Write(session, header, value.Bytes.data());
  return {head, TZDBBlobReference::ChainID};
}

TZDBBlobReference TZDBDiskBlobManager::StoreShared(int32_t session, const TZDBBlobValue& value) {
  const int64_t size = static_cast<int64_t>(value.Bytes.size());
  const int32_t entrySize = TZDBSmallBlobPage::EntrySize(size);
  int32_t pageNo = 0;
  TZDBPageRef page;
  if (pageIndex_.FindPageWithSpace(session, entrySize, pageNo)) {
    page = blobPages_.Fetch(session, pageNo);
  } else {
    page = blobPages_.Add(session);
    pageNo = page->PageNo();
    TZDBSmallBlobPage(*page).Clear();
  }
  TZDBSmallBlobPage view(*page);
  if (!view.HasRoomFor(size))
    RaiseError(errors::SharedPageFull, {view.EntryCount(), view.EntriesEnd(), entrySize, blobPages_.DataSize(),
                pageIndex_.GetUsedBytes(session, pageNo)});
  TZDBBlobValueHeader header;
  header.Params = value.Params;
  header.ValueSize = size;
  const int16_t blobID = view.Add(header, value.Bytes.data());
  const int32_t used = view.UsedBytes();
  page.Release();
  SetUsedBytes(session, pageNo, used);
  return {pageNo, blobID};
}

void TZDBDiskBlobManager::FreeValue(int32_t session, const TZDBBlobReference& reference) {
  const auto freeChain = [&] { TZDBBlobChain(blobPages_).Free(session, reference.PageNo); };
  const auto freeShared = [&] { FreeShared(session, reference); };
  if (reference.BlobID == TZDBBlobReference::ChainID)
    freeChain();
  else if (reference.BlobID != TZDBBlobReference::AmbiguousID)
    freeShared();
  else if (ChainFirst(session, reference.PageNo))
    EitherOr(freeChain, freeShared);
  else
    EitherOr(freeShared, freeChain);
}

void TZDBDiskBlobManager::FreeShared(int32_t session, const TZDBBlobReference& reference) {
  TZDBPageRef page = blobPages_.Fetch(session, reference.PageNo);
  TZDBSmallBlobPage view(*page);
  TZDBSmallBlobPage::Entry entry;
  if (!view.Find(reference.BlobID, entry)) RaiseError(errors::BlobFieldMissing);
  view.Remove(entry);
  const int32_t used = view.UsedBytes();
  page.Release();
  if (used == 0) blobPages_.Free(session, reference.PageNo);
  SetUsedBytes(session, reference.PageNo, used);
}

bool TZDBDiskBlobManager::ChainFirst(int32_t session, int32_t pageNo) {
  return TZDBBlobChain(blobPages_).LooksLikeHead(session, pageNo);
}

void TZDBDiskBlobManager::SetUsedBytes(int32_t session, int32_t pageNo, int32_t usedBytes) {
  // The index follows what the page itself holds, so a count that drifted is mended here
  // rather than refusing every later value.
  const int32_t current = pageIndex_.GetUsedBytes(session, pageNo);
  if (current < 0) {
    if (usedBytes > 0) pageIndex_.AddBytes(session, usedBytes, pageNo);
  } else if (current != usedBytes) {
    pageIndex_.SubtractAmount(session, 0, usedBytes, pageNo);
  }
}

}  // namespace zdb
