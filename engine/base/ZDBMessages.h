// The catalogue of the engine's messages and their native error codes, for the layers from
// the file up to the dataset components (the query layers keep their own).
//
// Each raising place has a code of its own, so a message raised at many places is listed
// with every code the engine raises it with; a lookup resolves exactly those codes. Two
// places may share a code; then the code names two messages. Every code the engine raises
// is here with the text it raises, once (a test holds the raising places against it).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zdb {

struct MessageEntry {
  static constexpr size_t MaxListedCodes = 24;

  const char* Text;  // with its %d / %s directives
  std::array<int32_t, MaxListedCodes> Listed;  // the codes, ascending
  size_t ListedCount;

  std::span<const int32_t> ExactCodes() const { return {Listed.data(), ListedCount}; }
  bool HasExactCode(int32_t code) const;
  constexpr int32_t LowestCode() const { return Listed[0]; }
  constexpr int32_t HighestCode() const { return Listed[ListedCount - 1]; }
};

// Every message of the catalogue, grouped by layer (file, table, index, dataset).
std::span<const MessageEntry> AllMessages();

// The message of an exact code, or nullptr. For a code shared by two places, the message
// that comes first in AllMessages(); MessagesForCode lists both.
const char* MessageForCode(int32_t code);
std::vector<const MessageEntry*> MessagesForCode(int32_t code);

}  // namespace zdb
