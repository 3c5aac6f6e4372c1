// zdb: creates and inspects database files.
//   zdb create FILE [--page-size N] [--extent-pages N] [--max-connections N]
//   zdb info FILE
//   zdb pages FILE
//   zdb sessions FILE
//   zdb tables FILE
// Exit codes: 0 success, 1 the engine refused (its message on stderr), 2 usage error.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <exception>
#include <iostream>
#include <limits>
#include <string>

#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBTableLocksFile.h"
#include "tools/zdb/ZdbCommands.h"
#include "tools/zdb/ZdbSessionsCommand.h"
#include "tools/zdb/ZdbSystemFilesCommands.h"

namespace {

constexpr int ExitEngineError = 1;
constexpr int ExitUsageError = 2;
// Every table's lock region takes 12 bytes a slot; beyond this a region would not fit
// the 32-bit size of an internal file.
constexpr int MaxConnectionsLimit = std::numeric_limits<int32_t>::max() / zdb::TZDBTableLocksFile::BytesPerSlot;

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Creates and inspects ZDB database files."};
  app.require_subcommand(1);

  std::string fileName;
  int pageSize = zdb::layout::DefaultPageSize;
  int pagesPerExtent = zdb::layout::DefaultPagesPerExtent;
  int maxConnections = zdb::TZDBDiskDatabaseData::DefaultSlotCount;

  CLI::App* create = app.add_subcommand("create", "Create a new database file (an existing one is replaced)");
  create->add_option("FILE", fileName, "Database file")->required();
  create->add_option("--page-size", pageSize, "Page size in bytes")
      ->check(CLI::Range(zdb::layout::MinPageSize, zdb::layout::MaxPageSize));
  create->add_option("--extent-pages", pagesPerExtent, "Pages per extent")
      ->check(CLI::Range(zdb::layout::MinPagesPerExtent, zdb::layout::MaxPagesPerExtent));
  create->add_option("--max-connections", maxConnections, "Session slots: sessions that may use the file at once")
      ->check(CLI::Range(1, MaxConnectionsLimit));

  CLI::App* info = app.add_subcommand("info", "Show the file header and state");
  info->add_option("FILE", fileName, "Database file")->required();

  CLI::App* pages = app.add_subcommand("pages", "List the pages of the file");
  pages->add_option("FILE", fileName, "Database file")->required();

  CLI::App* sessions = app.add_subcommand("sessions", "List the session slots taken right now");
  sessions->add_option("FILE", fileName, "Database file")->required();

  CLI::App* tables = app.add_subcommand("tables", "List the tables and their object IDs");
  tables->add_option("FILE", fileName, "Database file")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : ExitUsageError;
  }

  try {
    if (create->parsed()) {
      zdbtool::CreateCommand(fileName, static_cast<uint16_t>(pageSize), static_cast<uint16_t>(pagesPerExtent),
                             maxConnections);
    } else if (info->parsed()) {
      zdbtool::InfoCommand(fileName, std::cout);
    } else if (pages->parsed()) {
      zdbtool::PagesCommand(fileName, std::cout);
    } else if (sessions->parsed()) {
      zdbtool::SessionsCommand(fileName, std::cout);
    } else if (tables->parsed()) {
      zdbtool::TablesCommand(fileName, std::cout);
    }
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << e.what() << '\n';
    return ExitEngineError;
  }
  return 0;
}
