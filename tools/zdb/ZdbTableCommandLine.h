// The command lines of the table commands (create-table, schema, load, dump), kept
// beside main() so that it only adds and runs them.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "zdb/Password.h"

namespace zdbtool {

// Checks an index given as NAME:FIELD[,FIELD...][:unique|:primary][:desc].
extern const CLI::Validator IndexSpecText;
// Refuses an empty name: the engine would take it, and the table or field could then not
// be named again to drop or rename it.
extern const CLI::Validator NonEmptyName;

// A subcommand on one table: FILE, TABLE and --password.
CLI::App* AddTableSubcommand(CLI::App& app, const char* name, const char* description, std::string& fileName,
                             std::string& tableName, std::string& password);

class TZdbTableCommandLine {
 public:
  // Adds the subcommands; FILE and --password go into the caller's variables.
  void Add(CLI::App& app, std::string& fileName, std::string& password);
  // Runs the one that was given; false when none of them was.
  bool Run(const std::string& fileName, const zdb::TZDBPassword& password);

 private:
  CLI::App* createTable_ = nullptr;
  CLI::App* schema_ = nullptr;
  CLI::App* load_ = nullptr;
  CLI::App* dump_ = nullptr;
  std::string tableName_;
  std::string csvFileName_;
  int64_t batchRows_ = 0;
  std::string indexName_;
  std::vector<std::string> fieldSpecs_;
  std::vector<std::string> indexSpecs_;
  std::vector<std::string> notNullFields_;
};

}  // namespace zdbtool
