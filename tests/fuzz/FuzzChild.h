// Runs one mutant's pipeline in a child process, so that a crash, a sanitizer report, a
// hang or a runaway allocation is seen and the run goes on: the child is killed when it
// outlives its time or its memory bound.
#pragma once

#include <cstdint>
#include <string>

namespace zdbfuzz {

struct TChildOutcome {
  enum class TKind { Clean, Fault, Crash, Hang, Memory };
  TKind Kind = TKind::Crash;
  // The pipeline's one-line summary, or what ended the child.
  std::string Summary;
  // Everything the child wrote on its standard error (sanitizer reports, fault lines).
  std::string Output;

  bool IsClean() const { return Kind == TKind::Clean; }
  static const char* KindName(TKind kind);
};

struct TChildLimits {
  int TimeoutSeconds = 30;
  int64_t MemoryMegabytes = 2048;
};

// The pipeline on the file at path, in a child; scratch is a folder for the child's output.
TChildOutcome RunPipelineInChild(const std::string& path, const std::string& scratch, const TChildLimits& limits);

}  // namespace zdbfuzz
