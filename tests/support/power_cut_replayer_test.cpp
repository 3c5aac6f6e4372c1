// The power-cut replayer on a small recorded run: what each kind of cut keeps of the
// unflushed writes, size changes and deletes, and which cuts a short run tries first.
#include "tests/support/PowerCutReplayer.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/os/RecordingFileSystem.h"
#include "tests/support/PowerCutSchedule.h"

namespace zdbtest {
namespace {

using Files = std::map<std::string, std::string>;

FileBytes Bytes(const std::string& text) { return FileBytes(text.begin(), text.end()); }

Files AsText(const FolderImage& image) {
  Files files;
  for (const auto& [name, bytes] : image.files) files[name] = std::string(bytes.begin(), bytes.end());
  return files;
}

// A run over a folder that held a = "OLD!" and b = "bye":
//   [0] open a            [1] write a@0 "1111"    [2] flush a
//   [3] write a@4 "2222"  [4] write a@0 "3333"    [5] delete b
//   [6] delete x (fails)  [7] create c            [8] write c@0 1024 x
//   [9] flush c           [10] write c@0 1024 y   [11] set size c 700
class RecordedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "zdb-replay-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    FolderImage before;
    before.files = {{"a", Bytes("OLD!")}, {"b", Bytes("bye")}};
    before.WriteInto(folder_);

    os::RecordingFileSystem recorder(os::FileSystem::Default());
    uint32_t error = 0;
    auto a = recorder.Open(File("a"), os::AccessMode::ReadWrite, os::ShareMode::ReadWrite, error);
    ASSERT_NE(a, nullptr);
    ASSERT_TRUE(a->Write("1111", 0, 4));
    ASSERT_TRUE(a->Flush());
    ASSERT_TRUE(a->Write("2222", 4, 4));
    ASSERT_TRUE(a->Write("3333", 0, 4));
    ASSERT_TRUE(recorder.Delete(File("b"), error));
    ASSERT_FALSE(recorder.Delete(File("x"), error));
    auto c = recorder.Create(File("c"), error);
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(c->Write(std::string(1024, 'x').data(), 0, 1024));
    ASSERT_TRUE(c->Flush());
    ASSERT_TRUE(c->Write(std::string(1024, 'y').data(), 0, 1024));
    ASSERT_TRUE(c->SetSize(700));
    replayer_ = std::make_unique<PowerCutReplayer>(folder_, before, recorder.Calls());
    ASSERT_EQ(replayer_->CallCount(), 12u);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string File(const std::string& name) const { return folder_ + "/" + name; }

  std::string folder_;
  std::unique_ptr<PowerCutReplayer> replayer_;
};

TEST_F(RecordedRun, EachKindOfCutKeepsWhatTheDiskMayKeep) {
  const std::string x1024(1024, 'x');
  const struct {
    PowerCut cut;
    Files files;
  } cases[] = {
      {{0, CutKind::Ordered}, {{"a", "OLD!"}, {"b", "bye"}}},
      {{5, CutKind::Ordered}, {{"a", "33332222"}, {"b", "bye"}}},
      {{5, CutKind::DurableOnly}, {{"a", "1111"}, {"b", "bye"}}},
      {{7, CutKind::Ordered}, {{"a", "33332222"}}},
      // The delete is not durable until a folder flush: it comes undone.
      {{7, CutKind::DurableOnly}, {{"a", "1111"}, {"b", "bye"}}},
      // Create flushes the folder: the delete before it stays, the new name is there, empty.
      {{8, CutKind::DurableOnly}, {{"a", "1111"}, {"c", ""}}},
      {{9, CutKind::TornLast, 7}, {{"a", "33332222"}, {"c", std::string(512, 'x')}}},
      {{12, CutKind::Ordered}, {{"a", "33332222"}, {"c", std::string(700, 'y')}}},
      {{12, CutKind::DurableOnly}, {{"a", "1111"}, {"c", x1024}}},
  };
  for (const auto& each : cases) {
    SCOPED_TRACE(Describe(each.cut));
    EXPECT_EQ(AsText(replayer_->StateAt(each.cut)), each.files);
  }
}

TEST_F(RecordedRun, AScrambledCutKeepsAnySubsetOfTheUnflushedChangesInTheirOrder) {
  const std::string y512 = std::string(512, 'y');
  const std::set<std::string> possibleA = {"1111", "11112222", "3333", "33332222"};
  const std::set<std::string> possibleC = {
      std::string(1024, 'x'), std::string(1024, 'y'), std::string(700, 'y'), std::string(700, 'x'),
      y512 + std::string(512, 'x'), y512 + std::string(188, 'x')};
  std::set<std::string> seenA;
  std::set<std::string> seenC;
  std::set<bool> bBack;
  for (uint64_t seed = 1; seed <= 64; ++seed) {
    const PowerCut early{7, CutKind::Scrambled, seed};
    const Files files = AsText(replayer_->StateAt(early));
    ASSERT_EQ(files, AsText(replayer_->StateAt(early))) << "the same seed gives the same files";
    seenA.insert(files.at("a"));
    bBack.insert(files.count("b") == 1);
    const Files late = AsText(replayer_->StateAt({12, CutKind::Scrambled, seed}));
    EXPECT_EQ(late.count("b"), 0u) << seed;
    seenC.insert(late.at("c"));
  }
  EXPECT_EQ(seenA, possibleA);
  EXPECT_EQ(bBack, (std::set<bool>{false, true}));
  for (const std::string& c : seenC) EXPECT_EQ(possibleC.count(c), 1u) << c.size() << " bytes";
  EXPECT_GE(seenC.size(), 4u);
}

TEST_F(RecordedRun, AShortRunTriesTheEndAndEveryFlushFirstAndTheSameSeedTheSameCuts) {
  EXPECT_EQ(replayer_->FlushPositions(), (std::vector<size_t>{2, 9}));
  const std::vector<PowerCut> cuts = ChooseCuts(*replayer_, 3, 42);
  ASSERT_EQ(cuts.size(), 3u);
  EXPECT_EQ(cuts[0].position, 12u);
  EXPECT_EQ(cuts[0].kind, CutKind::DurableOnly);
  EXPECT_EQ((std::set<size_t>{cuts[1].position, cuts[2].position}), (std::set<size_t>{2, 9}));
  EXPECT_NE(cuts[1].kind, cuts[2].kind);

  const std::vector<PowerCut> more = ChooseCuts(*replayer_, 50, 42);
  ASSERT_EQ(more.size(), 50u);
  for (size_t i = 0; i < cuts.size(); ++i) {
    EXPECT_EQ(more[i].position, cuts[i].position);
    EXPECT_EQ(more[i].seed, cuts[i].seed);
  }
  for (const PowerCut& cut : more) EXPECT_LE(cut.position, replayer_->CallCount());
}

}  // namespace
}  // namespace zdbtest
