// What a commit found in the file before it wrote: the size, the header and the image of
// every existing page it overwrote, so that a commit that fails part way can put the
// file back exactly as it found it and leave its session whole for a retry.
//
// Contract: Begin before the commit's first write; Wants/Keep for every page the commit
// is about to change (the first image of a position is the one kept). Pages the
// committing session added itself are not kept: nobody else reads them, and a retry
// writes them again. The journal stays what protects the file from a crash; this only
// serves the process that is still alive.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "engine/file/ZDBFileLayout.h"

namespace zdb {

class TZDBCommitUndo {
 public:
  void Begin(int64_t fileSize, const std::array<uint8_t, layout::HeaderSize>& header,
             std::vector<int32_t> sessionNewPages) {
    fileSize_ = fileSize;
    header_ = header;
    sessionNewPages_ = std::move(sessionNewPages);
    std::sort(sessionNewPages_.begin(), sessionNewPages_.end());
    images_.clear();
  }

  bool Wants(int32_t pageNo, int64_t position, int64_t pageSize) const {
    return position + pageSize <= fileSize_ && images_.find(position) == images_.end() && !IsSessionNewPage(pageNo);
  }
  // A page the committing session added: it was free when the transaction began, so it
  // has no old content to keep, here or in the journal.
  bool IsSessionNewPage(int32_t pageNo) const {
    return std::binary_search(sessionNewPages_.begin(), sessionNewPages_.end(), pageNo);
  }
  void Keep(int64_t position, std::vector<uint8_t> image) { images_.emplace(position, std::move(image)); }

  int64_t FileSize() const { return fileSize_; }
  const std::array<uint8_t, layout::HeaderSize>& Header() const { return header_; }
  const std::map<int64_t, std::vector<uint8_t>>& Images() const { return images_; }

 private:
  int64_t fileSize_ = 0;
  std::array<uint8_t, layout::HeaderSize> header_{};
  std::vector<int32_t> sessionNewPages_;  // sorted
  std::map<int64_t, std::vector<uint8_t>> images_;
};

}  // namespace zdb
