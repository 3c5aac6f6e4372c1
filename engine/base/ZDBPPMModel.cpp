#include "engine/base/ZDBPPMModel.h"

#include <algorithm>
#include <utility>

namespace zdb {
namespace {

// Counts: a symbol seen again gains SymbolIncrement; a new one starts at InitialFreq.
// Counts are halved when one passes MaxFreq or a context's total passes MaxSummFreq,
// which keeps every total (with its escape) below the coder's MaxTotal and lets the model
// follow changes in the data.
constexpr uint32_t SymbolIncrement = 2;
constexpr uint16_t InitialFreq = 1;
constexpr uint32_t MaxFreq = 250;
constexpr uint32_t MaxSummFreq = 1u << 14;
static_assert(MaxSummFreq + 256 < RangeEncoder::MaxTotal, "a context's total must fit the coder");

constexpr unsigned SizeClassCount = 9;  // state arrays of 1, 2, 4 .. 256

unsigned SizeClassOf(uint32_t capacity) {
  unsigned sizeClass = 0;
  while ((1u << sizeClass) < capacity) ++sizeClass;
  return sizeClass;
}

// The capacity of an array holding count states: the next power of two.
uint32_t CapacityOf(uint32_t count) { return count == 0 ? 0 : 1u << SizeClassOf(count); }

}  // namespace

PPMModel::PPMModel(int maxOrder, size_t memoryBudget)
    : maxOrder_(std::clamp(maxOrder, 0, 16)), memoryBudget_(memoryBudget) {
  Restart();
}

void PPMModel::Restart() {
  contexts_.clear();
  states_.clear();
  for (auto& list : freeStates_) list.clear();
  contexts_.push_back({});  // index 0 stands for "no context"
  NewContext(0, NoContext);
  current_ = Root;
}

size_t PPMModel::MemoryUsed() const {
  return contexts_.size() * sizeof(Context) + states_.size() * sizeof(State);
}

void PPMModel::RestartIfFull() {
  // One symbol adds at most a context and a grown state array per order.
  const size_t worstStep = static_cast<size_t>(maxOrder_ + 2) * (sizeof(Context) + 2 * 256 * sizeof(State));
  if (MemoryUsed() + worstStep > memoryBudget_) Restart();
}

void PPMModel::BeginExclusion() {
  ++exclusionRound_;
  excludedCount_ = 0;
  if (exclusionRound_ == 0) {  // wrapped: old marks would look current
    excluded_.fill(0);
    exclusionRound_ = 1;
  }
}

void PPMModel::Exclude(uint8_t symbol) {
  if (Excluded(symbol)) return;
  excluded_[symbol] = exclusionRound_;
  ++excludedCount_;
}

uint32_t PPMModel::EscapeFreq(const Context& context) {
  // One count per distinct symbol the context has seen, whether or not it is excluded:
  // a context that has met many symbols is likely to meet another.
  return context.numStats;
}

void PPMModel::EncodeSymbol(RangeEncoder& encoder, uint8_t symbol) {
  RestartIfFull();
  BeginExclusion();
  Step step;
  uint32_t context = current_;
  for (;;) {
    const Context& node = contexts_[context];
    uint32_t total = 0, candidates = 0, cumFreq = 0, found = 0;
    bool isFound = false;
    for (uint32_t i = node.stats; i < node.stats + node.numStats; ++i) {
      const State& state = states_[i];
      if (Excluded(state.symbol)) continue;
      if (state.symbol == symbol) {
        isFound = true;
        found = i;
        cumFreq = total;
      }
      total += state.freq;
      ++candidates;
    }
    if (candidates > 0) {
      const uint32_t escape = EscapeFreq(node);
      if (isFound) {
        encoder.Encode(cumFreq, states_[found].freq, total + escape);
        step.foundContext = context;
        step.foundState = found;
        break;
      }
      encoder.Encode(total, escape, total + escape);
      for (uint32_t i = node.stats; i < node.stats + node.numStats; ++i) Exclude(states_[i].symbol);
    }
    step.missed[step.missedCount++] = context;
    if (node.order == 0) {
      uint32_t index = 0;
      for (uint32_t s = 0; s < symbol; ++s)
        if (!Excluded(static_cast<uint8_t>(s))) ++index;
      encoder.Encode(index, 1, 256 - excludedCount_);
      break;
    }
    context = node.suffix;
  }
  Update(symbol, step);
}

bool PPMModel::DecodeSymbol(RangeDecoder& decoder, uint8_t& symbol) {
  RestartIfFull();
  BeginExclusion();
  Step step;
  uint32_t context = current_;
  for (;;) {
    const Context& node = contexts_[context];
    uint32_t total = 0, candidates = 0;
    for (uint32_t i = node.stats; i < node.stats + node.numStats; ++i) {
      if (Excluded(states_[i].symbol)) continue;
      total += states_[i].freq;
      ++candidates;
    }
    if (candidates > 0) {
      const uint32_t escape = EscapeFreq(node);
      const uint32_t value = decoder.GetFreq(total + escape);
      if (decoder.Damaged()) return false;
      if (value < total) {
        uint32_t cumFreq = 0;
        for (uint32_t i = node.stats; i < node.stats + node.numStats; ++i) {
          const State& state = states_[i];
          if (Excluded(state.symbol)) continue;
          if (value < cumFreq + state.freq) {
            decoder.Decode(cumFreq, state.freq);
            symbol = state.symbol;
            step.foundContext = context;
            step.foundState = i;
            break;
          }
          cumFreq += state.freq;
        }
        break;
      }
      decoder.Decode(total, escape);
      for (uint32_t i = node.stats; i < node.stats + node.numStats; ++i) Exclude(states_[i].symbol);
    }
    step.missed[step.missedCount++] = context;
    if (node.order == 0) {
      const uint32_t value = decoder.GetFreq(256 - excludedCount_);
      if (decoder.Damaged()) return false;
      uint32_t index = 0;
      for (uint32_t s = 0; s < 256; ++s) {
        if (Excluded(static_cast<uint8_t>(s))) continue;
        if (index == value) {
          symbol = static_cast<uint8_t>(s);
          break;
        }
        ++index;
      }
      decoder.Decode(value, 1);
      break;
    }
    context = node.suffix;
  }
  if (decoder.Damaged()) return false;
  Update(symbol, step);
  return true;
}

void PPMModel::Update(uint8_t symbol, const Step& step) {
  int foundOrder = -1;
  if (step.foundContext != NoContext) {
    Context& node = contexts_[step.foundContext];
    foundOrder = node.order;
    uint32_t index = step.foundState;
    states_[index].freq = static_cast<uint16_t>(states_[index].freq + SymbolIncrement);
    node.summFreq += SymbolIncrement;
    // Keep frequent symbols near the front, where the searches start.
    if (index > node.stats && states_[index].freq > states_[index - 1].freq) {
      std::swap(states_[index], states_[index - 1]);
      --index;
    }
    if (states_[index].freq > MaxFreq || node.summFreq > MaxSummFreq) Rescale(node);
  }
  for (size_t i = 0; i < step.missedCount; ++i) AddState(step.missed[i], symbol);

  // The next context: one byte longer than the one that knew the symbol.
  const int nextOrder = std::min(foundOrder + 1, maxOrder_);
  if (nextOrder == 0) {
    current_ = Root;
    return;
  }
  uint32_t base = current_;
  while (contexts_[base].order > nextOrder - 1) base = contexts_[base].suffix;
  current_ = Successor(base, symbol);
}

void PPMModel::Rescale(Context& context) {
  context.summFreq = 0;
  for (uint32_t i = context.stats; i < context.stats + context.numStats; ++i) {
    states_[i].freq = static_cast<uint16_t>((states_[i].freq + 1) / 2);
    context.summFreq += states_[i].freq;
  }
}

void PPMModel::AddState(uint32_t context, uint8_t symbol) {
  const uint32_t count = contexts_[context].numStats;
  if (count == CapacityOf(count)) {
    const unsigned newClass = SizeClassOf(count + 1);
    const uint32_t stats = AllocateStates(newClass);
    Context& node = contexts_[context];
    if (count > 0) {
      std::copy_n(states_.begin() + node.stats, count, states_.begin() + stats);
      FreeStates(node.stats, SizeClassOf(count));
    }
    node.stats = stats;
  }
  Context& node = contexts_[context];
  states_[node.stats + count] = {symbol, InitialFreq, 0};
  node.numStats = static_cast<uint16_t>(count + 1);
  node.summFreq += InitialFreq;
}

uint32_t PPMModel::FindState(uint32_t context, uint8_t symbol) const {
  const Context& node = contexts_[context];
  for (uint32_t i = node.stats; i < node.stats + node.numStats; ++i)
    if (states_[i].symbol == symbol) return i;
  return UINT32_MAX;
}

uint32_t PPMModel::Successor(uint32_t context, uint8_t symbol) {
  const uint32_t index = FindState(context, symbol);
  // Every context has seen what its longer contexts have seen; should that ever fail,
  // the root is a safe place to go on from.
  if (index == UINT32_MAX) return Root;
  if (states_[index].successor != NoContext) return states_[index].successor;
  // Copies, not references: the recursion adds contexts and may move contexts_.
  const uint8_t order = contexts_[context].order;
  const uint32_t shorter = contexts_[context].suffix;
  const uint32_t suffix = order == 0 ? Root : Successor(shorter, symbol);
  const uint32_t successor = NewContext(static_cast<uint8_t>(order + 1), suffix);
  states_[index].successor = successor;
  return successor;
}

uint32_t PPMModel::NewContext(uint8_t order, uint32_t suffix) {
  contexts_.push_back({suffix, 0, 0, 0, order});
  return static_cast<uint32_t>(contexts_.size() - 1);
}

uint32_t PPMModel::AllocateStates(unsigned sizeClass) {
  auto& list = freeStates_[sizeClass];
  if (!list.empty()) {
    const uint32_t offset = list.back();
    list.pop_back();
    return offset;
  }
  const auto offset = static_cast<uint32_t>(states_.size());
  states_.resize(states_.size() + (size_t{1} << sizeClass));
  return offset;
}

void PPMModel::FreeStates(uint32_t offset, unsigned sizeClass) { freeStates_[sizeClass].push_back(offset); }

}  // namespace zdb
