// zdb sessions: the slots that other processes hold while the tool looks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/file/ZDBSessionSlots.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/engine/file/support/LockingDatabase.h"

namespace {

using zdb::test::OpenedDatabase;

class ZdbSessions : public testing::Test {
 protected:
  // The tool's standard output; its exit code in exitCode.
  std::string Sessions(int& exitCode) {
    const std::string outPath = folder_.File("out.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::string program = ZDB_TOOL_PATH;
    std::string command = "sessions";
    char* argv[] = {program.data(), command.data(), path_.data(), nullptr};
    pid_t pid = -1;
    exitCode = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) == 0) {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    std::ifstream in(outPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  zdb::test::TempFolder folder_;
  std::string path_ = folder_.File("sessions.zdb");
  zdb::test::LockingLayout layout_ = zdb::test::CreateLockingDatabase(path_, 6, {});
};

TEST_F(ZdbSessions, ListsTheSlotsOtherProcessesHold) {
  int exitCode = -1;
  EXPECT_EQ(Sessions(exitCode), "slot_count: 6\ntaken_count: 0\n");
  EXPECT_EQ(exitCode, 0);

  OpenedDatabase first(path_, layout_), second(path_, layout_);
  ASSERT_EQ(zdb::ConnectSession(first.Slots()), 0);
  ASSERT_EQ(zdb::ConnectSession(second.Slots()), 1);
  ASSERT_EQ(zdb::ConnectSession(first.Slots()), 2);
  zdb::DisconnectSession(first.Slots(), 0);
  EXPECT_EQ(Sessions(exitCode), "slot_count: 6\ntaken_count: 2\n1\n2\n");
  // Looking took nothing: the lowest free slot is still the one a new session gets.
  EXPECT_EQ(zdb::ConnectSession(second.Slots()), 0);
}

TEST_F(ZdbSessions, SingleUserProcessHoldsEverySlot) {
  OpenedDatabase single(path_, layout_, false);
  ASSERT_TRUE(zdb::ClaimAllSlots(single.Slots()));
  int exitCode = -1;
  EXPECT_EQ(Sessions(exitCode), "slot_count: 6\ntaken_count: 6\n0\n1\n2\n3\n4\n5\n");
  EXPECT_EQ(exitCode, 0);
}

}  // namespace
