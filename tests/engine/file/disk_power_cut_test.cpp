// Power cuts, as tests/support/PowerCutCheck.h makes them, in page-manager commits that
// move the file across a free-space bitmap page: with 64-byte pages a PFS page covers
// 8 * 24 = 192 pages, so a few hundred value pages cross the one at page 192. The
// reopened file must hold the values of a commit boundary no older than the last
// acknowledged commit, and its bitmaps must agree with its pages. Each workload runs
// single- and multi-user. ZDB_POWER_CUT_STATES raises the number of cuts.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "platform/os/FaultInjectingFileSystem.h"
#include "support/BitmapSoundness.h"
#include "support/DiskDatabase.h"
#include "tests/support/PowerCutCheck.h"

namespace zdb {
namespace {

using test::AddValuePage;
using test::OpenDatabase;
using test::OpenOptions;
using test::PageValue;
using test::Session;
using test::SetPageValue;
using zdbtest::CommitMarks;
using zdbtest::Content;
using zdbtest::Observation;

constexpr size_t DefaultStates = 32;
constexpr uint16_t SmallPageSize = 64;
constexpr uint16_t PagesPerExtent = 8;
constexpr uint32_t BasePages = 20;
// Enough new pages to take the file past the second PFS page (page 192).
constexpr uint32_t GrowthPages = 250;
constexpr uint32_t GrowthValue = 1000;

Content Values(uint32_t first, uint32_t count) {
  Content content;
  for (uint32_t value = first; value < first + count; ++value) content.push_back(value);
  return content;
}

Content Joined(Content a, const Content& b) {
  a.insert(a.end(), b.begin(), b.end());
  std::sort(a.begin(), a.end());
  return a;
}

// A file of 64-byte pages holding BasePages value pages (1, 2, ...) before the run.
class PageWorkload : public zdbtest::PowerCutWorkload {
 public:
  explicit PageWorkload(bool multiUser) : multiUser_(multiUser) {}

  void Prepare(const std::string& path) override {
    pages_ = test::CreateDatabase(path, BaseValues(), SmallPageSize, PagesPerExtent);
  }

  // The values of the pages marked used.
  Observation Observe(const std::string& path, os::FileSystem& fileSystem) override {
    Observation found;
    try {
      TZDBDiskPageManager manager(fileSystem);
      OpenOptions options{multiUser_, false, false};
      if (OpenDatabase(manager, path, options)) found.problem = "the open asks for repair";
      TZDBDatabaseFreeSpaceManager& space = manager.FreeSpaceManager();
      const int32_t total = manager.GetTotalPageCount();
      for (int32_t pageNo = 0; pageNo < total; ++pageNo) {
        if (!space.IsSystemPage(pageNo) && space.IsPageUsed(pageNo)) found.content.push_back(PageValue(manager, pageNo));
      }
      std::sort(found.content.begin(), found.content.end());
      manager.CloseDatabaseFile();
    } catch (const std::exception& error) {
      found.problem += (found.problem.empty() ? "" : "; ") + std::string(error.what());
    }
    return found;
  }

  std::string Soundness(const std::string& path) override {
    try {
      TZDBDiskPageManager manager;
      OpenDatabase(manager, path);
      std::string problems = test::BitmapProblems(manager);
      manager.CloseDatabaseFile();
      return problems;
    } catch (const std::exception& error) {
      return error.what();
    }
  }

 protected:
  virtual std::vector<uint32_t> BaseValues() const {
    std::vector<uint32_t> values;
    for (uint32_t value = 1; value <= BasePages; ++value) values.push_back(value);
    return values;
  }

  void Open(TZDBDiskPageManager& manager, const std::string& path) const {
    OpenOptions options{multiUser_, false, false};
    if (OpenDatabase(manager, path, options)) throw std::runtime_error("the file needs repair before the run");
  }

  static void AddGrowth(TZDBDiskPageManager& manager) {
    for (uint32_t k = 0; k < GrowthPages; ++k) AddValuePage(manager, GrowthValue + k);
  }

  bool multiUser_;
  std::vector<int32_t> pages_;  // the value pages the file was made with
};

// One transaction of new pages, taking the file past the second PFS page.
class GrowthPastBitmapPage final : public PageWorkload {
 public:
  using PageWorkload::PageWorkload;

  void Run(const std::string& path, os::RecordingFileSystem& fileSystem, CommitMarks& commits) override {
    TZDBDiskPageManager manager(fileSystem);
    Open(manager, path);
    commits.Begins(1);
    AddGrowth(manager);
    manager.ApplyChanges(Session);
    commits.Acknowledged(1);
    manager.CloseDatabaseFile();
  }

  std::vector<Content> States() const override {
    return {Values(1, BasePages), Joined(Values(1, BasePages), Values(GrowthValue, GrowthPages))};
  }
};

// Pages removed in two commits: first those beyond the second PFS page, then those
// below it, so that the second commit's free tail takes that PFS page with it although
// the commit changes no page it covers.
class ShrinkBelowBitmapPage final : public PageWorkload {
 public:
  using PageWorkload::PageWorkload;
  static constexpr int32_t SecondPFSPage = 192;

  void Run(const std::string& path, os::RecordingFileSystem& fileSystem, CommitMarks& commits) override {
    TZDBDiskPageManager manager(fileSystem);
    Open(manager, path);
    commits.Begins(1);
    for (const int32_t pageNo : pages_) {
      if (pageNo > SecondPFSPage) manager.RemovePage(Session, pageNo);
    }
    manager.ApplyChanges(Session);
    commits.Acknowledged(1);
    commits.Begins(2);
    for (size_t k = BasePages; k < pages_.size() && pages_[k] < SecondPFSPage; ++k)
      manager.RemovePage(Session, pages_[k]);
    manager.ApplyChanges(Session);
    commits.Acknowledged(2);
    manager.CloseDatabaseFile();
  }

  std::vector<Content> States() const override {
    // Pages 2 to 191 hold the values 1 to 190.
    constexpr uint32_t BelowSecondPFSPage = SecondPFSPage - 2;
    return {Values(1, BasePages + GrowthPages), Values(1, BelowSecondPFSPage), Values(1, BasePages)};
  }

 protected:
  std::vector<uint32_t> BaseValues() const override {
    std::vector<uint32_t> values;
    for (uint32_t value = 1; value <= BasePages + GrowthPages; ++value) values.push_back(value);
    return values;
  }
};

// New pages past the second PFS page, cancelled; then one page changed and committed.
class GrowthCancelled final : public PageWorkload {
 public:
  using PageWorkload::PageWorkload;
  static constexpr uint32_t ChangedValue = 77;

  void Run(const std::string& path, os::RecordingFileSystem& fileSystem, CommitMarks& commits) override {
    TZDBDiskPageManager manager(fileSystem);
    Open(manager, path);
    AddGrowth(manager);
    manager.CancelChanges(Session);
    commits.Begins(1);
    SetPageValue(manager, pages_.front(), ChangedValue);
    manager.ApplyChanges(Session);
    commits.Acknowledged(1);
    manager.CloseDatabaseFile();
  }

  std::vector<Content> States() const override {
    return {Values(1, BasePages), Joined(Values(2, BasePages - 1), {ChangedValue})};
  }
};

// A commit of new pages past the second PFS page fails part way on a full disk (the pages
// it writes into the grown file need room; what it overwrites does not); the session
// keeps its whole transaction, and once space is freed the same commit is tried again
// and succeeds.
class FullDiskRetried final : public PageWorkload {
 public:
  using PageWorkload::PageWorkload;
  // The journal and the header's mark go through, then a few page writes.
  static constexpr uint64_t WritesBeforeFull = 20;

  void Run(const std::string& path, os::RecordingFileSystem& fileSystem, CommitMarks& commits) override {
    // Over the recorder: a write refused for want of space never reaches the disk.
    os::FaultInjectingFileSystem disk(fileSystem);
    TZDBDiskPageManager manager(disk);
    Open(manager, path);
    AddGrowth(manager);
    commits.Begins(1);
    disk.FillDiskAfterWrites(WritesBeforeFull - 1);
    bool refused = false;
    try {
      manager.ApplyChanges(Session);
    } catch (const EZDBException&) {
      refused = true;
    }
    if (!refused) throw std::runtime_error("the commit went through a full disk");
    if (!manager.HasSessionChanges(Session)) throw std::runtime_error("the failed commit lost the session's work");
    disk.ClearFaults();
    commits.Begins(1);
    manager.ApplyChanges(Session);
    commits.Acknowledged(1);
    manager.CloseDatabaseFile();
  }

  std::vector<Content> States() const override {
    return {Values(1, BasePages), Joined(Values(1, BasePages), Values(GrowthValue, GrowthPages))};
  }
};

const zdbtest::PowerCutCase Workloads[] = {
    zdbtest::MakePowerCutCase<GrowthPastBitmapPage>("GrowthPastBitmapPage"),
    zdbtest::MakePowerCutCase<ShrinkBelowBitmapPage>("ShrinkBelowBitmapPage"),
    zdbtest::MakePowerCutCase<GrowthCancelled>("GrowthCancelled"),
    zdbtest::MakePowerCutCase<FullDiskRetried>("FullDiskRetried"),
};

class DiskPowerCut : public ::testing::TestWithParam<std::tuple<zdbtest::PowerCutCase, bool>> {};

TEST_P(DiskPowerCut, EveryCutRecoversToACommitBoundaryWithSoundBitmaps) {
  const auto& [workloadCase, multiUser] = GetParam();
  const std::unique_ptr<zdbtest::PowerCutWorkload> workload = workloadCase.make(multiUser);
  for (const std::string& failure :
       zdbtest::CheckPowerCuts(*workload, zdbtest::PowerCutSettings::FromEnvironment(DefaultStates)))
    ADD_FAILURE() << failure;
}

INSTANTIATE_TEST_SUITE_P(Workloads, DiskPowerCut, ::testing::Combine(::testing::ValuesIn(Workloads), ::testing::Bool()),
                         [](const auto& each) { return zdbtest::PowerCutCaseName(each.param); });

}  // namespace
}  // namespace zdb
