// Power cuts that keep any subset of the unflushed writes, tear the last one and undo
// unflushed deletes, anywhere in a run of table commits and anywhere in the recovery that
// follows: the reopened file holds the rows of a commit boundary no older than the last
// acknowledged commit, asks for no repair and checks clean. Each workload runs single-
// and multi-user. ZDB_POWER_CUT_STATES raises the number of cuts (bench/power_cut.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/table/ZDBFileCheckOfFile.h"
#include "tests/engine/table/support/TableDataTestSupport.h"
#include "tests/support/PowerCutCheck.h"

namespace zdb::testing {
namespace {

using zdbtest::CommitMarks;
using zdbtest::Content;
using zdbtest::Observation;

constexpr size_t DefaultStates = 32;
constexpr int32_t BaseRows = 40;

Content SortedYears(TZDBOpenTable& table) {
  const std::vector<int32_t> years = Years(table);
  Content content(years.begin(), years.end());
  std::sort(content.begin(), content.end());
  return content;
}

Content YearsFrom(int32_t first, int32_t count) {
  Content content;
  for (int32_t year = first; year < first + count; ++year) content.push_back(year);
  return content;
}

Content With(Content content, std::initializer_list<int64_t> more) {
  content.insert(content.end(), more);
  std::sort(content.begin(), content.end());
  return content;
}

// A "Maximo" table with BaseRows rows, opened like the program opens it.
class TableWorkload : public zdbtest::PowerCutWorkload {
 public:
  explicit TableWorkload(bool multiUser) : multiUser_(multiUser) {}

  void Prepare(const std::string& path) override {
    CreateDatabaseFile(path);
    Connection connection(path, false);
    CreateMaximo(connection);
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    connection.session.SetInTransaction(true);
    for (int32_t year = 1; year <= BaseRows; ++year) InsertYear(table, year);
    connection.session.SetInTransaction(false);
    connection.Data().Commit(connection.session.SessionID(), true);
  }

  Observation Observe(const std::string& path, os::FileSystem& fileSystem) override {
    Observation found;
    try {
      Connection connection(path, multiUser_, fileSystem);
      if (connection.NeedsRepair()) found.problem = "the open asks for repair";
      TZDBTableCursor cursor(connection.session, "Maximo");
      TZDBOpenTable table(connection.Data(), cursor);
      found.content = SortedYears(table);
    } catch (const std::exception& error) {
      found.problem += (found.problem.empty() ? "" : "; ") + std::string(error.what());
    }
    return found;
  }

  // What `zdb check` reports, without starting the tool for every state.
  std::string Soundness(const std::string& path) override {
    try {
      const TZDBFileCheckReport report = CheckDatabaseFile(path, TZDBPassword{});
      std::string problems;
      for (const std::string& problem : report.Problems) problems += problem + "\n";
      return problems;
    } catch (const std::exception& error) {
      return error.what();
    }
  }

 protected:
  bool multiUser_;
};

// Several one-row commits in a row, each outside a transaction.
class OneRowCommits final : public TableWorkload {
 public:
  using TableWorkload::TableWorkload;
  static constexpr int32_t Commits = 3;

  void Run(const std::string& path, os::RecordingFileSystem& fileSystem, CommitMarks& commits) override {
    Connection connection(path, multiUser_, fileSystem);
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    for (int32_t commit = 1; commit <= Commits; ++commit) {
      commits.Begins(static_cast<size_t>(commit));
      InsertYear(table, 5000 + commit);
      commits.Acknowledged(static_cast<size_t>(commit));
    }
  }

  std::vector<Content> States() const override {
    std::vector<Content> states = {YearsFrom(1, BaseRows)};
    for (int32_t commit = 1; commit <= Commits; ++commit) states.push_back(With(states.back(), {5000 + commit}));
    return states;
  }
};

// A transaction that grows the file by many rows and is rolled back, then one row
// committed after it.
class GrowthRolledBack final : public TableWorkload {
 public:
  using TableWorkload::TableWorkload;

  void Run(const std::string& path, os::RecordingFileSystem& fileSystem, CommitMarks& commits) override {
    Connection connection(path, multiUser_, fileSystem);
    TZDBTableCursor cursor(connection.session, "Maximo");
    TZDBOpenTable table(connection.Data(), cursor);
    const int32_t session = connection.session.SessionID();
    connection.session.SetInTransaction(true);
    for (int32_t year = 3000; year < 3200; ++year) InsertYear(table, year);
    connection.session.SetInTransaction(false);
    connection.Data().Rollback(session);
    table.Data().AfterRollback(session);
    commits.Begins(1);
    InsertYear(table, 6000);
    commits.Acknowledged(1);
  }

  std::vector<Content> States() const override {
    const Content base = YearsFrom(1, BaseRows);
    return {base, With(base, {6000})};
  }
};

const zdbtest::PowerCutCase Workloads[] = {
    zdbtest::MakePowerCutCase<OneRowCommits>("OneRowCommits"),
    zdbtest::MakePowerCutCase<GrowthRolledBack>("GrowthRolledBack"),
};

class TablePowerCut : public ::testing::TestWithParam<std::tuple<zdbtest::PowerCutCase, bool>> {};

TEST_P(TablePowerCut, EveryCutRecoversToACommitBoundaryAndACleanFile) {
  const auto& [workloadCase, multiUser] = GetParam();
  const std::unique_ptr<zdbtest::PowerCutWorkload> workload = workloadCase.make(multiUser);
  for (const std::string& failure :
       zdbtest::CheckPowerCuts(*workload, zdbtest::PowerCutSettings::FromEnvironment(DefaultStates)))
    ADD_FAILURE() << failure;
}

INSTANTIATE_TEST_SUITE_P(Workloads, TablePowerCut, ::testing::Combine(::testing::ValuesIn(Workloads), ::testing::Bool()),
                         [](const auto& each) { return zdbtest::PowerCutCaseName(each.param); });

}  // namespace
}  // namespace zdb::testing
