// A large value on a page chain of its own (BLOB pages, type 11).
//
// Head page: the value header at offset 0 (its BlobID bytes reserved), the locator at
// offset 22 and the first value bytes from offset 32 to the end of the data area. The
// value goes on over further data pages, each filled from offset 0. After the last value
// byte (on the same page, or at offset 0 of a new page when fewer than 4 bytes are left
// there) follows the list of all data pages in order, the head first, 4 bytes each; a
// list that does not fit goes on at offset 0 of a further page named in the NextPageNo
// of the page before. Only the list joins the pages: data pages keep NextPageNo -1 unless
// the list continues from them.
//
// Reading and freeing first check the whole chain: the size and the page count must
// agree, the locator must point where the value ends, the list must name the head first
// and each page once, and every page must be one of the table's BLOB pages. Anything else
// is damage (20291) and leaves the pages as they are.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/table/ZDBBlobLayout.h"
#include "engine/table/ZDBBlobPages.h"

namespace zdb {

class TZDBBlobChain {
 public:
  struct Layout {
    TZDBBlobValueHeader Header;
    std::vector<int32_t> DataPages;  // the head first
    std::vector<int32_t> ListPages;  // the first may be the last data page
  };

  explicit TZDBBlobChain(const TZDBBlobPages& pages) : pages_(pages) {}

  // Writes a new chain for the value (header.ValueSize bytes) and answers its head page.
  int32_t Write(int32_t session, const TZDBBlobValueHeader& header, const uint8_t* bytes) const;
  // The checked chain that starts at the head page; with checkDataPages every data page
  // is fetched and checked as well.
  Layout Inspect(int32_t session, int32_t headPageNo, bool checkDataPages = true) const;
  void Read(int32_t session, int32_t headPageNo, TZDBBlobValueHeader& header, std::vector<uint8_t>& bytes) const;
  // Frees every data page and every list page, each once.
  void Free(int32_t session, int32_t headPageNo) const;

  // Whether the page, read as a chain head, has a page count c and a size s with
  // (c - 2) x PageDataSize < s < c x PageDataSize.
  bool LooksLikeHead(int32_t session, int32_t pageNo) const;

  // Data pages of a value of that size.
  static int64_t DataPageCount(int64_t valueSize, int32_t pageDataSize);

 private:
  const TZDBBlobPages& pages_;
};

}  // namespace zdb
