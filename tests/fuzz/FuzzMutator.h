// Damage of the kinds a database file meets, applied to copies of a sound file: bytes
// flipped, whole pages overwritten (garbage, zeros, another page), the file cut short,
// and the counts and page numbers that readers trust (file header, page headers, the
// first fields of a page's data area) set to extremes, beyond the end or into loops.
//
// Deterministic: a mutant depends only on the original bytes, the seed and the
// iteration, so a failing case is made again from the numbers printed with it.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zdbfuzz {

using Bytes = std::vector<uint8_t>;

class TFuzzMutator {
 public:
  explicit TFuzzMutator(Bytes original);

  // The mutant of this seed and iteration; what was done is described in `done`.
  Bytes Mutate(uint64_t seed, uint64_t iteration, std::string& done) const;

 private:
  struct Context;
  void MutateOnce(Context& context) const;

  Bytes original_;
  int64_t pageAreaStart_;
  int64_t pageSize_;
  int32_t pageCount_;
};

}  // namespace zdbfuzz
