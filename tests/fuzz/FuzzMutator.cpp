#include "tests/fuzz/FuzzMutator.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <limits>
#include <map>
#include <utility>

#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBPage.h"

namespace zdbfuzz {
namespace {

namespace layout = zdb::layout;
using zdb::TZDBPage;

// The first bytes of a page's data area hold the counts its readers go by (rows on a
// record page, keys on an index page, an internal file's sizes).
constexpr int64_t DataCountArea = 64;
constexpr int MaxStackedMutations = 4;
constexpr int MaxFlippedBytes = 16;

// Fields of the file's prologue: position and width.
struct TField {
  int64_t Offset;
  int Width;
};
constexpr TField PrologueFields[] = {
    {layout::HeaderSizeOffset, 2},
    {layout::HeaderFormatVersionOffset, 8},
    {layout::HeaderPageSizeOffset, 2},
    {layout::HeaderPagesPerExtentOffset, 2},
    {layout::HeaderTotalPageCountOffset, 4},
    {layout::HeaderLastUsedPageNoOffset, 4},
    {layout::HeaderCommitCounterOffset, 4},
    {layout::HeaderWriteStateOffset, 1},
    {layout::HeaderEncryptedOffset, 1},
    {layout::DefaultEncryptionRecordPosition + layout::EncRecordSizeOffset, 2},
    {layout::DefaultEncryptionRecordPosition + layout::EncCipherCodeOffset, 1},
    {layout::DefaultLockAreaPosition + layout::LockAreaSizeOffset, 2},
    {layout::DefaultObjectIDCounterPosition, 4},
};
constexpr TField PageHeaderFields[] = {
    {TZDBPage::PageTagOffset, 4},       {TZDBPage::PageVersionOffset, 4},   {TZDBPage::PageTypeOffset, 2},
    {TZDBPage::NextPageNoOffset, 4},    {TZDBPage::DataCRCOffset, 4},       {TZDBPage::PageCipherCodeOffset, 1},
    {TZDBPage::OwnerObjectIDOffset, 4}, {TZDBPage::ReservedMinusOneOffset, 4},
};

enum class TKind { FlipBytes, FlipPageStart, PageGarbage, PageZeros, PageCopy, CutShort, PrologueExtreme,
                   PageHeaderExtreme, DataCountExtreme, ChainLoop };
constexpr TKind Kinds[] = {TKind::FlipBytes,       TKind::FlipPageStart,     TKind::PageGarbage,
                           TKind::PageZeros,       TKind::PageCopy,          TKind::CutShort,
                           TKind::PrologueExtreme, TKind::PrologueExtreme,   TKind::PageHeaderExtreme,
                           TKind::PageHeaderExtreme, TKind::DataCountExtreme, TKind::DataCountExtreme,
                           TKind::DataCountExtreme, TKind::ChainLoop};

// One generator per (seed, iteration), mixed so that neighbouring iterations differ wholly.
uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

}  // namespace

struct TFuzzMutator::Context {
  std::mt19937_64 random;
  Bytes bytes;
  std::string done;

  uint64_t Below(uint64_t bound) { return bound == 0 ? 0 : random() % bound; }
  bool OneIn(uint64_t n) { return Below(n) == 0; }
  void Note(const std::string& text) { done += (done.empty() ? "" : "; ") + text; }
};

TFuzzMutator::TFuzzMutator(Bytes original) : original_(std::move(original)) {
  pageAreaStart_ = layout::DefaultPageAreaStart;
  pageSize_ = zdb::le::GetU16(original_.data() + layout::HeaderPageSizeOffset);
  pageCount_ = static_cast<int32_t>((static_cast<int64_t>(original_.size()) - pageAreaStart_) / pageSize_);
}

Bytes TFuzzMutator::Mutate(uint64_t seed, uint64_t iteration, std::string& done) const {
  Context context{std::mt19937_64(Mix(Mix(seed) ^ iteration)), original_, {}};
  const int count = context.OneIn(2) ? 1 : 2 + static_cast<int>(context.Below(MaxStackedMutations - 1));
  for (int i = 0; i < count && !context.bytes.empty(); ++i) MutateOnce(context);
  done = context.done;
  return std::move(context.bytes);
}

void TFuzzMutator::MutateOnce(Context& c) const {
  Bytes& bytes = c.bytes;
  const auto size = static_cast<int64_t>(bytes.size());
  const int32_t pages = static_cast<int32_t>(std::max<int64_t>(0, (size - pageAreaStart_) / pageSize_));
  const auto pageStart = [&](int32_t pageNo) { return pageAreaStart_ + pageNo * pageSize_; };
  const auto get = [&](int64_t offset, int width) {
    uint64_t value = 0;
    for (int b = 0; b < width && offset + b < size; ++b)
      value |= static_cast<uint64_t>(bytes[static_cast<size_t>(offset + b)]) << (8 * b);
    return value;
  };
  // Half the time a page of a type picked first, so that the few pages of the rare types
  // (directory, table list, metadata) are damaged as often as the many record pages.
  const auto somePage = [&] {
    const auto any = static_cast<int32_t>(c.Below(static_cast<uint64_t>(pages)));
    if (c.OneIn(2)) return any;
    std::map<uint16_t, std::vector<int32_t>> byType;
    for (int32_t p = 0; p < pages; ++p)
      byType[static_cast<uint16_t>(get(pageStart(p) + TZDBPage::PageTypeOffset, 2))].push_back(p);
    auto type = byType.begin();
    std::advance(type, static_cast<long>(c.Below(byType.size())));
    return type->second[c.Below(type->second.size())];
  };
  // A value that readers trust too much: the edges of the type, page numbers around the
  // end of the file, or anything at all.
  const auto extreme = [&](int width) -> uint64_t {
    const uint64_t all = width >= 8 ? ~0ull : (1ull << (8 * width)) - 1;
    const uint64_t values[] = {0,
                               1,
                               all,
                               all - 1,
                               all >> 1,
                               (all >> 1) + 1,
                               static_cast<uint64_t>(pageCount_ - 1),
                               static_cast<uint64_t>(pageCount_),
                               static_cast<uint64_t>(pageCount_) + 1,
                               static_cast<uint64_t>(pageCount_) * 2,
                               c.Below(static_cast<uint64_t>(pageCount_)),
                               c.random()};
    return values[c.Below(std::size(values))] & all;
  };
  const auto put = [&](int64_t offset, int width, uint64_t value) {
    for (int b = 0; b < width && offset + b < size; ++b)
      bytes[static_cast<size_t>(offset + b)] = static_cast<uint8_t>(value >> (8 * b));
  };
  const auto hex = [](uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return std::string(text);
  };

  const TKind kind = Kinds[c.Below(std::size(Kinds))];
  if (pages == 0 && kind != TKind::FlipBytes && kind != TKind::CutShort && kind != TKind::PrologueExtreme) {
    c.Note("nothing (no pages left)");
    return;
  }
  switch (kind) {
    case TKind::FlipBytes: {
      const int n = 1 + static_cast<int>(c.Below(MaxFlippedBytes));
      c.Note("flip " + std::to_string(n) + " bytes anywhere");
      for (int i = 0; i < n; ++i)
        bytes[c.Below(static_cast<uint64_t>(size))] ^= static_cast<uint8_t>(1 + c.Below(255));
      break;
    }
    case TKind::FlipPageStart: {
      const int32_t pageNo = somePage();
      const int n = 1 + static_cast<int>(c.Below(MaxFlippedBytes / 2));
      c.Note("flip " + std::to_string(n) + " bytes at the start of page " + std::to_string(pageNo));
      for (int i = 0; i < n; ++i) {
        const int64_t at = pageStart(pageNo) + static_cast<int64_t>(c.Below(layout::PageHeaderSize + DataCountArea));
        if (at < size) bytes[static_cast<size_t>(at)] ^= static_cast<uint8_t>(1 << c.Below(8));
      }
      break;
    }
    case TKind::PageGarbage:
    case TKind::PageZeros: {
      const int32_t pageNo = somePage();
      // Garbage may keep the page header, so that readers get past the type check.
      const bool keepHeader = kind == TKind::PageGarbage && c.OneIn(2);
      c.Note(std::string(kind == TKind::PageZeros ? "zeros over page " : "garbage over page ") +
             std::to_string(pageNo) + (keepHeader ? " after its header" : ""));
      for (int64_t i = keepHeader ? layout::PageHeaderSize : 0; i < pageSize_; ++i) {
        const int64_t at = pageStart(pageNo) + i;
        if (at < size) bytes[static_cast<size_t>(at)] = kind == TKind::PageZeros ? 0 : static_cast<uint8_t>(c.random());
      }
      break;
    }
    case TKind::PageCopy: {
      const int32_t from = somePage();
      const int32_t to = somePage();
      c.Note("page " + std::to_string(from) + " copied over page " + std::to_string(to));
      if (pageStart(from) + pageSize_ <= size && pageStart(to) + pageSize_ <= size)
        std::copy_n(bytes.begin() + pageStart(from), pageSize_, bytes.begin() + pageStart(to));
      break;
    }
    case TKind::CutShort: {
      // At a page boundary (a file that lost its last pages) or anywhere.
      int64_t length = static_cast<int64_t>(c.Below(static_cast<uint64_t>(size)));
      if (pages > 0 && c.OneIn(2)) length = pageStart(somePage());
      c.Note("cut short to " + std::to_string(length) + " bytes");
      bytes.resize(static_cast<size_t>(length));
      break;
    }
    case TKind::PrologueExtreme: {
      const TField field = PrologueFields[c.Below(std::size(PrologueFields))];
      const uint64_t value = extreme(field.Width);
      c.Note("prologue byte " + std::to_string(field.Offset) + " (" + std::to_string(field.Width) +
             " bytes) set to " + hex(value));
      put(field.Offset, field.Width, value);
      break;
    }
    case TKind::PageHeaderExtreme: {
      const int32_t pageNo = somePage();
      const TField field = PageHeaderFields[c.Below(std::size(PageHeaderFields))];
      uint64_t value = extreme(field.Width);
      // A type the engine knows, so that a reader accepts the page for something it is not.
      if (field.Offset == static_cast<int64_t>(TZDBPage::PageTypeOffset) && c.OneIn(2)) value = c.Below(13);
      c.Note("page " + std::to_string(pageNo) + " header byte " + std::to_string(field.Offset) + " set to " +
             hex(value));
      put(pageStart(pageNo) + field.Offset, field.Width, value);
      break;
    }
    case TKind::DataCountExtreme: {
      const int32_t pageNo = somePage();
      const int widths[] = {1, 2, 4, 4};
      const int width = widths[c.Below(std::size(widths))];
      // Mostly where the fields of the page's structures start (sizes right after a
      // one-byte header, counts at the start, page numbers on 4-byte steps).
      const int64_t starts[] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 14, 16, 20, 24};
      const int64_t offset = layout::PageHeaderSize + (c.OneIn(3) ? static_cast<int64_t>(c.Below(DataCountArea))
                                                                  : starts[c.Below(std::size(starts))]);
      const uint64_t value = extreme(width);
      c.Note("page " + std::to_string(pageNo) + " byte " + std::to_string(offset) + " (" + std::to_string(width) +
             " bytes) set to " + hex(value));
      put(pageStart(pageNo) + offset, width, value);
      break;
    }
    case TKind::ChainLoop: {
      // A page that links to another is sent back to a page of the same type (itself
      // included), which makes a chain run in a circle.
      std::vector<int32_t> linked;
      for (int32_t p = 0; p < pages; ++p) {
        const auto next = static_cast<int32_t>(get(pageStart(p) + TZDBPage::NextPageNoOffset, 4));
        if (next >= 0 && next < pages) linked.push_back(p);
      }
      if (linked.empty()) {
        c.Note("no chain to loop");
        break;
      }
      const int32_t pageNo = linked[c.Below(linked.size())];
      const uint64_t type = get(pageStart(pageNo) + TZDBPage::PageTypeOffset, 2);
      std::vector<int32_t> sameType;
      for (int32_t p = 0; p <= pageNo; ++p)
        if (get(pageStart(p) + TZDBPage::PageTypeOffset, 2) == type) sameType.push_back(p);
      const int32_t target = sameType[c.Below(sameType.size())];
      c.Note("page " + std::to_string(pageNo) + " links back to page " + std::to_string(target));
      put(pageStart(pageNo) + TZDBPage::NextPageNoOffset, 4, static_cast<uint32_t>(target));
      break;
    }
  }
}

}  // namespace zdbfuzz
