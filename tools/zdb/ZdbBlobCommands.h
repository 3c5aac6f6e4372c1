// The commands that move one large value (a BLOB, MEMO or WIDEMEMO field of one row)
// between a table and a byte stream:
//   zdb get-blob FILE TABLE FIELD --where KEY=VALUE > out   the value, byte for byte
//   zdb set-blob FILE TABLE FIELD --where KEY=VALUE < in    stdin becomes the value
// KEY=VALUE names the row: the field KEY holds VALUE (in the CSV text of ZdbFieldText.h).
// No row or several rows, a field that is not a large value, or a KEY that has no text
// form are refused with a message, before anything is written. An empty value is NULL.
#pragma once

#include <CLI/CLI.hpp>
#include <istream>
#include <ostream>
#include <string>

#include "zdb/Password.h"

namespace zdbtool {

// Writes the field's value to out (nothing for NULL).
void GetBlobCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                    const std::string& fieldName, const std::string& where, std::ostream& out);
// Stores everything in as the field's value; reports "stored N bytes" on report.
void SetBlobCommand(const std::string& fileName, const zdb::TZDBPassword& password, const std::string& tableName,
                    const std::string& fieldName, const std::string& where, std::istream& in, std::ostream& report);

// The command lines of get-blob and set-blob, kept beside main() so that it only adds and
// runs them.
class TZdbBlobCommandLine {
 public:
  // Adds the subcommands; FILE and --password go into the caller's variables.
  void Add(CLI::App& app, std::string& fileName, std::string& password);
  // Runs the one that was given; false when neither was.
  bool Run(const std::string& fileName, const zdb::TZDBPassword& password);

 private:
  CLI::App* getBlob_ = nullptr;
  CLI::App* setBlob_ = nullptr;
  std::string tableName_;
  std::string fieldName_;
  std::string where_;
};

}  // namespace zdbtool
