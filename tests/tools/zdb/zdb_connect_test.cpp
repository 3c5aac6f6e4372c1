// zdb on an encrypted file without --password: at a terminal it asks for the password
// without echoing it, for the commands that look at the file and for those that connect
// to it; without a terminal the engine's password error reaches the user. Table commands
// connect as the program does, so a missing file is reported as the program reports it,
// and a file that was not closed properly brings the program's repair question.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/file/ZDBFileLayout.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/tools/zdb/support/ToolProcess.h"

extern char** environ;

namespace {

constexpr int ReplyWaitMs = 10000;  // only so that a broken tool cannot hang the test
constexpr const char* PasswordError = "Cannot open database - incorrect password - Native error: 30445";

using zdbtool::test::Slurp;

struct TerminalRun {
  int exitCode = -1;
  std::string terminal;  // what the tool wrote to the terminal (its stderr)
  std::string out;
};

// Runs zdb with stdin and stderr on a new pseudo-terminal; each answer is typed once the
// terminal shows the prompt once more.
TerminalRun RunAtTerminal(std::vector<std::string> arguments, const std::vector<std::string>& answers,
                          const std::string& outPath, const std::string& prompt = "Password: ") {
  TerminalRun run;
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, ::ptsname(master), O_RDWR | O_NOCTTY, 0);
  posix_spawn_file_actions_adddup2(&actions, STDIN_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addclose(&actions, master);
  arguments.insert(arguments.begin(), ZDB_TOOL_PATH);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const bool spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);

  size_t answered = 0;
  char buffer[512];
  for (;;) {
    pollfd wait{master, POLLIN, 0};
    if (::poll(&wait, 1, ReplyWaitMs) <= 0) break;
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // the tool has gone: the terminal is hung up
    run.terminal.append(buffer, static_cast<size_t>(got));
    size_t prompts = 0;
    for (size_t at = run.terminal.find(prompt); at != std::string::npos; at = run.terminal.find(prompt, at + 1))
      ++prompts;
    while (answered < prompts && answered < answers.size()) {
      const std::string line = answers[answered++] + "\n";
      if (::write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) ADD_FAILURE();
    }
  }
  if (spawned) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  ::close(master);
  run.out = Slurp(outPath);
  return run;
}

class ZdbConnect : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Tool("create '" + path_ + "' --password clave"), 0);
    ASSERT_EQ(Tool("create-table '" + path_ + "' Maximo --field any:INTEGER --field PenMax:FLOAT --password clave"), 0);
    std::ofstream(folder_.File("rows.csv")) << "any,PenMax\n2023,3059.25\n";
    ASSERT_EQ(Tool("load '" + path_ + "' Maximo '" + folder_.File("rows.csv") + "' --password clave"), 0);
  }

  // Runs zdb without a terminal; its exit code, stderr in err.
  int Tool(const std::string& arguments, std::string* err = nullptr) {
    const std::string errPath = folder_.File("err.txt");
    const int status = std::system((std::string("'") + ZDB_TOOL_PATH + "' " + arguments +
                                    " </dev/null >/dev/null 2>'" + errPath + "'")
                                       .c_str());
    if (err != nullptr) *err = Slurp(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  zdb::test::TempFolder folder_;
  std::string path_ = folder_.File("cifrada.zdb");
  std::string outPath_ = folder_.File("out.txt");
};

TEST_F(ZdbConnect, AtATerminalThePasswordIsAskedWithoutEcho) {
  struct Case {
    std::vector<std::string> arguments;
    std::string out;
  };
  // "tables" looks at the file, "dump" connects to it.
  const std::vector<Case> cases = {
      {{"tables", path_}, "Maximo"},
      {{"dump", path_, "Maximo"}, "any,PenMax\r\n2023,3059.25\r\n"},
  };
  for (const Case& c : cases) {
    const TerminalRun run = RunAtTerminal(c.arguments, {"clave"}, outPath_);
    EXPECT_EQ(run.exitCode, 0) << c.arguments[0] << ": " << run.terminal;
    EXPECT_NE(run.out.find(c.out), std::string::npos) << c.arguments[0] << ": " << run.out;
    EXPECT_EQ(run.terminal.rfind("Password: ", 0), 0u) << c.arguments[0] << ": " << run.terminal;
    EXPECT_EQ(run.terminal.find("clave"), std::string::npos) << c.arguments[0] << ": the password was echoed";
  }
}

TEST_F(ZdbConnect, AWrongPasswordAsksAgainAndAnEmptyAnswerGivesUp) {
  for (const char* command : {"tables", "dump"}) {
    std::vector<std::string> arguments = {command, path_};
    if (std::string(command) == "dump") arguments.push_back("Maximo");
    const TerminalRun run = RunAtTerminal(arguments, {"Clave", ""}, outPath_);
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_NE(run.terminal.find(std::string("Password: \r\nPassword: \r\n") + PasswordError), std::string::npos)
        << command << ": " << run.terminal;
  }
}

TEST_F(ZdbConnect, WithoutATerminalOrWithAWrongPasswordGivenThePasswordErrorReachesTheUser) {
  std::string err;
  for (const std::string& arguments : {"dump '" + path_ + "' Maximo", "dump '" + path_ + "' Maximo --password Clave",
                                       "schema '" + path_ + "' Maximo", "info '" + path_ + "' --password Clave"}) {
    EXPECT_EQ(Tool(arguments, &err), 1) << arguments;
    EXPECT_EQ(err, std::string(PasswordError) + "\n") << arguments;
  }
  // A wrong password given on the command line is the answer even at a terminal.
  const TerminalRun run = RunAtTerminal({"dump", path_, "Maximo", "--password", "Clave"}, {}, outPath_);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.terminal.find("Password: "), std::string::npos) << run.terminal;
}

TEST_F(ZdbConnect, TableCommandsReportAMissingFileAsTheProgramDoes) {
  const std::string missing = folder_.File("missing.zdb");
  std::string err;
  EXPECT_EQ(Tool("dump '" + missing + "' Maximo", &err), 1);
  EXPECT_EQ(err, "Database file '" + missing + "' does not exist\n");
  EXPECT_FALSE(std::ifstream(missing).good());
}

TEST_F(ZdbConnect, AFileNotClosedProperlyBringsTheRepairQuestionAtATerminalOnly) {
  const std::string plain = folder_.File("plain.zdb");
  ASSERT_EQ(Tool("create '" + plain + "'"), 0);
  ASSERT_EQ(Tool("create-table '" + plain + "' Maximo --field any:INTEGER"), 0);
  std::vector<uint8_t> bytes = zdb::test::ReadBytes(plain);
  bytes.at(zdb::layout::HeaderWriteStateOffset) = zdb::layout::WriteStateWriting;  // as a commit cut short leaves it
  zdb::test::WriteBytes(plain, bytes);

  // Nobody at a terminal: no repair, the file opens as it is.
  EXPECT_EQ(Tool("dump '" + plain + "' Maximo"), 0);
  const std::string question = "Database file was not correctly closed last time. Do you want to repair it? [y/N] ";
  const TerminalRun run = RunAtTerminal({"dump", plain, "Maximo"}, {"n"}, outPath_, question);
  EXPECT_EQ(run.exitCode, 0) << run.terminal;
  EXPECT_EQ(run.terminal.rfind(question, 0), 0u) << run.terminal;
  EXPECT_EQ(run.out, "any\r\n");
}

}  // namespace
