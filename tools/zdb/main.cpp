// zdb: creates and inspects database files.
//   zdb create FILE [--force] [--page-size N] [--extent-pages N] [--max-connections N]
//                   [--password TEXT [--cipher NAME]]
//   zdb info FILE [--password TEXT]
//   zdb pages FILE [--password TEXT]
//   zdb sessions FILE [--password TEXT]
//   zdb tables FILE [--password TEXT]
//   zdb check FILE [--password TEXT]
//   zdb repair FILE [--password TEXT]
//   zdb create-table FILE TABLE --field NAME:TYPE[:SIZE] ...
//                    [--index NAME:FIELD[,FIELD...][:unique|:primary][:desc]] ... [--not-null FIELD] ...
//   zdb schema FILE TABLE
//   zdb load FILE TABLE CSV|- [--batch N]
//   zdb dump FILE TABLE [--index NAME]
//   zdb get-blob FILE TABLE FIELD --where KEY=VALUE > OUT
//   zdb set-blob FILE TABLE FIELD --where KEY=VALUE < IN
//   zdb empty | drop-table FILE TABLE
//   zdb rename-table FILE TABLE NEW
//   zdb add-index FILE TABLE NAME:FIELD[,FIELD...][:unique|:primary][:desc]
//   zdb drop-index FILE TABLE INDEX
//   zdb rename-field FILE TABLE OLD NEW
//   zdb help [COMMAND] ; zdb --version
// An encrypted file opens only with its password; without --password it is asked for on
// the terminal (when stdin is one).
// Exit codes: 0 success, 1 the engine refused (its message on stderr), check found a
// problem, or repair could not make a file that checks clean; 2 usage error; 128 + the
// signal for a load stopped by SIGINT or SIGTERM. Names are printed in UTF-8.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>

#include "tools/zdb/ZdbBlobCommands.h"
#include "tools/zdb/ZdbCheckCommand.h"
#include "tools/zdb/ZdbCommands.h"
#include "tools/zdb/ZdbCreateCommand.h"
#include "tools/zdb/ZdbFileFinding.h"
#include "tools/zdb/ZdbHelp.h"
#include "tools/zdb/ZdbInterrupt.h"
#include "tools/zdb/ZdbRepairCommand.h"
#include "tools/zdb/ZdbSessionsCommand.h"
#include "tools/zdb/ZdbSystemFilesCommands.h"
#include "tools/zdb/ZdbTableCommandLine.h"
#include "tools/zdb/ZdbTableOperationCommands.h"
#include "tools/zdb/ZdbTerminalPrompts.h"
#include "tools/zdb/ZdbText.h"
#include "zdb/FileCreation.h"
#include "zdb/Password.h"

namespace {

std::string CipherNames() {
  std::string names;
  for (uint8_t code = 0; code < zdb::CipherCodeCount; ++code)
    names += std::string(code == 0 ? "" : ", ") + zdb::FindCipher(code)->Name;
  return names;
}

// An empty password would quietly make a plain file.
const CLI::Validator NonEmptyPassword(
    [](std::string& text) { return text.empty() ? std::string("the password must not be empty") : std::string(); },
    "TEXT");

const CLI::Validator KnownCipher(
    [](std::string& name) {
      return zdb::FindCipherCode(name) ? std::string() : "unknown cipher '" + name + "'; one of: " + CipherNames();
    },
    "NAME");

void AddPasswordOption(CLI::App* command, std::string& password) {
  command->add_option("--password", password, "Password of an encrypted file");
}

}  // namespace

int main(int argc, char** argv) {
  // Under a file-size limit (ulimit -f) a write that goes past it fails with an error the
  // engine reports and rolls back, instead of the signal ending the tool mid-write.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app{"Creates and inspects ZDB database files."};
  app.require_subcommand(1);

  std::string fileName;
  int pageSize = zdb::layout::DefaultPageSize;
  int pagesPerExtent = zdb::layout::DefaultPagesPerExtent;
  int maxConnections = zdb::DefaultNewFileSlotCount;
  std::string password;
  std::string cipherName = zdb::FindCipher(zdb::CipherCodeOf(zdb::TZDBCipherCode::Rijndael128))->Name;
  bool replace = false;
  std::string helpTopic;

  CLI::App* create = app.add_subcommand("create", "Create a new database file");
  create->add_option("FILE", fileName, "Database file")->required();
  create->add_flag("--force", replace, "Replace the file if it exists (it keeps its permissions)");
  create->add_option("--page-size", pageSize, "Page size in bytes")
      ->check(CLI::Range(zdb::layout::MinPageSize, zdb::layout::MaxPageSize));
  create->add_option("--extent-pages", pagesPerExtent, "Pages per extent")
      ->check(CLI::Range(zdb::layout::MinPagesPerExtent, zdb::layout::MaxPagesPerExtent));
  create->add_option("--max-connections", maxConnections, "Session slots: sessions that may use the file at once")
      ->check(CLI::Range(1, zdb::MaxNewFileSlotCount));
  CLI::Option* createPassword =
      create->add_option("--password", password, "Encrypt the file with this password")->check(NonEmptyPassword);
  create
      ->add_option("--cipher", cipherName,
                   "Cipher of the encrypted file, " + cipherName + " unless given: " + CipherNames())
      ->check(KnownCipher)
      ->needs(createPassword);

  CLI::App* info = app.add_subcommand("info", "Show the file header and state");
  info->add_option("FILE", fileName, "Database file")->required();
  AddPasswordOption(info, password);

  CLI::App* pages = app.add_subcommand("pages", "List the pages of the file");
  pages->add_option("FILE", fileName, "Database file")->required();
  AddPasswordOption(pages, password);

  CLI::App* sessions = app.add_subcommand("sessions", "List the session slots taken right now");
  sessions->add_option("FILE", fileName, "Database file")->required();
  AddPasswordOption(sessions, password);

  CLI::App* tables = app.add_subcommand("tables", "List the tables and their object IDs");
  tables->add_option("FILE", fileName, "Database file")->required();
  AddPasswordOption(tables, password);

  CLI::App* check = app.add_subcommand("check", "Check the file's integrity: one line per problem, then a summary");
  check->add_option("FILE", fileName, "Database file")->required();
  AddPasswordOption(check, password);

  CLI::App* repair = app.add_subcommand(
      "repair",
      "Copy every readable table and row into a new file in the file's place; the damaged file is kept as FILE.bak");
  repair->add_option("FILE", fileName, "Database file")->required();
  AddPasswordOption(repair, password);

  zdbtool::TZdbTableCommandLine tableCommands;
  tableCommands.Add(app, fileName, password);
  zdbtool::TZdbBlobCommandLine blobCommands;
  blobCommands.Add(app, fileName, password);
  zdbtool::TZdbTableOperationCommandLine tableOperations;
  tableOperations.Add(app, fileName, password);
  CLI::App* help = zdbtool::AddHelp(app, helpTopic);

  if (zdbtool::RefuseUnknownCommand(app, argc, argv, std::cerr)) return zdbtool::ExitUsage;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? zdbtool::ExitSuccess : zdbtool::ExitUsage;
  }
  if (help->parsed())
    return zdbtool::PrintHelp(app, helpTopic, std::cout, std::cerr) ? zdbtool::ExitSuccess : zdbtool::ExitUsage;

  // A file that needs a password or a repair asks on the terminal, as the program asks in windows.
  zdbtool::InstallTerminalPrompts();
  const zdb::TZDBPassword passwordRecord{password, zdb::FindCipherCode(cipherName).value_or(0)};
  try {
    if (create->parsed()) {
      zdbtool::CreateCommand(fileName, static_cast<uint16_t>(pageSize), static_cast<uint16_t>(pagesPerExtent),
                             maxConnections, passwordRecord, replace);
    } else if (info->parsed()) {
      zdbtool::InfoCommand(fileName, passwordRecord, std::cout);
    } else if (pages->parsed()) {
      zdbtool::PagesCommand(fileName, passwordRecord, std::cout);
    } else if (sessions->parsed()) {
      zdbtool::SessionsCommand(fileName, passwordRecord, std::cout);
    } else if (tables->parsed()) {
      zdbtool::TablesCommand(fileName, passwordRecord, std::cout);
    } else if (check->parsed()) {
      if (zdbtool::CheckCommand(fileName, passwordRecord, std::cout) > 0) return zdbtool::ExitFailure;
    } else if (repair->parsed()) {
      if (!zdbtool::RepairCommand(fileName, passwordRecord, std::cout, std::cerr)) return zdbtool::ExitFailure;
    } else if (!blobCommands.Run(fileName, passwordRecord) && !tableOperations.Run(fileName, passwordRecord)) {
      tableCommands.Run(fileName, passwordRecord);
    }
  } catch (const zdbtool::TZdbInterrupted& e) {
    std::cout.flush();
    std::cerr << zdbtool::PrintableText(e.what()) << '\n';
    return e.ExitCode();
  } catch (const std::exception& e) {
    std::cout.flush();
    // What lies at the name, in plain words, before the engine's own text about it.
    const std::string found = create->parsed() ? std::string() : zdbtool::FileFinding(fileName);
    if (!found.empty()) std::cerr << found << ": ";
    std::cerr << zdbtool::PrintableText(e.what()) << '\n';
    return zdbtool::ExitFailure;
  }
  return zdbtool::ExitSuccess;
}
