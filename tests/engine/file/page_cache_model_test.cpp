// Sessions doing random gets, changes, adds, removes, commits and rollbacks against the
// page cache, checked step by step against a plain model of what each session must see.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBPageRef.h"
#include "tests/engine/file/support/MemoryPageManager.h"

namespace zdb {
namespace {

using test::MemoryPageManager;
using test::SetValue;
using test::ValueOf;

constexpr uint16_t RecordPage = 10;
constexpr int32_t CacheCapacity = 4;

struct SessionModel {
  std::map<int32_t, uint32_t> changed;  // the session's own versions (changed or added)
  std::set<int32_t> added;
  std::vector<int32_t> removed;

  bool Removed(int32_t pageNo) const { return std::find(removed.begin(), removed.end(), pageNo) != removed.end(); }
  bool HasChanges() const { return !changed.empty() || !added.empty() || !removed.empty(); }
};

class PageCacheModel {
 public:
  explicit PageCacheModel(uint32_t seed) : random_(seed), manager_(CacheCapacity) {
    for (int32_t n = 2; n < 12; ++n) {
      committed_[n] = Next();
      manager_.Store(n, RecordPage, committed_[n]);
    }
    for (int32_t s : Sessions) sessions_[s];
  }

  void Step() {
    const int32_t s = Sessions[Pick(std::size(Sessions))];
    switch (Pick(8)) {
      case 0: case 1: Read(s); break;
      case 2: case 3: Change(s); break;
      case 4: Add(s); break;
      case 5: Remove(s); break;
      case 6: Pick(3) == 0 ? Rollback(s) : Commit(s); break;
      default: Contend(s); break;
    }
    CheckInvariants();
  }

 private:
  static constexpr int32_t Sessions[] = {-2, 0, 1};

  size_t Pick(size_t range) { return std::uniform_int_distribution<size_t>(0, range - 1)(random_); }
  uint32_t Next() { return ++counter_; }

  // Pages the session may use: the committed ones and its own new ones, minus the ones it
  // removed; with forWrite, also minus those another session has changed or removed.
  std::vector<int32_t> Usable(int32_t s, bool forWrite) const {
    std::set<int32_t> pages;
    for (const auto& [n, value] : committed_) pages.insert(n);
    pages.insert(sessions_.at(s).added.begin(), sessions_.at(s).added.end());
    std::vector<int32_t> result;
    for (int32_t n : pages) {
      if (sessions_.at(s).Removed(n)) continue;
      if (forWrite && ClaimedByOther(s, n)) continue;
      result.push_back(n);
    }
    return result;
  }
  bool ClaimedByOther(int32_t s, int32_t n) const {
    for (const auto& [other, model] : sessions_) {
      if (other != s && (model.changed.count(n) != 0 || model.Removed(n))) return true;
    }
    return false;
  }
  uint32_t Expected(int32_t s, int32_t n) const {
    const auto& changed = sessions_.at(s).changed;
    auto it = changed.find(n);
    return it != changed.end() ? it->second : committed_.at(n);
  }

  void Read(int32_t s) {
    auto pages = Usable(s, false);
    if (pages.empty()) return;
    const int32_t n = pages[Pick(pages.size())];
    TZDBPageRef page(manager_, s, n, Pick(2) == 0, Pick(2) == 0 ? TZDBPageManager::AnyPageType : RecordPage);
    ASSERT_EQ(ValueOf(*page), Expected(s, n)) << "session " << s << " page " << n;
  }

  void Change(int32_t s) {
    auto pages = Usable(s, true);
    if (pages.empty()) return;
    const int32_t n = pages[Pick(pages.size())];
    const uint32_t value = Next();
    TZDBPageRef page(manager_, s, n, false, RecordPage);
    SetValue(*page, value);
    sessions_[s].changed[n] = value;
  }

  void Add(int32_t s) {
    TZDBPageRef page = TZDBPageRef::Add(manager_, s, RecordPage);
    const int32_t n = page->PageNo();
    ASSERT_EQ(committed_.count(n), 0u) << "page " << n << " handed out twice";
    const uint32_t value = Next();
    SetValue(*page, value);
    sessions_[s].added.insert(n);
    sessions_[s].changed[n] = value;
  }

  void Remove(int32_t s) {
    auto pages = Usable(s, true);
    if (pages.empty()) return;
    const int32_t n = pages[Pick(pages.size())];
    manager_.RemovePage(s, n);
    sessions_[s].removed.push_back(n);
  }

  void Commit(int32_t s) {
    SessionModel& model = sessions_[s];
    std::vector<int32_t> expectedWrites;
    for (const auto& [n, value] : model.changed) {
      if (!model.Removed(n)) expectedWrites.push_back(n);
    }
    manager_.writes.clear();
    manager_.frees.clear();
    manager_.ApplyChanges(s);
    ASSERT_EQ(manager_.writes, expectedWrites);
    ASSERT_EQ(manager_.frees, model.removed);

    for (int32_t n : model.removed) committed_.erase(n);
    for (int32_t n : expectedWrites) committed_[n] = model.changed[n];
    model = SessionModel{};
    for (const auto& [n, value] : committed_) ASSERT_EQ(manager_.StoredValue(n), value) << "page " << n;
  }

  void Rollback(int32_t s) {
    SessionModel& model = sessions_[s];
    manager_.writes.clear();
    manager_.frees.clear();
    manager_.CancelChanges(s);
    ASSERT_TRUE(manager_.writes.empty());
    ASSERT_EQ(std::set<int32_t>(manager_.frees.begin(), manager_.frees.end()), model.added);
    model = SessionModel{};
  }

  // A session holds a shared page; another one asking for it is refused, not given it.
  void Contend(int32_t s) {
    const int32_t t = s == 0 ? 1 : 0;
    std::vector<int32_t> pages;
    for (const auto& [n, value] : committed_) {
      if (sessions_[s].changed.count(n) == 0 && sessions_[t].changed.count(n) == 0) pages.push_back(n);
    }
    if (pages.empty()) return;
    const int32_t n = pages[Pick(pages.size())];
    TZDBPageRef held(manager_, s, n, false, RecordPage);
    try {
      manager_.GetPage(t, n, false, RecordPage);
      FAIL() << "page " << n << " handed to a second session";
    } catch (const EZDBException& e) {
      ASSERT_EQ(e.NativeError(), 20090);
    }
    ASSERT_EQ(held->UseCount(), 1);
  }

  void CheckInvariants() {
    ASSERT_LE(manager_.CachedPageCount(), static_cast<size_t>(CacheCapacity));
    for (const auto& [s, model] : sessions_) {
      ASSERT_EQ(manager_.HasSessionChanges(s), model.HasChanges()) << "session " << s;
      ASSERT_EQ(manager_.PrivatePageCount(s), model.changed.size()) << "session " << s;
    }
  }

  std::mt19937 random_;
  MemoryPageManager manager_;
  std::map<int32_t, uint32_t> committed_;
  std::map<int32_t, SessionModel> sessions_;
  uint32_t counter_ = 1000;
};

TEST(PageCacheModel, RandomSessionsAgreeWithTheModel) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    PageCacheModel model(seed);
    for (int step = 0; step < 2000 && !::testing::Test::HasFatalFailure(); ++step) model.Step();
  }
}

}  // namespace
}  // namespace zdb
