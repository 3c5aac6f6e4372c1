// The context model of the PPM compressor (prediction by partial matching).
//
// Contexts are the last 0 .. MaxOrder bytes, kept as a trie: the node of a context holds
// the bytes seen after it with their counts, each with a link to the node one byte longer
// (made when it is first needed) and a link to its own suffix, one byte shorter. A byte is
// coded in the longest current context that has seen it; each context on the way down
// that has not codes an escape, and the bytes already offered above are excluded from the
// contexts below. A byte new to every context is coded flat among those left. The
// current context grows by one byte per symbol the model could predict, so long contexts
// are only built where the data repeats.
//
// Everything the model does (its counts, escapes, when it rescales and restarts) is part
// of the stored format: a change here makes older compressed data unreadable.
//
// The model lives within a memory budget; when the budget runs out it starts afresh, at
// the same symbol for the encoder and the decoder. Model updates depend only on the
// symbols, so a decoder fed damaged input keeps a sound model: damage shows in the range
// decoder and in the stream's checksum, never as a bad index here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/base/ZDBRangeCoder.h"

namespace zdb {

class PPMModel {
 public:
  PPMModel(int maxOrder, size_t memoryBudget);

  void EncodeSymbol(RangeEncoder& encoder, uint8_t symbol);
  // False when the input is damaged.
  bool DecodeSymbol(RangeDecoder& decoder, uint8_t& symbol);

 private:
  struct State {
    uint8_t symbol;
    uint16_t freq;
    uint32_t successor;  // node of the context one byte longer, 0 until needed
  };
  struct Context {
    uint32_t suffix;  // the context one byte shorter (none for the root)
    uint32_t stats;   // first of numStats states in states_
    uint32_t summFreq;
    uint16_t numStats;
    uint8_t order;
  };
  // What the coding of one symbol leaves for the update.
  struct Step {
    uint32_t foundContext = 0;  // 0: coded flat, below the root
    uint32_t foundState = 0;
    std::array<uint32_t, 20> missed{};  // contexts that had not seen the symbol
    size_t missedCount = 0;
  };

  static constexpr uint32_t NoContext = 0;
  static constexpr uint32_t Root = 1;

  void Restart();
  void RestartIfFull();
  void BeginExclusion();
  bool Excluded(uint8_t symbol) const { return excluded_[symbol] == exclusionRound_; }
  void Exclude(uint8_t symbol);
  static uint32_t EscapeFreq(const Context& context);

  void Update(uint8_t symbol, const Step& step);
  void AddState(uint32_t context, uint8_t symbol);
  void Rescale(Context& context);
  uint32_t FindState(uint32_t context, uint8_t symbol) const;
  uint32_t Successor(uint32_t context, uint8_t symbol);
  uint32_t NewContext(uint8_t order, uint32_t suffix);
  uint32_t AllocateStates(unsigned sizeClass);
  void FreeStates(uint32_t offset, unsigned sizeClass);
  size_t MemoryUsed() const;

  int maxOrder_;
  size_t memoryBudget_;
  std::vector<Context> contexts_;
  std::vector<State> states_;
  std::array<std::vector<uint32_t>, 9> freeStates_;  // by size class: 1, 2, 4 .. 256 states
  uint32_t current_ = Root;

  std::array<uint32_t, 256> excluded_{};
  uint32_t exclusionRound_ = 0;
  uint32_t excludedCount_ = 0;
};

}  // namespace zdb
