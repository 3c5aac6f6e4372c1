#include "tools/zdb/ZdbHelp.h"

#include <vector>

namespace zdbtool {
namespace {

constexpr const char* ExitCodesText =
    "Exit codes:\n"
    "  0        success\n"
    "  1        a failure the engine or the data reported (the message on stderr), or check\n"
    "           found a problem\n"
    "  2        a usage error: an unknown command or option, a missing or bad argument\n"
    "  130, 143 load stopped by SIGINT (Ctrl-C) or SIGTERM: nothing of that load stayed";

std::string CommandNames(CLI::App& app) {
  std::string names;
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
    names += (names.empty() ? "" : ", ") + command->get_name();
  return names;
}

CLI::App* FindCommand(CLI::App& app, const std::string& name) {
  for (CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
    if (command->get_name() == name) return command;
  return nullptr;
}

void SayUnknown(CLI::App& app, const std::string& name, std::ostream& err) {
  err << "'" << name << "' is not a zdb command; the commands are: " << CommandNames(app) << '\n';
}

}  // namespace

CLI::App* AddHelp(CLI::App& app, std::string& topic) {
  app.set_version_flag("--version", std::string("zdb ") + ZDB_TOOL_VERSION, "Show the tool's version and exit");
  app.footer(ExitCodesText);
  CLI::App* help = app.add_subcommand("help", "Show the help of the tool, or of one command");
  help->add_option("COMMAND", topic, "The command");
  return help;
}

bool PrintHelp(CLI::App& app, const std::string& topic, std::ostream& out, std::ostream& err) {
  if (topic.empty()) {
    out << app.help();
    return true;
  }
  CLI::App* command = FindCommand(app, topic);
  if (command == nullptr) {
    SayUnknown(app, topic, err);
    return false;
  }
  out << command->help();
  return true;
}

bool RefuseUnknownCommand(CLI::App& app, int argc, const char* const* argv, std::ostream& err) {
  if (argc < 2) return false;
  const std::string first = argv[1];
  if ((!first.empty() && first[0] == '-') || FindCommand(app, first) != nullptr) return false;
  SayUnknown(app, first, err);
  return true;
}

}  // namespace zdbtool
