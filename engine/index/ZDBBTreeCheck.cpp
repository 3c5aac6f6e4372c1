#include "engine/index/ZDBBTreeCheck.h"

#include <optional>
#include <unordered_set>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/index/ZDBBTreePage.h"
#include "engine/index/ZDBKeyPath.h"

namespace zdb {
namespace {

using Bytes = std::vector<uint8_t>;

// A page to visit and the key range its entries must lie in (set by the separators above).
struct PendingPage {
  int32_t PageNo;
  std::optional<Bytes> Lower;
  std::optional<Bytes> Upper;
};

class TreeChecker {
 public:
  TreeChecker(TZDBPageManager& pages, int32_t session, TZDBBTreeKeyRef& keys, bool resolve)
      : pages_(pages), session_(session), keys_(keys), resolve_(resolve) {}

  TZDBBTreeCheckReport Run(int32_t rootPageNo) {
    std::vector<PendingPage> level{{rootPageNo, std::nullopt, std::nullopt}};
    for (int32_t depth = 0; !level.empty(); ++depth) {
      if (depth >= TZDBKeyPath::MaxLevels) {
        Problem("Index tree deeper than " + std::to_string(TZDBKeyPath::MaxLevels) + " levels");
        break;
      }
      report_.Depth = depth + 1;
      level = CheckLevel(level, depth == 0);
    }
    return std::move(report_);
  }

 private:
  void Problem(const std::string& text) { report_.Problems.push_back(text); }
  void PageProblem(int32_t pageNo, const std::string& text) {
    Problem("Index page " + std::to_string(pageNo) + ": " + text);
  }

  // Checks one level and answers the next one.
  std::vector<PendingPage> CheckLevel(const std::vector<PendingPage>& level, bool isRootLevel) {
    std::vector<PendingPage> next;
    std::optional<bool> levelIsLeaf;
    int32_t expectedLeft = TZDBBTreePage::NoPage;
    for (size_t i = 0; i < level.size(); ++i) {
      const PendingPage& pending = level[i];
      if (!seen_.insert(pending.PageNo).second) {
        PageProblem(pending.PageNo, "reachable more than once");
        continue;
      }
      report_.Pages.push_back(pending.PageNo);
      try {
        TZDBPageRef page(pages_, session_, pending.PageNo, false, TZDBPageManager::AnyPageType);
        if (page->PageType() != TZDBBTreePage::PageType) {
          PageProblem(pending.PageNo, "not an index page (type " + std::to_string(page->PageType()) + ")");
          continue;
        }
        const TZDBBTreePage view(*page, keys_.EntryDataSize());
        if (!view.IsSane(static_cast<uint16_t>(keys_.KeySize())) || view.HeaderExtra() != 0 ||
            view.EntriesHaveRecordID()) {
          PageProblem(pending.PageNo, "damaged header");
          continue;
        }
        if (view.IsRoot() != isRootLevel) PageProblem(pending.PageNo, isRootLevel ? "root flag missing" : "root flag set");
        if (!levelIsLeaf) levelIsLeaf = view.IsLeaf();
        if (view.IsLeaf() != *levelIsLeaf) PageProblem(pending.PageNo, "leaves and nodes on one level");
        if (!isRootLevel && view.EntryCount() == 0) PageProblem(pending.PageNo, "empty page");
        if (!isRootLevel && !view.IsLeaf() && view.EntryCount() == 0) continue;

        // Neighbour links follow the order in which the level above lists its children.
        if (view.LeftPageNo() != expectedLeft)
          PageProblem(pending.PageNo, "left link " + std::to_string(view.LeftPageNo()) + ", expected " +
                                          std::to_string(expectedLeft));
        const int32_t expectedRight = i + 1 < level.size() ? level[i + 1].PageNo : TZDBBTreePage::NoPage;
        if (view.RightPageNo() != expectedRight)
          PageProblem(pending.PageNo, "right link " + std::to_string(view.RightPageNo()) + ", expected " +
                                          std::to_string(expectedRight));
        expectedLeft = pending.PageNo;

        if (view.IsLeaf()) {
          CheckLeaf(pending, view);
        } else {
          CheckNode(pending, view, next);
        }
      } catch (const EZDBException& error) {
        PageProblem(pending.PageNo, error.what());
      }
    }
    return next;
  }

  void CheckNode(const PendingPage& pending, const TZDBBTreePage& view, std::vector<PendingPage>& next) {
    const int32_t count = view.EntryCount();
    for (int32_t e = 2; e < count; ++e) {
      if (keys_.CompareKeys(view.Key(e - 1), view.Key(e), nullptr, nullptr, session_, false) > 0)
        PageProblem(pending.PageNo, "separators out of order at entry " + std::to_string(e));
    }
    for (int32_t e = 0; e < count; ++e) {
      PendingPage child{view.ChildPageNo(e), pending.Lower, pending.Upper};
      if (e >= 1) child.Lower = Bytes(view.Key(e), view.Key(e) + view.KeySize());
      if (e + 1 < count) child.Upper = Bytes(view.Key(e + 1), view.Key(e + 1) + view.KeySize());
      next.push_back(std::move(child));
    }
  }

  void CheckLeaf(const PendingPage& pending, const TZDBBTreePage& view) {
    const int32_t count = view.EntryCount();
    for (int32_t e = 0; e < count; ++e) {
      const uint8_t* key = view.Key(e);
      const uint8_t* data = view.EntryData(e);
      if (pending.Lower && keys_.CompareKeys(pending.Lower->data(), key, data, nullptr, session_, false) > 0)
        PageProblem(pending.PageNo, "entry " + std::to_string(e) + " lies below its separator");
      if (pending.Upper && keys_.CompareKeys(pending.Upper->data(), key, data, nullptr, session_, false) < 0)
        PageProblem(pending.PageNo, "entry " + std::to_string(e) + " lies above the next separator");
      if (previousKey_) CheckOrder(pending.PageNo, e, key, data);
      previousKey_ = Bytes(key, key + view.KeySize());
      previousData_ = Bytes(data, data + view.EntryDataSize());
      ++report_.EntryCount;
    }
  }

  // Consecutive entries in index order, across page boundaries.
  void CheckOrder(int32_t pageNo, int32_t entryNo, const uint8_t* key, const uint8_t* data) {
    const int order =
        keys_.CompareKeys(previousKey_->data(), key, data, previousData_.data(), session_, resolve_);
    bool wrong = order > 0;
    if (order == 0) {
      if (keys_.KeysAreUnique()) {
        wrong = true;
      } else if (resolve_ || !keys_.HasTruncatedColumns()) {
        wrong = keys_.CompareEntryData(previousData_.data(), data) >= 0;
      }
    }
    if (wrong) PageProblem(pageNo, "entry " + std::to_string(entryNo) + " out of order");
  }

  TZDBPageManager& pages_;
  int32_t session_;
  TZDBBTreeKeyRef& keys_;
  bool resolve_;
  TZDBBTreeCheckReport report_;
  std::unordered_set<int32_t> seen_;
  std::optional<Bytes> previousKey_;
  Bytes previousData_;
};

}  // namespace

TZDBBTreeCheckReport CheckBTree(TZDBPageManager& pages, int32_t session, TZDBBTreeKeyRef& keys, int32_t rootPageNo,
                                bool resolve) {
  return TreeChecker(pages, session, keys, resolve).Run(rootPageNo);
}

}  // namespace zdb
