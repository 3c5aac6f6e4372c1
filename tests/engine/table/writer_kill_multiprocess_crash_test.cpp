// Writers killed at random moments, one commit per row as the maintenance window posts:
// no acknowledged row is lost, no row is stored twice, a second process reading meanwhile
// goes on working, and after the next open `zdb check` finds the file clean.
// ZDB_KILL_ROUNDS sets the number of kills per mode (bench/crash_soak.sh runs many).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/file/ZDBRollbackJournal.h"
#include "platform/os/System.h"
#include "tests/engine/table/support/TableDataTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/tools/zdb/support/ToolProcess.h"

namespace zdb::testing {
namespace {

class Peer : public zdbtest::ChildProcess {
 public:
  Peer() : ChildProcess(ZDB_TABLE_PEER_PATH) {}
};

int KillRounds() {
  const char* rounds = std::getenv("ZDB_KILL_ROUNDS");
  return rounds != nullptr && std::atoi(rounds) > 0 ? std::atoi(rounds) : 6;
}

struct Mode {
  const char* name;
  bool multiUser;
};

class WriterKill : public ::testing::TestWithParam<Mode> {};

TEST_P(WriterKill, NoAcknowledgedRowIsLostAndTheFileChecksClean) {
  const bool multiUser = GetParam().multiUser;
  ScratchFolder folder;
  const std::string file = folder.File("killed.zdb");
  CreateDatabaseFile(file);
  {
    Connection connection(file, false);
    CreateMaximo(connection);
  }
  std::mt19937 random(20261210u + (multiUser ? 1u : 0u));
  std::vector<int32_t> acknowledged;
  int32_t nextYear = 0;
  for (int round = 0; round < KillRounds(); ++round) {
    SCOPED_TRACE(::testing::Message() << "kill " << round + 1);
    // A second user with the file open all along: it reads on after the kill, and its
    // next write finds what the dead writer left.
    std::unique_ptr<Peer> reader;
    if (multiUser) {
      reader = std::make_unique<Peer>();
      ASSERT_EQ(reader->Run("open " + file), 0);
    }
    {
      Peer writer;
      ASSERT_EQ(writer.Run(std::string(multiUser ? "open " : "open-single ") + file), 0);
      writer.Send("stream " + std::to_string(nextYear) + " 1000000");
      const size_t wanted = 1 + random() % 30;
      long long year = 0;
      for (size_t got = 0; got < wanted && writer.Next(year); ++got) acknowledged.push_back(static_cast<int32_t>(year));
      // Somewhere inside a later commit, or between two.
      os::SleepMs(random() % 3);
      writer.Kill();
    }
    nextYear = acknowledged.back() + 1000;

    if (reader) {
      EXPECT_GE(reader->Run("count"), static_cast<long long>(acknowledged.size()));
      EXPECT_EQ(reader->Run("insert " + std::to_string(nextYear) + " 1"), 0);
      acknowledged.push_back(nextYear);
      nextYear += 1000;
      reader.reset();
    }

    {
      Connection connection(file, multiUser);
      EXPECT_FALSE(connection.NeedsRepair());
      TZDBTableCursor cursor(connection.session, "Maximo");
      TZDBOpenTable table(connection.Data(), cursor);
      const std::vector<int32_t> physical = Years(table);
      const std::set<int32_t> stored(physical.begin(), physical.end());
      EXPECT_EQ(stored.size(), physical.size()) << "no row twice";
      for (int32_t year : acknowledged) ASSERT_EQ(stored.count(year), 1u) << "year " << year;
      // What was stored beyond the acknowledged rows is kept: the next writer starts after it.
      if (!physical.empty()) nextYear = std::max(nextYear, *stored.rbegin() + 1000);
    }
    const zdbtool::test::ToolRun check = zdbtool::test::RunTool({"check", file}, folder.File("check"));
    ASSERT_EQ(check.exitCode, 0) << check.out << check.err;
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, WriterKill, ::testing::Values(Mode{"SingleUser", false}, Mode{"MultiUser", true}),
                         [](const ::testing::TestParamInfo<Mode>& each) { return each.param.name; });

}  // namespace
}  // namespace zdb::testing
