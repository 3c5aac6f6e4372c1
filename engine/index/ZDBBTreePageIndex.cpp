#include "engine/index/ZDBBTreePageIndex.h"

#include <array>
#include <unordered_set>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPageRef.h"

namespace zdb {
namespace {

constexpr uint16_t MaxValue = 0xFFFF;

TZDBBTreeErrorCodes PageIndexCodes() {
  TZDBBTreeErrorCodes codes;
  codes.NextInvalidPosition = &errors::NextWithoutPosition;
  codes.PriorInvalidPosition = &errors::PriorWithoutPosition;
  codes.NextInvalidPage = &errors::NextBrokenLink;
  codes.PriorInvalidPage = &errors::PriorBrokenLink;
  codes.ReadInvalidPosition = &errors::GetValueWithoutPosition;
  return codes;
}

using KeyBytes = std::array<uint8_t, TZDBPageKeyRef::PageKeySize>;
using ValueBytes = std::array<uint8_t, TZDBPageKeyRef::PageValueSize>;

KeyBytes KeyOf(int32_t pageNo) {
  KeyBytes key{};
  TZDBPageKeyRef::WriteKey(key.data(), pageNo);
  return key;
}

ValueBytes ValueBytesOf(uint16_t value) {
  ValueBytes bytes{};
  le::PutU16(bytes.data(), value);
  return bytes;
}

[[noreturn]] void RaiseInvalidPosition(const TZDBError& code) { RaiseError(code); }
[[noreturn]] void RaiseIndexPageNumber(const TZDBError& code) { RaiseError(code); }

}  // namespace

TZDBBTreePageIndex::TZDBBTreePageIndex(TZDBPageManager& pages) : tree_(pages, keys_, PageIndexCodes()) {}

// --- the tree ------------------------------------------------------------------------------

void TZDBBTreePageIndex::CreateTree(int32_t session) { tree_.CreateRoot(session); }

void TZDBBTreePageIndex::DropTree(int32_t session) {
  if (tree_.HasRoot()) tree_.Drop(session);
}

void TZDBBTreePageIndex::EmptyTree(int32_t session) {
  if (!tree_.HasRoot()) RaiseIndexPageNumber(errors::EmptyWithoutTree);
  tree_.Empty(session);
}

// --- positions -----------------------------------------------------------------------------

bool TZDBBTreePageIndex::FirstEntry(int32_t session, TZDBKeyPath& path) {
  if (!tree_.HasRoot()) RaiseIndexPageNumber(errors::FirstWithoutTree);
  return tree_.FirstEntry(session, path);
}

bool TZDBBTreePageIndex::LastEntry(int32_t session, TZDBKeyPath& path) {
  if (!tree_.HasRoot()) RaiseIndexPageNumber(errors::LastWithoutTree);
  return tree_.LastEntry(session, path);
}

bool TZDBBTreePageIndex::NextEntry(int32_t session, TZDBKeyPath& path) { return tree_.NextEntry(session, path); }

bool TZDBBTreePageIndex::PriorEntry(int32_t session, TZDBKeyPath& path) { return tree_.PriorEntry(session, path); }

bool TZDBBTreePageIndex::Find(int32_t session, int32_t pageNo, TZDBKeyPath& path) {
  if (!tree_.HasRoot()) RaiseIndexPageNumber(errors::FindWithoutTree);
  const KeyBytes key = KeyOf(pageNo);
  return tree_.FindSatisfying(session, key.data(), TZDBSearchOperator::Equal, true, path);
}

uint16_t TZDBBTreePageIndex::GetValue(int32_t session, const TZDBKeyPath& path) {
  if (path.Empty()) RaiseInvalidPosition(errors::GetValueWithoutPosition);
  ValueBytes value{};
  tree_.ReadEntry(session, path, nullptr, value.data());
  return le::GetU16(value.data());
}

void TZDBBTreePageIndex::SetValue(int32_t session, const TZDBKeyPath& path, uint16_t value) {
  if (path.Empty()) RaiseInvalidPosition(errors::SetValueWithoutPosition);
  const TZDBKeyPathLevel& at = path.Leaf();
  TZDBPageRef page = tree_.FetchPage(session, at.PageNo);
  TZDBBTreePage leaf = tree_.View(*page);
  if (!leaf.IsLeaf() || at.EntryNo < 0 || at.EntryNo >= leaf.EntryCount())
    RaiseInvalidPosition(errors::SetValueWithoutPosition);
  le::PutU16(leaf.EntryData(at.EntryNo), value);
  page->MarkDirty();
}

int32_t TZDBBTreePageIndex::GetPageNo(int32_t session, const TZDBKeyPath& path) {
  if (path.Empty()) RaiseInvalidPosition(errors::PageNoWithoutPosition);
  KeyBytes key{};
  tree_.ReadEntry(session, path, key.data(), nullptr);
  return TZDBPageKeyRef::ReadKey(key.data());
}

// --- room ----------------------------------------------------------------------------------

bool TZDBBTreePageIndex::FindRoomInLeaf(int32_t session, int32_t leafPageNo, int32_t amount, bool backwards,
                                        int32_t& pageNo) {
  TZDBPageRef page = tree_.FetchPage(session, leafPageNo);
  const TZDBBTreePage leaf = tree_.View(*page);
  const int32_t count = leaf.EntryCount();
  for (int32_t n = 0; n < count; ++n) {
    const int32_t i = backwards ? count - 1 - n : n;
    if (HasRoom(ValueAt(leaf, i), amount)) {
      pageNo = PageNoAt(leaf, i);
      return true;
    }
  }
  return false;
}

bool TZDBBTreePageIndex::FindPageWithRoom(int32_t session, int32_t amount, int32_t& pageNo) {
  if (!tree_.HasRoot()) return false;
  TZDBKeyPath path;
  if (!tree_.LastEntry(session, path)) return false;
  const int32_t lastLeaf = path.Leaf().PageNo;
  if (FindRoomInLeaf(session, lastLeaf, amount, true, pageNo)) return true;
  if (!tree_.FirstEntry(session, path) || path.Leaf().PageNo == lastLeaf) return false;
  return FindRoomInLeaf(session, path.Leaf().PageNo, amount, false, pageNo);
}

void TZDBBTreePageIndex::AddAmount(int32_t session, int32_t amount, int32_t pageNo) {
  TZDBKeyPath path;
  if (!Find(session, pageNo, path)) {
    if (amount <= 0 || amount > MaxValue) RaiseError(errors::IndexPageFull);
    const KeyBytes key = KeyOf(pageNo);
    const ValueBytes value = ValueBytesOf(static_cast<uint16_t>(amount));
    tree_.Insert(session, key.data(), value.data());
    return;
  }
  const uint16_t value = GetValue(session, path);
  if (!HasRoom(value, amount) || value + amount > MaxValue)
    RaiseError(errors::IndexPageFull);
  SetValue(session, path, static_cast<uint16_t>(value + amount));
}

void TZDBBTreePageIndex::SubtractAmount(int32_t session, int32_t amount, int32_t newValue, int32_t pageNo) {
  TZDBKeyPath path;
  if (!tree_.HasRoot() || !tree_.FirstEntry(session, path)) RaiseError(errors::SubtractFromEmptyTree);
  if (!Find(session, pageNo, path)) RaiseError(errors::SubtractFromMissingPage);
  const uint16_t value = GetValue(session, path);
  if (newValue == SubtractFromValue) {
    if (value == 0 || value < amount) RaiseError(errors::SubtractBelowZero);
    newValue = value - amount;
  }
  if (newValue < 0 || newValue > MaxValue) RaiseError(errors::SubtractBelowZero);
  if (newValue != 0) {
    SetValue(session, path, static_cast<uint16_t>(newValue));
    return;
  }
  const KeyBytes key = KeyOf(pageNo);
  const ValueBytes current = ValueBytesOf(value);
  tree_.Remove(session, key.data(), current.data());
}

// --- leaves --------------------------------------------------------------------------------

void TZDBBTreePageIndex::ForEachLeaf(int32_t session, const LeafVisitor& visit, int32_t fromLeaf) {
  if (!tree_.HasRoot()) return;
  int32_t pageNo = fromLeaf;
  if (pageNo == NoRoot) {
    TZDBKeyPath path;
    if (!tree_.FirstEntry(session, path)) return;
    pageNo = path.Leaf().PageNo;
  }
  std::unordered_set<int32_t> seen;
  while (pageNo != NoRoot) {
    // A damaged chain that loops must not walk forever.
    if (!seen.insert(pageNo).second)
      RaiseError(errors::DamagedLeafChain, {pageNo, -1});
    TZDBPageRef page = tree_.FetchPage(session, pageNo);
    const TZDBBTreePage leaf = tree_.View(*page);
    if (!visit(leaf)) return;
    pageNo = leaf.RightPageNo();
  }
}

uint16_t TZDBBTreePageIndex::ValueAt(const TZDBBTreePage& leaf, int32_t entryNo) {
  return le::GetU16(leaf.EntryData(entryNo));
}

int32_t TZDBBTreePageIndex::PageNoAt(const TZDBBTreePage& leaf, int32_t entryNo) {
  return TZDBPageKeyRef::ReadKey(leaf.Key(entryNo));
}

}  // namespace zdb
