// What the record manager needs to know of the table whose rows it keeps: which table
// its record pages must name as their owner, and when pages are taken without the check.
// The table data implements it.
#pragma once

#include <cstdint>

namespace zdb {

class TZDBRecordPageOwner {
 public:
  virtual ~TZDBRecordPageOwner() = default;
  // Written into, and expected in, OwnerObjectID of every record page of the table.
  virtual int32_t TableObjectID() const = 0;
  // True while a page reached through a RecordID is taken as it is: while a repair runs
  // for the session, and in files written before the page header carried owners (format
  // version below 2.99).
  virtual bool TrustsRecordPages(int32_t session) const = 0;
};

}  // namespace zdb
