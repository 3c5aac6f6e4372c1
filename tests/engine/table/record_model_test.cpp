// Random inserts, updates and deletes against a map of the rows the table must hold,
// committed or rolled back now and then. After every batch the table reads exactly as
// the map: in both physical directions, row by row, by record number, and with row
// counts that agree with the record-page index.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <map>
#include <random>
#include <vector>

#include "engine/index/ZDBBTreeCheck.h"
#include "engine/index/ZDBPageKeyRef.h"
#include "support/RecordTestSupport.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;

constexpr int32_t Session = RecordTable::Session;

struct ModelCase {
  const char* name;
  void (*addFields)(TZDBFieldDefs&);
  int32_t operations;
  int32_t checkEvery;
  int32_t minimumPages;  // at the end, so that the case tests what it is meant to
};

// One row to a page: enough pages for the record-page index to grow past one leaf, and
// every delete frees a page.
void AddPageSizedFields(TZDBFieldDefs& fields) {
  fields.Add(Field("id", TZDBLogicalType::Integer));
  fields.Add(Field("text", TZDBLogicalType::String, 3000));
}

class RecordModel : public ::testing::TestWithParam<ModelCase> {
 protected:
  using Model = std::map<TZDBRecordID, Bytes>;

  RecordModel() : table(GetParam().addFields) {}

  TZDBRecordID RandomRow(std::mt19937& random) const {
    auto it = model.begin();
    std::advance(it, std::uniform_int_distribution<size_t>(0, model.size() - 1)(random));
    return it->first;
  }

  Model ReadAll(bool forward) {
    Model rows;
    Bytes buffer(static_cast<size_t>(table.fields.RecordBufferSize()));
    TZDBNavigationRequest request;
    request.GetMode = forward ? grmNext : grmPrior;
    request.BeforeFirst = forward;
    request.AfterLast = !forward;
    request.RecordBuffer = buffer.data();
    for (;;) {
      table.records.GetRecord(Session, request);
      if (request.GetResult != grOK) break;
      EXPECT_TRUE(rows.emplace(request.RecordID, buffer).second) << "a row was read twice";
      if (rows.size() > model.size()) break;
    }
    EXPECT_EQ(request.GetResult, model.empty() ? grEOF : (forward ? grEOF : grBOF));
    return rows;
  }

  void Check(std::mt19937& random) {
    ASSERT_EQ(table.records.RecordCount(), static_cast<int64_t>(model.size()));
    table.records.PageIndex().CheckRowCount(Session, static_cast<int64_t>(model.size()));
    ASSERT_EQ(ReadAll(true), model);
    ASSERT_EQ(ReadAll(false), model);

    TZDBPageKeyRef keys;
    const TZDBBTreeCheckReport report =
        CheckBTree(table.pages, Session, keys, table.records.SavePageIndexRoot(), false);
    ASSERT_TRUE(report.Ok()) << report.Problems.front();

    for (int i = 0; i < 20 && !model.empty(); ++i) {
      const size_t position = std::uniform_int_distribution<size_t>(0, model.size() - 1)(random);
      const TZDBRecordID id = std::next(model.begin(), static_cast<std::ptrdiff_t>(position))->first;
      ASSERT_EQ(table.records.RecordIDAtRecNo(Session, static_cast<int64_t>(position + 1)), id);
      ASSERT_EQ(table.records.RecNoOfRecordID(Session, id), static_cast<int64_t>(position + 1));
    }
  }

  RecordTable table;
  Model model;
};

TEST_P(RecordModel, RandomChangesWithCommitsAndRollbacks) {
  const ModelCase& c = GetParam();
  std::mt19937 random(20240525);
  std::uniform_int_distribution<int> percent(0, 99);
  Model committed;
  TZDBMostUpdatedCounts committedCounts = table.records.SaveCounts();
  std::vector<TZDBRecordID> gone;  // rows deleted at some time; their slots may be reused
  int32_t nextKey = 0;

  for (int32_t step = 1; step <= c.operations; ++step) {
    const int dice = percent(random);
    const int32_t changesBefore = table.records.ChangeCount();
    if (dice < 50 || model.empty()) {
      TZDBRecordID id;
      const Bytes row = table.Row(nextKey++);
      ASSERT_TRUE(table.records.InsertRecord(Session, row.data(), id));
      ASSERT_EQ(model.count(id), 0u) << "a row was stored over another";
      model[id] = row;
    } else if (dice < 68) {
      const TZDBRecordID id = RandomRow(random);
      const Bytes row = table.Row(nextKey++);
      ASSERT_TRUE(table.records.UpdateRecord(Session, row.data(), id));
      model[id] = row;
    } else if (dice < 93) {
      const TZDBRecordID id = RandomRow(random);
      ASSERT_TRUE(table.records.DeleteRecord(Session, id));
      model.erase(id);
      gone.push_back(id);
    } else if (dice < 96 && !gone.empty()) {
      // A row that is no longer there changes nothing.
      const TZDBRecordID id = gone[std::uniform_int_distribution<size_t>(0, gone.size() - 1)(random)];
      if (model.count(id) == 0) {
        ASSERT_FALSE(table.records.UpdateRecord(Session, table.Row(-1).data(), id));
        ASSERT_FALSE(table.records.DeleteRecord(Session, id));
        ASSERT_EQ(table.records.ChangeCount(), changesBefore);
      }
    } else if (dice < 98) {
      table.pages.ApplyChanges(Session);
      committed = model;
      committedCounts = table.records.SaveCounts();
    } else {
      // The table data reloads the counters it saved with the last commit.
      table.pages.CancelChanges(Session);
      table.records.LoadCounts(committedCounts);
      model = committed;
    }
    if (step % c.checkEvery == 0) {
      ASSERT_NO_FATAL_FAILURE(Check(random)) << "after step " << step;
    }
  }
  ASSERT_NO_FATAL_FAILURE(Check(random));
  EXPECT_GT(table.records.PageIndex().AllPages(Session).size(), static_cast<size_t>(c.minimumPages));
}

INSTANTIATE_TEST_SUITE_P(Rows, RecordModel,
                         ::testing::Values(ModelCase{"Maximo", AddMaximoFields, 4000, 400, 1},
                                           ModelCase{"PageSized", AddPageSizedFields, 6000, 1000, 673}),
                         [](const ::testing::TestParamInfo<ModelCase>& param) { return param.param.name; });

}  // namespace
}  // namespace zdb
