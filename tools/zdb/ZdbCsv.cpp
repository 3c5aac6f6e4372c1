#include "tools/zdb/ZdbCsv.h"

namespace zdbtool {
namespace {

constexpr char Separator = ',';
constexpr char Quote = '"';
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

TZdbCsvReader::TZdbCsvReader(std::string text) : text_(std::move(text)) {
  if (std::string_view(text_).substr(0, ByteOrderMark.size()) == ByteOrderMark) position_ = ByteOrderMark.size();
}

int TZdbCsvReader::Get() {
  const int c = Peek();
  if (c != End) ++position_;
  if (c == '\n') ++line_;
  return c;
}

bool TZdbCsvReader::Next(TZdbCsvRecord& record) {
  // Blank lines between records carry nothing.
  while (Peek() == '\r' || Peek() == '\n') Get();
  if (Peek() == End) return false;

  record.Fields.clear();
  record.Line = line_;
  std::string field;
  bool quoted = false;  // inside quotes
  bool wasQuoted = false;
  for (;;) {
    const int c = Get();
    if (quoted) {
      if (c == End) throw TZdbInputError(record.Line, "a quoted field is not closed");
      if (c == Quote) {
        if (Peek() == Quote) {
          Get();
          field += Quote;
        } else {
          quoted = false;
        }
      } else {
        field += static_cast<char>(c);
      }
      continue;
    }
    if (c == Separator || c == '\n' || c == '\r' || c == End) {
      record.Fields.push_back(std::move(field));
      field.clear();
      wasQuoted = false;
      if (c == Separator) continue;
      if (c == '\r' && Peek() == '\n') Get();
      return true;
    }
    if (c == Quote && field.empty() && !wasQuoted) {
      quoted = true;
      wasQuoted = true;
      continue;
    }
    if (wasQuoted) throw TZdbInputError(line_, "text after the closing quote of a field");
    field += static_cast<char>(c);
  }
}

std::string CsvField(std::string_view text) {
  const bool needsQuotes = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                           (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!needsQuotes) return std::string(text);
  std::string quoted(1, Quote);
  for (const char c : text) {
    if (c == Quote) quoted += Quote;
    quoted += c;
  }
  quoted += Quote;
  return quoted;
}

}  // namespace zdbtool
