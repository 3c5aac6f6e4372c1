// The commands that change a table as a whole, through the engine's table component (as a
// program would), so that they take its locks and give its errors:
//   zdb empty FILE TABLE                       every row goes
//   zdb drop-table FILE TABLE                  the table goes
//   zdb rename-table FILE TABLE NEW            the table takes the new name
//   zdb add-index FILE TABLE NAME:FIELD[,FIELD...][:unique|:primary][:desc]
//   zdb drop-index FILE TABLE INDEX
//   zdb rename-field FILE TABLE OLD NEW
// Each reports what it did on one line. They need the table to themselves: while another
// program has it open they are refused with the engine's message.
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>

#include "zdb/Password.h"

namespace zdbtool {

struct TZdbIndexSpec;

void EmptyTableCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                       std::ostream& out);
void DropTableCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                      std::ostream& out);
void RenameTableCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                        const std::string& newName, std::ostream& out);
void AddIndexCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                     const TZdbIndexSpec& index, std::ostream& out);
void DropIndexCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                      const std::string& indexName, std::ostream& out);
void RenameFieldCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                        const std::string& oldName, const std::string& newName, std::ostream& out);

// The command lines, kept beside main() so that it only adds and runs them.
class TZdbTableOperationCommandLine {
 public:
  // Adds the subcommands; FILE and --password go into the caller's variables.
  void Add(CLI::App& app, std::string& fileName, std::string& password);
  // Runs the one that was given; false when none of them was.
  bool Run(const std::string& fileName, const zdb::TZDBPassword& password);

 private:
  CLI::App* empty_ = nullptr;
  CLI::App* dropTable_ = nullptr;
  CLI::App* renameTable_ = nullptr;
  CLI::App* addIndex_ = nullptr;
  CLI::App* dropIndex_ = nullptr;
  CLI::App* renameField_ = nullptr;
  std::string tableName_;
  std::string newName_;
  std::string indexSpec_;
  std::string indexName_;
  std::string oldName_;
};

}  // namespace zdbtool
