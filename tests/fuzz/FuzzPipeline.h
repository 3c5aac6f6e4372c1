// What every mutant goes through, as the program and the tool meet a file: the open by
// the database component (multi-user, as the program connects), a full read of every
// table (every row in physical order and in the order of each index, every field, the
// large values whole, and backwards once), the integrity check of `zdb check`, and the
// component's repair (with a check of the file it leaves).
//
// A damaged file may make any step fail, but only with one of the engine's errors. Any
// other exception, a file left open in the process, or a step that never returns is a
// fault of the engine; crashes and sanitizer reports end the process that runs it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zdbfuzz {

struct TPipelineReport {
  // One word per step: "ok", "refused" (an engine error), "damaged" (check problems),
  // "replaced" / "kept" (the repair), "skipped".
  std::string Open, Read, Check, Repair;
  // The check of the file a repair left: "clean", "damaged" or "refused"; empty when the
  // repair did not replace the file.
  std::string Repaired;
  int64_t RowsRead = 0;
  // The engine's errors, one line each ("step: message"), for whoever looks into a case.
  std::vector<std::string> Refusals;
  // Faults of the engine, one line each; empty when every step ended cleanly.
  std::vector<std::string> Faults;

  std::string Summary() const;
};

// Runs the steps on the file at path (which the repair may replace).
TPipelineReport RunPipeline(const std::string& path);

}  // namespace zdbfuzz
