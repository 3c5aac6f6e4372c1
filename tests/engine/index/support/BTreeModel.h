// The model-based test of B-tree table indexes: long seeded runs of random inserts,
// deletes, updates, searches and moves on an index in a database file with small pages,
// compared step by step with an ordered in-memory model, with the tree's invariants
// checked regularly, after commits, after rollbacks and after reopening the file. Each
// configuration runs in a test executable of its own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBCollation.h"
#include "engine/base/ZDBLocale.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/engine/index/support/BTreeTestSupport.h"

namespace zdb::test::model {

using Op = TZDBSearchOperator;
constexpr int32_t S = IndexedTable::Session;

enum class Values : uint8_t {
  SmallIntegers,  // many duplicates
  WideIntegers,   // few duplicates
  ShortTexts,     // a small alphabet in both letter cases
  LongPrefixes,   // texts that share their indexed prefix and differ after it
};

struct ColumnConfig {
  TZDBStorageType type;
  int32_t size;  // record-buffer bytes
  Values values;
  bool descending = false;
  bool caseInsensitive = false;
  int32_t maxIndexedSize = TZDBKeyColumnSource::DefaultMaxIndexedSize;
};

struct ModelConfig {
  const char* name;
  std::vector<ColumnConfig> columns;
  bool unique;
  uint16_t pageSize;
  uint32_t seed;
};

constexpr int32_t Operations = 100000;
constexpr int32_t PhaseLength = 12500;       // grow and shrink phases alternate
constexpr int32_t CheckEvery = 10000;        // full invariant check and scan
constexpr int32_t RolledBackOperations = 300;

// The model: rows in index order (key columns with their direction, then RecordID).
class Model {
 public:
  explicit Model(const ModelConfig& config, const RowLayout& layout) : config_(config), layout_(layout) {}

  struct Entry {
    Row row;
    TZDBRecordID id;
  };
  struct Probe {
    const Row* row;
    int32_t columns;
  };

  // -1, 0, +1 over the first n key columns.
  int CompareRows(const Row& a, const Row& b, int32_t n) const {
    for (int32_t i = 0; i < n; ++i) {
      const ColumnConfig& column = config_.columns[static_cast<size_t>(i)];
      const bool na = IsNull(a, i), nb = IsNull(b, i);
      int r = 0;
      if (na || nb) {
        r = na == nb ? 0 : (na ? -1 : 1);
      } else if (column.type == TZDBStorageType::Integer) {
        const int32_t x = le::GetI32(a.data() + layout_.FieldAt(i).Offset);
        const int32_t y = le::GetI32(b.data() + layout_.FieldAt(i).Offset);
        r = x < y ? -1 : (x > y ? 1 : 0);
      } else {
        // A truncated column orders by its indexed prefix first: the locale's order of two
        // prefixes need not be the order of the whole texts.
        const std::string_view x = Text(a, i), y = Text(b, i);
        const size_t kept = static_cast<size_t>(column.maxIndexedSize);
        if (column.maxIndexedSize < column.size)
          r = CompareAnsiText(x.substr(0, std::min(kept, x.size())), y.substr(0, std::min(kept, y.size())),
                              column.caseInsensitive);
        if (r == 0) r = CompareAnsiText(x, y, column.caseInsensitive);
      }
      if (column.descending) r = -r;
      if (r != 0) return r;
    }
    return 0;
  }

  struct Less {
    using is_transparent = void;
    const Model* model;
    bool operator()(const Entry& a, const Entry& b) const {
      const int r = model->CompareRows(a.row, b.row, model->Columns());
      return r != 0 ? r < 0 : a.id < b.id;
    }
    bool operator()(const Entry& a, const Probe& p) const { return model->CompareRows(a.row, *p.row, p.columns) < 0; }
    bool operator()(const Probe& p, const Entry& a) const { return model->CompareRows(*p.row, a.row, p.columns) < 0; }
  };
  using Set = std::set<Entry, Less>;

  Set NewSet() const { return Set(Less{this}); }
  int32_t Columns() const { return static_cast<int32_t>(config_.columns.size()); }

  // The entry the operator search must land on.
  std::optional<TZDBRecordID> Expected(const Set& set, Op op, const Row& key, int32_t columns, bool forward) const {
    const Probe probe{&key, columns};
    const auto lower = set.lower_bound(probe);
    const auto upper = set.upper_bound(probe);
    auto last = [&](auto end) { return std::prev(end)->id; };
    switch (op) {
      case Op::Equal:
        if (lower == upper) return std::nullopt;
        return forward ? lower->id : last(upper);
      case Op::Less:
        if (lower == set.begin()) return std::nullopt;
        return forward ? set.begin()->id : last(lower);
      case Op::Greater:
        if (upper == set.end()) return std::nullopt;
        return forward ? upper->id : last(set.end());
      case Op::LessOrEqual:
        if (upper == set.begin()) return std::nullopt;
        return forward ? set.begin()->id : last(upper);
      case Op::GreaterOrEqual:
        if (lower == set.end()) return std::nullopt;
        return forward ? lower->id : last(set.end());
      default:
        return std::nullopt;
    }
  }

 private:
  bool IsNull(const Row& row, int32_t field) const { return (row[static_cast<size_t>(field / 8)] >> (field % 8)) & 1; }
  std::string_view Text(const Row& row, int32_t field) const {
    const char* text = reinterpret_cast<const char*>(row.data() + layout_.FieldAt(field).Offset);
    return std::string_view(text, strnlen(text, static_cast<size_t>(layout_.FieldAt(field).Size)));
  }

  const ModelConfig& config_;
  const RowLayout& layout_;
};

inline RowLayout LayoutOf(const ModelConfig& config) {
  std::vector<RowLayout::Field> fields;
  for (const ColumnConfig& column : config.columns) fields.push_back({column.type, column.size});
  return RowLayout(fields);
}

// One seeded run of random operations on an index of the configuration.
class BTreeModelRun {
 public:
  explicit BTreeModelRun(const ModelConfig& config) : config_(config) {
    SetDefaultLocale("es_ES");
    path_ = folder_.File("model.zdb");
    pages_ = std::make_unique<TZDBDiskPageManager>();
    pages_->CreateDatabaseFile(path_, TZDBPassword{}, 8, config_.pageSize);
    std::vector<TZDBKeyColumnSource> columns;
    for (int32_t i = 0; i < static_cast<int32_t>(config_.columns.size()); ++i) {
      const ColumnConfig& column = config_.columns[static_cast<size_t>(i)];
      columns.push_back(layout_.Column(i, column.descending, column.caseInsensitive, column.maxIndexedSize));
    }
    index_ = std::make_unique<IndexedTable>(*pages_, layout_, columns, config_.unique);
    pages_->ApplyChanges(S);
  }

  void Run() {
    int32_t deepest = 0;
    for (int32_t done = 0; done < Operations; ++done) {
      const bool growing = (done / PhaseLength) % 2 == 0;
      RandomOperation(growing);
      if (::testing::Test::HasFatalFailure()) {
        ADD_FAILURE() << "seed " << config_.seed << ", operation " << done;
        return;
      }
      if ((done + 1) % CheckEvery == 0) {
        ExpectMatchesModel("during the run");
        deepest = std::max(deepest, index_->Index().Check(S).Depth);
      }
      if ((done + 1) % PhaseLength == 0) {
        Commit();
        RollBackSomeWork(growing);
        if ((done + 1) == Operations / 2) Reopen();
      }
      if (::testing::Test::HasFatalFailure()) return;
    }
    Reopen();
    EXPECT_GE(deepest, 3) << "the pages are meant to make a deep tree";
  }

 private:
  // --- random rows ---------------------------------------------------------------------
  void RandomValue(Row& row, int32_t field) {
    const ColumnConfig& column = config_.columns[static_cast<size_t>(field)];
    if (Chance(1, 16)) {
      RowLayout::SetNull(row, field, true);
      return;
    }
    switch (column.values) {
      case Values::SmallIntegers:
        layout_.SetInt(row, field, Uniform(-20, 20));
        break;
      case Values::WideIntegers:
        layout_.SetInt(row, field, Uniform(-5000, 5000));
        break;
      case Values::ShortTexts: {
        std::string text;
        for (int32_t n = Uniform(0, 4); n > 0; --n) text += "aAbBc"[Uniform(0, 4)];
        layout_.SetText(row, field, text);
        break;
      }
      case Values::LongPrefixes: {
        static const char* const prefixes[] = {"abcdef", "abcdeg", "ABCDEF", "abc",    "zzzzzz",
                                               "bcdefg", "abCdef", "aBcdef", "abcdeF", "zz"};
        std::string text = prefixes[Uniform(0, 9)];
        for (int32_t n = Uniform(0, 6); n > 0; --n) text += "abBc"[Uniform(0, 3)];
        layout_.SetText(row, field, text);
        break;
      }
    }
  }
  Row RandomRow() {
    Row row = layout_.NewRow();
    for (int32_t i = 0; i < model_.Columns(); ++i) RandomValue(row, i);
    return row;
  }
  TZDBRecordID NewRecordID() {
    for (;;) {
      const TZDBRecordID id{Uniform(0, 1000000), static_cast<uint16_t>(Uniform(0, 65535))};
      if (index_->table.rows.count(id) == 0) return id;
    }
  }
  int32_t Uniform(int32_t low, int32_t high) { return std::uniform_int_distribution<int32_t>(low, high)(random_); }
  bool Chance(int32_t in, int32_t of) { return Uniform(1, of) <= in; }
  bool KeyTaken(const Row& row, const TZDBRecordID* except) const {
    const Model::Probe probe{&row, model_.Columns()};
    const auto [from, to] = set_.equal_range(probe);
    return std::any_of(from, to, [&](const Model::Entry& e) { return except == nullptr || e.id != *except; });
  }

  // --- operations, each checked against the model ----------------------------------------
  void Insert() {
    const Row row = RandomRow();
    if (config_.unique) {
      ASSERT_EQ(index_->Index().IsKeyFree(S, row.data()), !KeyTaken(row, nullptr));
      if (KeyTaken(row, nullptr)) return;
    }
    const TZDBRecordID id = NewRecordID();
    index_->Insert(id, row);
    set_.insert({row, id});
    live_.push_back(id);
  }
  TZDBRecordID RandomLive(size_t* position = nullptr) {
    const size_t at = static_cast<size_t>(Uniform(0, static_cast<int32_t>(live_.size()) - 1));
    if (position != nullptr) *position = at;
    return live_[at];
  }
  void Delete() {
    size_t at;
    const TZDBRecordID id = RandomLive(&at);
    set_.erase({index_->table.rows.at(id), id});
    index_->Delete(id);
    live_[at] = live_.back();
    live_.pop_back();
  }
  void Update() {
    const TZDBRecordID id = RandomLive();
    const Row old = index_->table.rows.at(id);
    Row row = old;
    RandomValue(row, Uniform(0, model_.Columns() - 1));
    if (config_.unique) {
      ASSERT_EQ(index_->Index().IsNewKeyFree(S, old.data(), row.data()), !KeyTaken(row, &id));
      if (KeyTaken(row, &id)) return;
    }
    set_.erase({old, id});
    index_->Update(id, row);
    set_.insert({row, id});
  }
  void Search() {
    const Row key = RandomRow();
    const int32_t columns = Uniform(1, model_.Columns());
    const Op op = static_cast<Op>(Uniform(1, 5));
    const bool forward = Chance(1, 2);
    TZDBKeyPath path;
    const bool found = index_->Index().FindCondition(S, {op, key.data(), columns, false}, forward, path);
    const std::optional<TZDBRecordID> expected = model_.Expected(set_, op, key, columns, forward);
    ASSERT_EQ(found, expected.has_value()) << "operator " << static_cast<int>(op) << (forward ? " forward" : " backward");
    if (found) {
      ASSERT_EQ(index_->Index().RecordIDAt(S, path), *expected)
          << "operator " << static_cast<int>(op) << (forward ? " forward" : " backward");
    }
  }
  // A few moves of a cursor from a random row, through its position cache.
  void Navigate() {
    TZDBRecordID id = RandomLive();
    auto it = set_.find({index_->table.rows.at(id), id});
    ASSERT_NE(it, set_.end());
    Row buffer = index_->table.rows.at(id);
    TZDBIndexPositionCache cache;
    TZDBNavigationRequest request;
    request.RecordID = id;
    request.RecordBuffer = buffer.data();
    const bool next = Chance(1, 2);
    request.GetMode = next ? grmNext : grmPrior;
    for (int32_t step = Uniform(1, 6); step > 0; --step) {
      index_->Index().GetRecord(S, request, changeCounter_, &cache);
      if (next) {
        ++it;
        if (it == set_.end()) {
          ASSERT_EQ(request.GetResult, grEOF);
          return;
        }
      } else {
        if (it == set_.begin()) {
          ASSERT_EQ(request.GetResult, grBOF);
          return;
        }
        --it;
      }
      ASSERT_EQ(request.GetResult, grOK);
      ASSERT_EQ(request.RecordID, it->id);
      ASSERT_EQ(buffer, it->row);
    }
  }
  void RecordNumbers() {
    const TZDBRecordID id = RandomLive();
    const auto it = set_.find({index_->table.rows.at(id), id});
    const int64_t position = std::distance(set_.begin(), it) + 1;
    ASSERT_EQ(index_->Index().GetRecNo(S, id, index_->table.rows.at(id).data()), position);
    TZDBRecordID at;
    index_->Index().GetRecordAtRecNo(S, at, position);
    ASSERT_EQ(at, id);
  }

  void RandomOperation(bool growing) {
    ++changeCounter_;
    const int32_t roll = Uniform(1, 100);
    if (live_.empty() || roll <= (growing ? 50 : 20)) return Insert();
    if (roll <= 75) return Delete();
    if (roll <= 83) return Update();
    if (roll <= 94) return Search();
    if (roll <= 99) return Navigate();
    return RecordNumbers();
  }

  // --- whole-tree checks ---------------------------------------------------------------
  void ExpectMatchesModel(const char* when) {
    SCOPED_TRACE(when);
    index_->ExpectSound();
    std::vector<TZDBRecordID> expected;
    for (const Model::Entry& entry : set_) expected.push_back(entry.id);
    const std::vector<TZDBRecordID> scanned = index_->Scan();
    ASSERT_EQ(scanned, expected);
    ASSERT_EQ(index_->ScanBackward(), expected);
  }

  void Commit() { pages_->ApplyChanges(S); }

  // Random work that is rolled back must leave the committed tree.
  void RollBackSomeWork(bool growing) {
    const Model::Set savedSet = set_;
    const std::vector<TZDBRecordID> savedLive = live_;
    const auto savedRows = index_->table.rows;
    for (int32_t i = 0; i < RolledBackOperations; ++i) {
      RandomOperation(growing);
      if (::testing::Test::HasFatalFailure()) return;
    }
    pages_->CancelChanges(S);
    set_ = savedSet;
    live_ = savedLive;
    index_->table.rows = savedRows;
    ExpectMatchesModel("after a rollback");
  }

  void Reopen() {
    Commit();
    pages_->CloseDatabaseFile();
    pages_ = std::make_unique<TZDBDiskPageManager>();
    bool multiUser = false, readOnly = false;
    ASSERT_FALSE(pages_->OpenDatabaseFile(path_, TZDBPassword{}, multiUser, false, readOnly));
    index_->Reopen(*pages_);
    ExpectMatchesModel("after reopening the file");
  }

  const ModelConfig& config_;
  TempFolder folder_;
  std::string path_;
  RowLayout layout_ = LayoutOf(config_);
  Model model_{config_, layout_};
  Model::Set set_ = model_.NewSet();
  std::vector<TZDBRecordID> live_;
  std::unique_ptr<TZDBDiskPageManager> pages_;
  std::unique_ptr<IndexedTable> index_;
  std::mt19937 random_{config_.seed};
  int32_t changeCounter_ = 0;
};

}  // namespace zdb::test::model
