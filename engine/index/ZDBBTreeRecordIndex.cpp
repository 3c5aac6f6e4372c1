#include "engine/index/ZDBBTreeRecordIndex.h"

#include <algorithm>
#include <cmath>

#include "engine/base/ZDBException.h"

namespace zdb {

TZDBBTreeRecordIndex::TZDBBTreeRecordIndex(TZDBPageManager& pages, TZDBIndexedTable& table)
    : pages_(pages), table_(table), tree_(pages, keys_) {}

void TZDBBTreeRecordIndex::PrepareKeys() {
  keys_.Prepare(Definition().Columns, &table_);
  keys_.SetEntryDataSize(TZDBRecordKeyRef::RecordIDDataSize);
  tree_.CheckGeometry();
  keyBuffer_.assign(static_cast<size_t>(keys_.KeySize()), 0);
  fullKeyA_.assign(static_cast<size_t>(keys_.FullKeySize()), 0);
  fullKeyB_.assign(static_cast<size_t>(keys_.FullKeySize()), 0);
  tree_.SetRootPageNo(Definition().RootPageNo);
}

void TZDBBTreeRecordIndex::RequireRoot(const TZDBError& code) const {
  if (!tree_.HasRoot()) RaiseError(code);
}

const uint8_t* TZDBBTreeRecordIndex::BuildKey(const uint8_t* recordBuffer) {
  keys_.BuildPageKey(recordBuffer, keyBuffer_.data());
  return keyBuffer_.data();
}

void TZDBBTreeRecordIndex::InsertRow(int32_t session, const uint8_t* recordBuffer, const TZDBRecordID& recordID) {
  uint8_t data[TZDBRecordID::ByteSize];
  recordID.Write(data);
  tree_.Insert(session, BuildKey(recordBuffer), data);
}

bool TZDBBTreeRecordIndex::RemoveRow(int32_t session, const uint8_t* recordBuffer, const TZDBRecordID& recordID) {
  uint8_t data[TZDBRecordID::ByteSize];
  recordID.Write(data);
  return tree_.Remove(session, BuildKey(recordBuffer), data);
}

// --- building, emptying, dropping --------------------------------------------------------

void TZDBBTreeRecordIndex::CreateIndexTree(const TZDBIndexCursor* cursor, TZDBIndexKeyDef& definition) {
  TZDBIndex::CreateIndexTree(cursor, definition);
  MutableDefinition().RootPageNo = TZDBIndexKeyDef::NoRootPageNo;
  PrepareKeys();
  const int32_t session = cursor != nullptr ? cursor->SessionID() : TZDBPageManager::SystemSession;
  const int32_t root = tree_.CreateRoot(session);
  MutableDefinition().RootPageNo = root;
  definition.RootPageNo = root;
  if (cursor == nullptr) return;
  table_.ForEachRecord(session, [&](const TZDBRecordID& recordID, const uint8_t* recordBuffer) {
    InsertRow(session, recordBuffer, recordID);
  });
}

void TZDBBTreeRecordIndex::OpenIndex(const TZDBIndexKeyDef& definition) {
  TZDBIndex::OpenIndex(definition);
  PrepareKeys();
}

void TZDBBTreeRecordIndex::DropIndexTree(int32_t session) {
  RequireRoot(errors::NoRootDrop);
  tree_.Drop(session);
  MutableDefinition().RootPageNo = TZDBIndexKeyDef::NoRootPageNo;
}

void TZDBBTreeRecordIndex::EmptyIndexTree(int32_t session) {
  RequireRoot(errors::NoRootEmpty);
  tree_.Empty(session);
}

void TZDBBTreeRecordIndex::RebuildIndex(const TZDBIndexCursor& cursor) {
  DropIndexTree(cursor.SessionID());
  TZDBIndexKeyDef definition = Definition();
  CreateIndexTree(&cursor, definition);
}

// --- navigation --------------------------------------------------------------------------

TZDBRecordID TZDBBTreeRecordIndex::RecordIDAt(int32_t session, const TZDBKeyPath& path) {
  uint8_t data[TZDBRecordID::ByteSize];
  tree_.ReadEntry(session, path, nullptr, data);
  return TZDBRecordID::Read(data);
}

void TZDBBTreeRecordIndex::CompleteMove(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                                        TZDBIndexPositionCache* cache, const TZDBKeyPath& path) {
  const TZDBRecordID recordID = RecordIDAt(session, path);
  request.RecordID = recordID;
  request.BeforeFirst = false;
  request.AfterLast = false;
  if (request.RecordBuffer != nullptr && !table_.ReadRecord(session, recordID, request.RecordBuffer))
    RaiseError(errors::RowUnreadable);
  request.GetResult = grOK;
  if (cache != nullptr) {
    if (&cache->Path != &path) cache->Path = path;
    cache->IndexID = Definition().ObjectID;
    cache->RecordID = recordID;
    cache->ChangeCounter = changeCounter;
  }
}

void TZDBBTreeRecordIndex::EndReached(TZDBNavigationRequest& request) {
  if (request.GetMode == grmNext) {
    request.GetResult = grEOF;
    request.AfterLast = true;
  } else {
    request.GetResult = grBOF;
    request.BeforeFirst = true;
  }
}

bool TZDBBTreeRecordIndex::HasCachedPath(const TZDBNavigationRequest& request, int32_t changeCounter,
                                         const TZDBIndexPositionCache* cache) const {
  return cache != nullptr && cache->IndexID == Definition().ObjectID && cache->RecordID == request.RecordID &&
         cache->ChangeCounter == changeCounter && !cache->Path.Empty();
}

void TZDBBTreeRecordIndex::GetRecord(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                                     TZDBIndexPositionCache* cache) {
  if (request.GetMode == grmCurrent) RaiseError(errors::CurrentModeRefused);
  RequireRoot(errors::NoRootGetRecord);
  TZDBKeyPath path;
  if (request.BeforeFirst || request.AfterLast) {
    const bool found = request.BeforeFirst ? tree_.FirstEntry(session, path) : tree_.LastEntry(session, path);
    if (!found) {
      request.GetResult = grNotFound;
      return;
    }
    CompleteMove(session, request, changeCounter, cache, path);
    return;
  }
  if (HasCachedPath(request, changeCounter, cache)) {
    // The cached path moves in place (a path is a few hundred bytes); should the move fail
    // half-way, the cache no longer names the row and is dropped.
    try {
      MoveAlong(session, request, changeCounter, cache, cache->Path);
    } catch (...) {
      cache->Path.Clear();
      throw;
    }
    return;
  }
  if (!FindRecordPath(session, request.RecordID, path, request.RecordBuffer)) {
    request.GetResult = grNotFound;
    return;
  }
  MoveAlong(session, request, changeCounter, cache, path);
}

void TZDBBTreeRecordIndex::MoveAlong(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                                     TZDBIndexPositionCache* cache, TZDBKeyPath& path) {
  const bool moved = request.GetMode == grmNext ? tree_.NextEntry(session, path) : tree_.PriorEntry(session, path);
  if (!moved) {
    EndReached(request);
    return;
  }
  CompleteMove(session, request, changeCounter, cache, path);
}

void TZDBBTreeRecordIndex::GetNearbyRecord(int32_t session, TZDBNavigationRequest& request, int32_t changeCounter,
                                           TZDBIndexPositionCache* cache) {
  if (request.GetMode == grmCurrent) RaiseError(errors::CurrentModeRefused);
  RequireRoot(errors::NoRootNearby);
  if (request.RecordBuffer == nullptr) RaiseError(errors::RowUnreadable);
  const bool next = request.GetMode == grmNext;
  TZDBKeyPath path;
  const bool found = tree_.FindSatisfying(session, BuildKey(request.RecordBuffer),
                                          next ? TZDBSearchOperator::Greater : TZDBSearchOperator::Less, next, path);
  if (!found) {
    EndReached(request);
    return;
  }
  CompleteMove(session, request, changeCounter, cache, path);
}

bool TZDBBTreeRecordIndex::FindRecordPath(int32_t session, const TZDBRecordID& recordID, TZDBKeyPath& path,
                                          const uint8_t* recordBuffer) {
  RequireRoot(errors::NoRootRead);
  path.Clear();
  if (recordBuffer == nullptr) {
    rowBuffer_.assign(static_cast<size_t>(std::max(table_.RecordBufferSize(), 0)), 0);
    if (!table_.ReadRecord(session, recordID, rowBuffer_.data())) return false;
    recordBuffer = rowBuffer_.data();
  }
  uint8_t data[TZDBRecordID::ByteSize];
  recordID.Write(data);
  if (tree_.FindEntry(session, BuildKey(recordBuffer), data, path)) return true;
  path.Clear();
  return false;
}

int TZDBBTreeRecordIndex::ComparePaths(const TZDBKeyPath* a, const TZDBKeyPath* b) {
  if (a == nullptr) RaiseError(errors::NoPathA);
  if (b == nullptr) RaiseError(errors::NoPathB);
  return TZDBKeyPath::ComparePaths(*a, *b);
}

// --- record numbers ----------------------------------------------------------------------

int64_t TZDBBTreeRecordIndex::GetRecNo(int32_t session, const TZDBRecordID& recordID, const uint8_t* recordBuffer) {
  RequireRoot(errors::NoRootRecNo);
  TZDBKeyPath path;
  if (!FindRecordPath(session, recordID, path, recordBuffer)) return -1;
  return tree_.EntriesBefore(session, path) + 1;
}

void TZDBBTreeRecordIndex::GetRecordAtRecNo(int32_t session, TZDBRecordID& recordID, int64_t recNo) {
  RequireRoot(errors::NoRootAtRecNo);
  TZDBKeyPath path;
  if (!tree_.FirstEntry(session, path)) RaiseError(errors::EmptyIndex);
  if (!tree_.EntryAtPosition(session, std::max<int64_t>(recNo, 1) - 1, path))
    RaiseError(errors::RecNoTooLarge);
  recordID = RecordIDAt(session, path);
}

std::pair<int32_t, int32_t> TZDBBTreeRecordIndex::PathBase() {
  const int32_t divisor = keys_.KeySize() + 4;
  return {pages_.PageDataSize() / divisor, pages_.PageDataSize() % divisor};
}

void TZDBBTreeRecordIndex::GetRecordAtPath(int32_t session, const TZDBKeyPath& path, TZDBRecordID& recordID) {
  RequireRoot(errors::NoRootRead);
  uint8_t data[TZDBRecordID::ByteSize];
  if (!tree_.ReadEntryAtNumbers(session, path, nullptr, data))
    RaiseError(errors::InvalidPathNumbers);
  recordID = TZDBRecordID::Read(data);
}

// --- searches ----------------------------------------------------------------------------

bool TZDBBTreeRecordIndex::FindCondition(int32_t session, const TZDBIndexKeyCondition& condition, bool forward,
                                         TZDBKeyPath& path) {
  RequireRoot(errors::NoRootRead);
  const uint8_t* key = BuildKey(condition.SearchRow);
  TZDBCompareColumnsScope scope(keys_, condition.ColumnCount, condition.SearchRow, condition.PrefixSearch);
  return tree_.FindSatisfying(session, key, condition.Operator, forward, path);
}

bool TZDBBTreeRecordIndex::FindNextMatch(int32_t session, bool restart, TZDBIndexSearchState* state,
                                         TZDBRecordID& recordID, const uint8_t* recordBuffer,
                                         const TZDBIndexKeyCondition* endCondition,
                                         const TZDBIndexKeyCondition* condition, bool forward) {
  if (state == nullptr) RaiseError(errors::NoSearchState);
  if (restart && state->Started) RaiseError(errors::StateStarted);
  RequireRoot(errors::NoRootRead);

  TZDBKeyPath path = state->Path;
  // A continuation that starts from a satisfying entry lying after the current row must
  // yield that entry itself, not the one after it.
  bool step = !restart;
  if (restart || !state->Started) {
    if (condition != nullptr) {
      if (!FindCondition(session, *condition, forward, path)) return false;
      if (!restart) {
        TZDBKeyPath current;
        if (!FindRecordPath(session, recordID, current, recordBuffer)) return false;
        const int order = TZDBKeyPath::ComparePaths(current, path);
        if (forward ? order < 0 : order > 0) {
          step = false;
        } else {
          path = current;
        }
      }
    } else if (restart) {
      if (!(forward ? tree_.FirstEntry(session, path) : tree_.LastEntry(session, path))) return false;
    } else if (!FindRecordPath(session, recordID, path, recordBuffer)) {
      return false;
    }
  }
  if (!state->Started && condition != nullptr) {
    const TZDBIndexKeyCondition& end = endCondition != nullptr ? *endCondition : *condition;
    if (!FindCondition(session, end, !forward, state->EndPath)) return false;
    state->HasEndPath = true;
  }
  if (step && !(forward ? tree_.NextEntry(session, path) : tree_.PriorEntry(session, path))) return false;
  if (state->HasEndPath) {
    const int order = TZDBKeyPath::ComparePaths(path, state->EndPath);
    if (forward ? order > 0 : order < 0) return false;
  }
  state->Path = path;
  recordID = RecordIDAt(session, path);
  if (!state->Started) {
    state->Started = true;
    state->Forward = forward;
  }
  return true;
}

int TZDBBTreeRecordIndex::CompareRows(const uint8_t* a, const uint8_t* b, int32_t columnCount) {
  keys_.BuildFullKey(a, fullKeyA_.data());
  keys_.BuildFullKey(b, fullKeyB_.data());
  TZDBCompareColumnsScope scope(keys_, columnCount, nullptr, false);
  return keys_.CompareFullKeys(fullKeyA_.data(), fullKeyB_.data());
}

int TZDBBTreeRecordIndex::CompareConditions(const TZDBIndexKeyCondition& a, const TZDBIndexKeyCondition& /*b*/) {
  switch (a.Operator) {
    case TZDBSearchOperator::Greater:
    case TZDBSearchOperator::GreaterOrEqual:
      return -1;
    case TZDBSearchOperator::Less:
    case TZDBSearchOperator::LessOrEqual:
      return 1;
    default:
      return 0;
  }
}

int64_t TZDBBTreeRecordIndex::EstimateCount(int32_t session, const TZDBIndexKeyCondition& a,
                                            const TZDBIndexKeyCondition& b, int64_t rowCount) {
  RequireRoot(errors::NoRootRead);
  const bool aFirst = CompareConditions(a, b) <= 0;
  TZDBIndexKeyCondition lower = aFirst ? a : b;
  TZDBIndexKeyCondition upper = aFirst ? b : a;
  upper.ColumnCount = lower.ColumnCount;
  TZDBKeyPath first, last;
  if (!FindCondition(session, lower, true, first) || !FindCondition(session, upper, false, last)) return 0;
  const double share = last.RelativePosition() - first.RelativePosition();
  const int64_t estimate = std::llround(share * static_cast<double>(rowCount));
  return std::clamp<int64_t>(estimate, 0, std::max<int64_t>(rowCount, 0));
}

void TZDBBTreeRecordIndex::MarkDistinct(int32_t session, TZDBRecordMarks* marks, int32_t columnCount) {
  if (marks == nullptr) RaiseError(errors::NoMarks);
  RequireRoot(errors::NoRootRead);
  TZDBKeyPath path;
  if (!tree_.FirstEntry(session, path)) return;
  TZDBCompareColumnsScope scope(keys_, columnCount, nullptr, false);
  std::vector<uint8_t> key(static_cast<size_t>(keys_.KeySize()));
  std::vector<uint8_t> previousKey(key.size());
  uint8_t data[TZDBRecordID::ByteSize];
  uint8_t previousData[TZDBRecordID::ByteSize];
  bool havePrevious = false;
  do {
    tree_.ReadEntry(session, path, key.data(), data);
    const TZDBRecordID recordID = TZDBRecordID::Read(data);
    if (!marks->IsMarked(recordID)) continue;
    if (havePrevious &&
        keys_.CompareKeys(previousKey.data(), key.data(), data, previousData, session, true) == 0) {
      marks->SetMarked(recordID, false);
    }
    previousKey = key;
    std::copy(std::begin(data), std::end(data), std::begin(previousData));
    havePrevious = true;
  } while (tree_.NextEntry(session, path));
}

// --- uniqueness --------------------------------------------------------------------------

bool TZDBBTreeRecordIndex::IsKeyFree(int32_t session, const uint8_t* recordBuffer) {
  if (!Definition().EnforcesUniqueness()) return true;
  RequireRoot(errors::NoRootKeyFree);
  TZDBKeyPath path;
  return !tree_.FindSatisfying(session, BuildKey(recordBuffer), TZDBSearchOperator::Equal, true, path);
}

bool TZDBBTreeRecordIndex::IsNewKeyFree(int32_t session, const uint8_t* oldRecordBuffer,
                                        const uint8_t* newRecordBuffer) {
  if (CompareRows(oldRecordBuffer, newRecordBuffer, keys_.ColumnCount()) == 0) return true;
  return IsKeyFree(session, newRecordBuffer);
}

// --- keeping in step with the rows -------------------------------------------------------

void TZDBBTreeRecordIndex::InsertEntry(const TZDBIndexCursor& cursor) {
  RequireRoot(errors::NoRootInsert);
  InsertRow(cursor.SessionID(), cursor.RecordBuffer(), cursor.RecordID());
}

void TZDBBTreeRecordIndex::DeleteEntry(const TZDBIndexCursor& cursor) {
  RequireRoot(errors::NoRootDelete);
  if (!RemoveRow(cursor.SessionID(), cursor.RecordBuffer(), cursor.RecordID()))
    RaiseError(errors::IndexEntryNotFound);
}

void TZDBBTreeRecordIndex::UpdateEntry(const TZDBIndexCursor& cursor, bool deletePhase) {
  RequireRoot(errors::NoRootRead);
  if (CompareRows(cursor.OriginalRecordBuffer(), cursor.RecordBuffer(), keys_.ColumnCount()) == 0) return;
  if (deletePhase) {
    if (!RemoveRow(cursor.SessionID(), cursor.OriginalRecordBuffer(), cursor.RecordID()))
      RaiseError(errors::UpdateEntryNotFound);
  } else {
    InsertRow(cursor.SessionID(), cursor.RecordBuffer(), cursor.RecordID());
  }
}

TZDBBTreeCheckReport TZDBBTreeRecordIndex::Check(int32_t session, bool resolve) {
  RequireRoot(errors::NoRootRead);
  return CheckBTree(pages_, session, keys_, tree_.RootPageNo(), resolve);
}

}  // namespace zdb
