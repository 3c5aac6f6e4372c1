// The catalogue of the engine's messages and their native error codes, for the layers from
// the file up to the dataset components (the query layers keep their own).
//
// Each raising place has a code of its own, so a message raised at a handful of places is
// listed with each of its codes; a message raised at many places is listed with the number
// of places and its lowest and highest code only. A lookup resolves exact codes: the codes
// listed, and the lowest and highest code of a message raised at many places, never a code
// merely lying between them (those ranges interleave with other messages' codes).
// Two places may share a code; then the code names two messages.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zdb {

struct MessageEntry {
  static constexpr size_t MaxListedCodes = 4;

  const char* Text;     // with its %d / %s directives
  int32_t SiteCount;    // places in the engine that raise it
  int32_t LowestCode;
  int32_t HighestCode;
  std::array<int32_t, MaxListedCodes> Listed;  // the exact codes, ascending
  size_t ListedCount;

  // Every code of the message when SiteCount <= MaxListedCodes; otherwise the lowest and
  // the highest code.
  std::span<const int32_t> ExactCodes() const { return {Listed.data(), ListedCount}; }
  bool HasExactCode(int32_t code) const;
};

// Every message of the catalogue, grouped by layer (file, table, index, dataset).
std::span<const MessageEntry> AllMessages();

// The message of an exact code, or nullptr. For a code shared by two places, the message
// that comes first in AllMessages(); MessagesForCode lists both.
const char* MessageForCode(int32_t code);
std::vector<const MessageEntry*> MessagesForCode(int32_t code);

}  // namespace zdb
