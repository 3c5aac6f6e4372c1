// The bytes of a database file as they stood before a change that was cut short, for a
// reader that may not put them back (no write access to the file or to its journal).
//
// A dead writer's journal holds the old image of every page its transaction overwrote,
// and the file's header and size as they were. Laid over the file's own bytes, they show
// the last committed state without a byte written. The overlay holds only while the
// file's header stays as it was when the overlay was made (the guard): once a process
// with write access has rolled the change back, or anything else changed the header, the
// file itself is the truth again and the overlay is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace zdb {

class TZDBReadOverlay {
 public:
  // fileSize: the size the file had; guard: the header bytes at guardPosition as they
  // are now, while the change is still cut short.
  TZDBReadOverlay(int64_t fileSize, int64_t guardPosition, std::vector<uint8_t> guard);

  // Bytes to show at position in place of the file's; a later range over the same bytes
  // is not expected (a journal holds each page once) and replaces the earlier one.
  void Add(int64_t position, std::vector<uint8_t> bytes);

  int64_t FileSize() const { return fileSize_; }
  int64_t GuardPosition() const { return guardPosition_; }
  const std::vector<uint8_t>& Guard() const { return guard_; }

  // Copies the overlay's bytes that fall into [position, position + count) over buffer,
  // which holds the file's bytes for that range.
  void Apply(uint8_t* buffer, int64_t position, size_t count) const;

 private:
  int64_t fileSize_;
  int64_t guardPosition_;
  std::vector<uint8_t> guard_;
  std::map<int64_t, std::vector<uint8_t>> ranges_;  // by position; ranges do not overlap
};

}  // namespace zdb
