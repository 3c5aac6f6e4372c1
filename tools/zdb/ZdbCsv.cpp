#include "tools/zdb/ZdbCsv.h"

#include <utility>

namespace zdbtool {
namespace {

constexpr char Separator = ',';
constexpr char Quote = '"';
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
// What ends a run of ordinary bytes outside quotes.
constexpr bool EndsRun(char c) { return c == Separator || c == '\n' || c == '\r' || c == Quote; }

}  // namespace

TZdbCsvReader::TZdbCsvReader(TSource source) : source_(std::move(source)) {}

bool TZdbCsvReader::Fill() {
  if (ended_) return false;
  std::string piece = source_();
  if (piece.empty()) {
    ended_ = true;
    return false;
  }
  // What was read goes, so that a large input is never held whole.
  text_.erase(0, position_);
  position_ = 0;
  text_ += piece;
  return true;
}

void TZdbCsvReader::SkipByteOrderMark() {
  while (text_.size() < ByteOrderMark.size() && Fill()) {
  }
  if (std::string_view(text_).substr(0, ByteOrderMark.size()) == ByteOrderMark) position_ = ByteOrderMark.size();
}

int TZdbCsvReader::Peek() {
  if (position_ == text_.size() && !Fill()) return End;
  return static_cast<unsigned char>(text_[position_]);
}

int TZdbCsvReader::Get() {
  const int c = Peek();
  if (c != End) ++position_;
  if (c == '\n') ++line_;
  return c;
}

void TZdbCsvReader::TakeOrdinaryRun(std::string& field) {
  for (;;) {
    const size_t size = text_.size();
    size_t end = position_;
    while (end < size && !EndsRun(text_[end])) ++end;
    field.append(text_, position_, end - position_);
    position_ = end;
    if (end < size || !Fill()) return;
  }
}

bool TZdbCsvReader::Next(TZdbCsvRecord& record) {
  if (!started_) {
    started_ = true;
    SkipByteOrderMark();
  }
  // Blank lines between records carry nothing.
  while (Peek() == '\r' || Peek() == '\n') Get();
  if (Peek() == End) return false;

  record.Fields.clear();
  record.Line = line_;
  std::string field;
  bool quoted = false;  // inside quotes
  bool wasQuoted = false;
  for (;;) {
    if (!quoted && !wasQuoted) TakeOrdinaryRun(field);
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
