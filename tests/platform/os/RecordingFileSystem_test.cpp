// The recorder the power-cut tests replay: what it logs, in which order, and that the
// calls still do what they did without it.
#include "platform/os/RecordingFileSystem.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/os/FaultInjectingFileSystem.h"
#include "support/ScratchFolder.h"

namespace {

using os::AccessMode;
using os::FileCall;
using os::FileSystem;
using os::RecordingFileSystem;
using os::ShareMode;
using Kind = FileCall::Kind;

TEST(RecordingFileSystem, LogsEveryChangeInOrderAndPassesReadsSizesAndLocksUnlogged) {
  ostest::ScratchFolder scratch;
  const std::string path = scratch.File("a.db");
  const std::string moved = scratch.File("b.db");
  RecordingFileSystem recorder(FileSystem::Default());
  uint32_t error = 0;
  {
    auto created = recorder.Create(path, error);
    ASSERT_NE(created, nullptr);
    ASSERT_TRUE(created->Write("hello", 0, 5));
    EXPECT_EQ(recorder.Mark("written"), 2u);
    ASSERT_TRUE(created->Flush());
    auto opened = recorder.Open(path, AccessMode::ReadWrite, ShareMode::ReadWrite, error);
    ASSERT_EQ(opened, nullptr) << "the creation is exclusive";
    created.reset();
    opened = recorder.Open(path, AccessMode::ReadWrite, ShareMode::ReadWrite, error);
    ASSERT_NE(opened, nullptr);
    char buffer[5] = {};
    size_t got = 0;
    int64_t size = 0;
    ASSERT_TRUE(opened->Read(buffer, 0, 5, got));
    EXPECT_EQ(std::string(buffer, got), "hello");
    ASSERT_TRUE(opened->GetSize(size));
    ASSERT_TRUE(opened->Lock(100, 1));
    ASSERT_TRUE(opened->Unlock(100, 1));
    ASSERT_TRUE(opened->SetSize(2));
  }
  ASSERT_TRUE(recorder.Rename(path, moved, error));
  ASSERT_TRUE(recorder.Delete(moved, error));
  EXPECT_FALSE(recorder.Delete(moved, error));
  EXPECT_FALSE(FileSystem::Default().Exists(moved));

  const std::vector<FileCall> calls = recorder.Calls();
  struct Expected {
    Kind kind;
    bool succeeded;
    uint64_t handle;
    std::string path;
  };
  const Expected expected[] = {
      {Kind::Create, true, 1, path},  {Kind::Write, true, 1, path},    {Kind::Mark, true, 0, ""},
      {Kind::Flush, true, 1, path},   {Kind::Open, false, 0, path},    {Kind::Open, true, 2, path},
      {Kind::SetSize, true, 2, path}, {Kind::Rename, true, 0, path},   {Kind::Delete, true, 0, moved},
      {Kind::Delete, false, 0, moved},
  };
  ASSERT_EQ(calls.size(), std::size(expected));
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(Describe(calls[i]));
    EXPECT_EQ(calls[i].kind, expected[i].kind);
    EXPECT_EQ(calls[i].succeeded, expected[i].succeeded);
    EXPECT_EQ(calls[i].handle, expected[i].handle);
    EXPECT_EQ(calls[i].path, expected[i].path);
  }
  EXPECT_EQ(calls[1].position, 0);
  EXPECT_EQ(std::string(calls[1].bytes.begin(), calls[1].bytes.end()), "hello");
  EXPECT_EQ(calls[2].note, "written");
  EXPECT_EQ(calls[6].position, 2);
  EXPECT_EQ(calls[7].target, moved);
}

// A call that fails below the recorder is logged as failed and reports its error as if
// the recorder were not there.
TEST(RecordingFileSystem, AFailedCallIsLoggedAsFailedWithItsError) {
  ostest::ScratchFolder scratch;
  os::FaultInjectingFileSystem faults(FileSystem::Default());
  RecordingFileSystem recorder(faults);
  uint32_t error = 0;
  auto file = recorder.Create(scratch.File("full.db"), error);
  ASSERT_NE(file, nullptr);
  faults.FailCall(os::FileOperation::Write, 1, os::win32::DiskFull);
  EXPECT_FALSE(file->Write("x", 0, 1));
  EXPECT_EQ(file->LastError(), os::win32::DiskFull);
  EXPECT_TRUE(file->Write("y", 0, 1));
  EXPECT_EQ(file->LastError(), os::win32::Success);

  const std::vector<FileCall> calls = recorder.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_FALSE(calls[1].succeeded);
  EXPECT_TRUE(calls[2].succeeded);
  EXPECT_EQ(ostest::ReadWholeFile(scratch.File("full.db")), "y");
}

TEST(RecordingFileSystem, FilesOutliveTheRecorderAndTemporaryFilesHaveNoPath) {
  ostest::ScratchFolder scratch;
  std::unique_ptr<os::IFile> file;
  std::unique_ptr<os::IFile> temporary;
  {
    RecordingFileSystem recorder(FileSystem::Default());
    uint32_t error = 0;
    file = recorder.Create(scratch.File("kept.db"), error);
    temporary = recorder.CreateTemporary(error);
    ASSERT_NE(temporary, nullptr);
    ASSERT_TRUE(temporary->Write("t", 0, 1));
    const std::vector<FileCall> calls = recorder.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].kind, Kind::Write);
    EXPECT_TRUE(calls[1].path.empty());
    EXPECT_NE(calls[1].handle, calls[0].handle);
  }
  ASSERT_TRUE(file->Write("still", 0, 5));
  ASSERT_TRUE(file->Flush());
  EXPECT_EQ(ostest::ReadWholeFile(scratch.File("kept.db")), "still");
}

// Writers on several threads: nothing is lost, and each file's calls keep their order.
TEST(RecordingFileSystem, ConcurrentWritersAreAllLoggedInTheirOwnOrder) {
  ostest::ScratchFolder scratch;
  RecordingFileSystem recorder(FileSystem::Default());
  constexpr int Threads = 4;
  constexpr int Writes = 200;
  std::vector<std::thread> writers;
  for (int t = 0; t < Threads; ++t) {
    writers.emplace_back([&, t] {
      uint32_t error = 0;
      auto file = recorder.Create(scratch.File("t" + std::to_string(t)), error);
      for (int w = 0; w < Writes; ++w) file->Write("z", w, 1);
    });
  }
  for (std::thread& writer : writers) writer.join();

  std::vector<int64_t> next(Threads + 1, 0);
  size_t writes = 0;
  for (const FileCall& call : recorder.Calls()) {
    if (call.kind != Kind::Write) continue;
    ++writes;
    ASSERT_LT(call.handle, next.size());
    EXPECT_EQ(call.position, next[call.handle]++);
  }
  EXPECT_EQ(writes, size_t{Threads} * Writes);
}

}  // namespace
