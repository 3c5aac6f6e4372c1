// CSV as RFC 4180 has it: records of comma-separated fields; a field in double quotes
// may hold commas, line breaks and doubled quotes ("" for one "). Records end with CRLF
// or LF; blank lines are skipped, and a UTF-8 byte order mark at the start is ignored.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zdbtool {

// What is wrong with the input, at which line (from 1).
class TZdbInputError : public std::runtime_error {
 public:
  TZdbInputError(int64_t line, const std::string& message)
      : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}
  int64_t Line() const { return line_; }

 private:
  int64_t line_;
};

struct TZdbCsvRecord {
  std::vector<std::string> Fields;
  int64_t Line = 0;  // where the record starts
};

class TZdbCsvReader {
 public:
  // Hands out the input piece by piece, an empty piece at its end.
  using TSource = std::function<std::string()>;

  explicit TZdbCsvReader(TSource source);
  // The next record; false at the end of the input. TZdbInputError for a quote that is
  // never closed or text after a closing quote.
  bool Next(TZdbCsvRecord& record);

 private:
  static constexpr int End = -1;
  int Get();
  int Peek();
  // Adds the next piece to the text not read yet; false at the end of the input.
  bool Fill();
  void SkipByteOrderMark();
  // Appends the bytes up to the next separator, line end or quote at once: most of a file
  // is such runs, and byte by byte they cost most of the reading.
  void TakeOrdinaryRun(std::string& field);

  TSource source_;
  std::string text_;
  size_t position_ = 0;
  bool ended_ = false;
  bool started_ = false;
  int64_t line_ = 1;
};

// The field as CSV text: quoted when it holds a comma, a quote, a line break, or blanks
// at either end.
std::string CsvField(std::string_view text);

}  // namespace zdbtool
