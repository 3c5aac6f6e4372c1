// zdb help [COMMAND], zdb --version, and the answer to a command that does not exist.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>

namespace zdbtool {

// The exit codes, as --help lists them.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;  // the engine or the data refused, check found a problem
inline constexpr int ExitUsage = 2;

// Adds --version and the help command, whose COMMAND goes into topic, and the exit codes
// to the help text.
CLI::App* AddHelp(CLI::App& app, std::string& topic);
// The help of the tool, or of the command topic names; false with the unknown-command
// text on err when there is no such command.
bool PrintHelp(CLI::App& app, const std::string& topic, std::ostream& out, std::ostream& err);
// True, with the unknown-command text on err, when the command line's first argument is
// no command (CLI11 would only say that a command is required).
bool RefuseUnknownCommand(CLI::App& app, int argc, const char* const* argv, std::ostream& err);

}  // namespace zdbtool
