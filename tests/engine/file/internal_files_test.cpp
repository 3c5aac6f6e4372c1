// Internal files: the transacted flavour over an in-memory page store (page size 256, so
// a data area of 216 bytes) and the direct flavour over a real database file.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBEndian.h"
#include "engine/file/ZDBDatabaseFreeSpaceManager.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBInternalDBDirectAccessFile.h"
#include "engine/file/ZDBInternalDBTransactedAccessFile.h"
#include "engine/file/ZDBInternalFileHeader.h"
#include "engine/file/ZDBPage.h"
#include "engine/file/ZDBPageTypes.h"
#include "support/DiskTestSupport.h"
#include "support/MemoryPageManager.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::MemoryPageManager;
using test::Raised;

constexpr int32_t System = TZDBPageManager::SystemSession;
constexpr uint16_t MetaData = PageTypeCode(TZDBPageType::TableMetaData);
constexpr uint16_t TableLocks = PageTypeCode(TZDBPageType::TableLocks);

std::vector<uint8_t> Pattern(size_t size, uint32_t seed = 1) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 131 + seed * 7 + (i >> 8)) & 0xFF);
  return bytes;
}

std::vector<uint8_t> Text(size_t size) {
  const std::string words = "el complemento por demora se calcula sobre la pension inicial ";
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(words[i % words.size()]);
  return bytes;
}

// --- transacted ----------------------------------------------------------------------------------

class TransactedFile : public testing::Test {
 protected:
  int32_t D() const { return store_.PageDataSize(); }

  // The committed chain as the store holds it.
  std::vector<int32_t> StoredChain(int32_t start) const {
    std::vector<int32_t> chain;
    for (int32_t page = start; page != -1 && chain.size() < 100;
         page = le::GetI32(store_.store.at(page).data() + TZDBPage::NextPageNoOffset))
      chain.push_back(page);
    return chain;
  }
  uint8_t* StoredPage(int32_t pageNo) { return store_.store.at(pageNo).data(); }
  // Changes committed bytes of a page (offset into the whole page) behind the file's back.
  void Patch(int32_t pageNo, size_t offset, const std::function<void(uint8_t*)>& change) {
    {
      TZDBPageRef page(store_, System, pageNo, false, TZDBPageManager::AnyPageType);
      change(page->Buffer() + offset);
      page->MarkDirty();
    }
    store_.ApplyChanges(System);
  }

  void Write(const std::vector<uint8_t>& content, uint8_t algorithm = 0, uint8_t level = 0) {
    file_.WriteFile(System, content.data(), level, algorithm, static_cast<int32_t>(content.size()));
    store_.ApplyChanges(System);
  }
  std::vector<uint8_t> ReadBack(bool fresh = true) {
    TZDBInternalDBTransactedAccessFile reader(store_, MetaData);
    reader.Open(file_.StartPageNo());
    return (fresh ? reader : file_).ReadAll(System);
  }

  MemoryPageManager store_{1000, 256};
  TZDBInternalDBTransactedAccessFile file_{store_, MetaData};
};

TEST_F(TransactedFile, SizesAroundPageBoundariesTakeTheRightNumberOfPages) {
  file_.Create(System);
  store_.ApplyChanges(System);
  const struct {
    int32_t size;
    size_t pages;
  } cases[] = {
      {0, 1}, {1, 1}, {D() - 10, 1}, {D() - 9, 2}, {2 * D() - 10, 2}, {2 * D() - 9, 3}, {5 * D(), 6},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> content = Pattern(static_cast<size_t>(c.size), static_cast<uint32_t>(c.size));
    Write(content);
    EXPECT_EQ(StoredChain(file_.StartPageNo()).size(), c.pages) << c.size;
    const TZDBInternalFileSize size = file_.GetSize(System);
    EXPECT_EQ(size.StoredSize, c.size);
    EXPECT_EQ(size.FileSize, c.size);
    EXPECT_EQ(size.Algorithm, 0);
    EXPECT_EQ(ReadBack(), content) << c.size;
  }
  // Growing and shrinking through every size left no page behind.
  EXPECT_EQ(store_.allocated.size(), 6u);
}

TEST_F(TransactedFile, HeaderAndContentBytesLieWhereTheLayoutSays) {
  file_.Create(System);
  const std::vector<uint8_t> content = Pattern(static_cast<size_t>(D()) + 5);
  file_.WriteFile(System, content.data(), 0, 0, static_cast<int32_t>(content.size()));
  store_.ApplyChanges(System);

  const uint8_t* first = StoredPage(file_.StartPageNo()) + store_.PageHeaderSize();
  EXPECT_EQ(first[0], 10);
  EXPECT_EQ(le::GetI32(first + 1), D() + 5);
  EXPECT_EQ(le::GetI32(first + 5), D() + 5);
  EXPECT_EQ(first[9], 0);
  EXPECT_EQ(0, std::memcmp(first + 10, content.data(), static_cast<size_t>(D()) - 10));
  const std::vector<int32_t> chain = StoredChain(file_.StartPageNo());
  ASSERT_EQ(chain.size(), 2u);
  const uint8_t* second = StoredPage(chain[1]) + store_.PageHeaderSize();
  EXPECT_EQ(0, std::memcmp(second, content.data() + D() - 10, 15));
  EXPECT_EQ(le::GetU16(StoredPage(chain[1]) + TZDBPage::PageTypeOffset), MetaData);

  // GetSize tells whether this call had to read the first page from the store.
  MemoryPageManager fresh(1000, 256);
  fresh.store = store_.store;
  fresh.allocated = store_.allocated;
  TZDBInternalDBTransactedAccessFile reader(fresh, MetaData);
  reader.Open(file_.StartPageNo());
  EXPECT_TRUE(reader.GetSize(System).ReadFromFile);
  EXPECT_FALSE(reader.GetSize(System).ReadFromFile);
}

TEST_F(TransactedFile, CompressedContentRoundTripsWithEveryAlgorithm) {
  file_.Create(System);
  const std::vector<uint8_t> content = Text(5000);
  for (uint8_t algorithm : {CompressionZlib, CompressionBzip, CompressionPPM}) {
    for (uint8_t level : {uint8_t{1}, uint8_t{6}, uint8_t{9}}) {
      Write(content, algorithm, level);
      const TZDBInternalFileSize size = file_.GetSize(System);
      EXPECT_EQ(size.Algorithm, algorithm);
      EXPECT_EQ(size.FileSize, 5000);
      EXPECT_LT(size.StoredSize, 5000) << int(algorithm);
      EXPECT_EQ(ReadBack(), content) << int(algorithm) << "/" << int(level);
      // A prefix is read from the decompressed content.
      std::vector<uint8_t> prefix(300);
      file_.ReadFile(System, prefix.data(), true, 300);
      EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), content.begin()));
    }
  }
  // An empty content needs no compressor.
  Write({}, CompressionZlib, 6);
  EXPECT_EQ(file_.GetSize(System).Algorithm, 0);
  EXPECT_TRUE(ReadBack().empty());
}

TEST_F(TransactedFile, ShrinkingThenGrowingKeepsEveryContentByteReachable) {
  file_.Create(System);
  Write(Pattern(4 * static_cast<size_t>(D()), 1));  // 5 pages
  Write(Pattern(20, 2));                              // back to 1: 4 pages freed at commit
  EXPECT_EQ(store_.frees.size(), 4u);
  EXPECT_EQ(StoredChain(file_.StartPageNo()).size(), 1u);
  const std::vector<uint8_t> grown = Pattern(3 * static_cast<size_t>(D()), 3);
  Write(grown);
  EXPECT_EQ(ReadBack(), grown);
  EXPECT_EQ(StoredChain(file_.StartPageNo()).size(), 4u);
  EXPECT_EQ(store_.allocated.size(), 4u);

  // A chain kept longer than its size (as a file written elsewhere may have it) is used
  // again when the file grows, not leaked.
  Patch(file_.StartPageNo(), store_.PageHeaderSize() + 1, [](uint8_t* sizes) {
    le::PutI32(sizes, 5);
    le::PutI32(sizes + 4, 5);
  });
  const size_t allocatedBefore = store_.allocated.size();
  const std::vector<uint8_t> again = Pattern(2 * static_cast<size_t>(D()), 4);
  TZDBInternalDBTransactedAccessFile reopened(store_, MetaData);
  reopened.Open(file_.StartPageNo());
  reopened.WriteFile(System, again.data(), 0, 0, static_cast<int32_t>(again.size()));
  store_.ApplyChanges(System);
  EXPECT_EQ(store_.allocated.size(), allocatedBefore - 1);  // the fourth page was not needed
  EXPECT_EQ(ReadBack(), again);
}

TEST_F(TransactedFile, RollbackLeavesTheCommittedContent) {
  file_.Create(System);
  const std::vector<uint8_t> committed = Pattern(100);
  Write(committed);
  const std::vector<uint8_t> discarded = Pattern(3 * static_cast<size_t>(D()), 9);
  file_.WriteFile(System, discarded.data(), 0, 0, static_cast<int32_t>(discarded.size()));
  store_.CancelChanges(System);
  EXPECT_EQ(ReadBack(false), committed);
  EXPECT_EQ(store_.allocated.size(), 1u);
}

TEST_F(TransactedFile, DeleteGivesEveryPageBack) {
  file_.Create(System);
  Write(Pattern(3 * static_cast<size_t>(D())));
  file_.Delete(System);
  store_.ApplyChanges(System);
  EXPECT_FALSE(file_.IsOpen());
  EXPECT_TRUE(store_.allocated.empty());
}

TEST_F(TransactedFile, ClosedAndMisusedFilesRaiseTheirErrors) {
  uint8_t byte = 0;
  const struct {
    const char* operation;
    std::function<void()> call;
  } closed[] = {
      {"Delete", [&] { file_.Delete(System); }},
      {"GetSize", [&] { file_.GetSize(System); }},
      {"SetSize", [&] { file_.SetSize(System, 1, 0, 1); }},
      {"ReadFile", [&] { file_.ReadFile(System, &byte, true, 1); }},
      {"WriteFile", [&] { file_.WriteFile(System, &byte, 0, 0, 1); }},
      {"GetChainPage", [&] { file_.GetChainPage(System, 0); }},
  };
  for (const auto& c : closed) {
    const auto raised = Raised(c.call);
    EXPECT_EQ(raised.code, 30389) << c.operation;
    EXPECT_EQ(raised.text, ErrorText(std::string("Cannot perform this operation (") + c.operation +
                                         ") on closed internal file",
                                     30389));
  }

  file_.Open(-1);  // ignored
  EXPECT_FALSE(file_.IsOpen());
  file_.Create(System);
  const int32_t start = file_.StartPageNo();
  EXPECT_EQ(Raised([&] { file_.Create(System); }).text,
            ErrorText("Cannot create Internal file. File already exists. StartPageNo=" + std::to_string(start), 30383));
  file_.WriteFile(System, "abc", 0, 0, 3);
  EXPECT_EQ(Raised([&] { file_.WriteFile(System, "abc", 0, 0, -1); }).text,
            ErrorText("Cannot write after end of file. FileSize=3. Position=0, Count=-1", 20158));
  std::vector<uint8_t> four(4);
  EXPECT_EQ(Raised([&] { file_.ReadFile(System, four.data(), true, 4); }).text,
            ErrorText("Cannot Read internal file. FileSize=3. ReadSize=4", 30387));
}

TEST_F(TransactedFile, DamagedChainsGiveEngineErrors) {
  file_.Create(System);
  const std::vector<uint8_t> content = Pattern(3 * static_cast<size_t>(D()));
  Write(content);
  const std::vector<int32_t> chain = StoredChain(file_.StartPageNo());
  ASSERT_EQ(chain.size(), 4u);

  const auto readAll = [&] {
    return Raised([&] { ReadBack(); });
  };
  const auto setNext = [&](int32_t pageNo, int32_t next) {
    Patch(pageNo, TZDBPage::NextPageNoOffset, [next](uint8_t* at) { le::PutI32(at, next); });
  };

  // The second page's link lost: the chain ends before the size.
  setNext(chain[1], -1);
  const auto ended = readAll();
  EXPECT_EQ(ended.text,
            ErrorText("Cannot Read % bytes from internal file. FileSize=%d. ReadSize=%d, Count=%d Arguments are "
                      "invalid!",
                      30388));
  EXPECT_EQ(Raised([&] { file_.GetChainPage(System, 3); }).text,
            ErrorText("Error getting 3-th table file page. Probably database is corrupted and needs repair.", 20300));
  EXPECT_EQ(Raised([&] { file_.GetChainPage(System, -1); }).code, 20300);
  setNext(chain[1], chain[2]);
  EXPECT_EQ(ReadBack(), content);

  // A link to a page of another type; its pages are never given back for this file.
  Patch(chain[2], TZDBPage::PageTypeOffset, [](uint8_t* at) { le::PutU16(at, 10); });
  EXPECT_EQ(readAll().text, ErrorText("Invalid page type. Possible data corruption. Expecting type 8, but found 10", 20153));
  EXPECT_EQ(Raised([&] { file_.Delete(System); }).code, 20153);
  store_.CancelChanges(System);
  Patch(chain[2], TZDBPage::PageTypeOffset, [](uint8_t* at) { le::PutU16(at, MetaData); });

  // A link to a page that does not exist.
  setNext(chain[1], 777);
  EXPECT_EQ(readAll().code, 20299);

  // A link back into the chain: writing stops at it, deleting gives each page back once.
  setNext(chain[1], chain[0]);
  EXPECT_EQ(Raised([&] { file_.WriteFile(System, content.data(), 0, 0, static_cast<int32_t>(content.size())); }).code,
            20300);
  store_.CancelChanges(System);
  const size_t allocated = store_.allocated.size();
  TZDBInternalDBTransactedAccessFile looped(store_, MetaData);
  looped.Open(chain[0]);
  looped.Delete(System);
  store_.ApplyChanges(System);
  EXPECT_EQ(store_.allocated.size(), allocated - 2);
}

TEST_F(TransactedFile, StoredBytesThatDoNotDecompressGiveTheTableFileError) {
  file_.Create(System);
  Write(Text(3000), CompressionZlib, 6);
  Patch(file_.StartPageNo(), store_.PageHeaderSize() + 12, [](uint8_t* stored) {
    for (int i = 0; i < 30; ++i) stored[i] ^= 0x5A;
  });
  EXPECT_EQ(Raised([&] { ReadBack(); }).text,
            ErrorText("Table file decompression error. Possible table corruption", 20189));
}

TEST_F(TransactedFile, SizesTheChainCannotHoldAreRefusedAsAShortChain) {
  file_.Create(System);
  const std::vector<uint8_t> plain = Pattern(3 * static_cast<size_t>(D()));
  Write(plain);
  const std::vector<int32_t> chain = StoredChain(file_.StartPageNo());
  const auto setHeader = [&](size_t field, int32_t value) {
    Patch(file_.StartPageNo(), store_.PageHeaderSize() + field, [value](uint8_t* at) { le::PutI32(at, value); });
  };
  constexpr int32_t Huge = std::numeric_limits<int32_t>::max();

  // Sizes far beyond the chain: refused once the chain ends, not allocated first.
  setHeader(internalfile::StoredSizeOffset, Huge);
  setHeader(internalfile::FileSizeOffset, Huge);
  EXPECT_EQ(Raised([&] { ReadBack(); }).code, 30388);

  // A last page that links back to the first: the chain is as short as the pages it passes.
  Patch(chain.back(), TZDBPage::NextPageNoOffset, [&](uint8_t* at) { le::PutI32(at, chain.front()); });
  EXPECT_EQ(Raised([&] { ReadBack(); }).code, 30388);
  std::vector<uint8_t> buffer(4 * static_cast<size_t>(D()));  // beyond the last page, into the loop
  EXPECT_EQ(Raised([&] { file_.ReadFile(System, buffer.data(), true, static_cast<int32_t>(buffer.size())); }).code,
            30388);

  // Compressed: a stored size beyond the chain, or a content size beyond what the bytes give.
  TZDBInternalDBTransactedAccessFile packed(store_, MetaData);
  packed.Create(System);
  const std::vector<uint8_t> text = Text(3000);
  packed.WriteFile(System, text.data(), 6, CompressionZlib, static_cast<int32_t>(text.size()));
  store_.ApplyChanges(System);
  const auto readPacked = [&] { return Raised([&] { packed.ReadAll(System); }).code; };
  const auto setPacked = [&](size_t field, int32_t value) {
    Patch(packed.StartPageNo(), store_.PageHeaderSize() + field, [value](uint8_t* at) { le::PutI32(at, value); });
  };
  const int32_t stored = packed.GetSize(System).StoredSize;
  setPacked(internalfile::StoredSizeOffset, Huge);
  EXPECT_EQ(readPacked(), 30388);
  setPacked(internalfile::StoredSizeOffset, stored);
  setPacked(internalfile::FileSizeOffset, Huge);
  EXPECT_EQ(readPacked(), 20189);
  setPacked(internalfile::FileSizeOffset, static_cast<int32_t>(text.size()));
  EXPECT_EQ(packed.ReadAll(System), text);
}

// --- direct --------------------------------------------------------------------------------------

class DirectFile : public testing::Test {
 protected:
  DirectFile() { pages_->CreateDatabaseFile(path_, {}); }
  int32_t D() const { return pages_->PageDataSize(); }
  // A page manager serves one file once: reopening takes a new one.
  static std::unique_ptr<TZDBDiskPageManager> OpenShared(const std::string& path) {
    auto pages = std::make_unique<TZDBDiskPageManager>();
    bool multiUser = true, readOnly = false;
    pages->OpenDatabaseFile(path, {}, multiUser, false, readOnly);
    return pages;
  }
  // A second, independent handle on the file, as another process has it.
  TZDBDiskPageManager& Other() {
    if (!other_) other_ = OpenShared(path_);
    return *other_;
  }
  void ReopenShared() {
    pages_->ApplyChanges(System);
    pages_->CloseDatabaseFile();
    pages_ = OpenShared(path_);
  }

  test::TempFolder folder_;
  std::string path_ = folder_.File("direct.zdb");
  std::unique_ptr<TZDBDiskPageManager> pages_ = std::make_unique<TZDBDiskPageManager>();
  std::unique_ptr<TZDBDiskPageManager> other_;
};

TEST_F(DirectFile, SizeDecidesThePagesAndOpenFindsThemAgain) {
  const struct {
    int32_t size;
    size_t pages;
  } cases[] = {{0, 1}, {D() - 10, 1}, {D() - 9, 2}, {6000, 2}, {3 * D(), 4}};
  std::vector<int32_t> starts;
  for (const auto& c : cases) {
    TZDBInternalDBDirectAccessFile file(*pages_, TableLocks);
    file.Create(c.size);
    EXPECT_EQ(file.PageNumbers().size(), c.pages) << c.size;
    starts.push_back(file.StartPageNo());
  }
  ReopenShared();
  for (size_t i = 0; i < std::size(cases); ++i) {
    TZDBInternalDBDirectAccessFile file(*pages_, TableLocks);
    file.Open(starts[i]);
    EXPECT_EQ(file.Size(), cases[i].size);
    EXPECT_EQ(file.GetSize(), cases[i].size);
    EXPECT_EQ(file.PageNumbers().size(), cases[i].pages);
    EXPECT_EQ(file.PageNumbers().front(), starts[i]);
  }
}

TEST_F(DirectFile, BytesAreReadAndWrittenInPlaceAcrossPages) {
  TZDBInternalDBDirectAccessFile file(*pages_, TableLocks);
  file.Create(2 * D());
  ReopenShared();
  TZDBInternalDBDirectAccessFile writer(*pages_, TableLocks);
  writer.Open(file.StartPageNo());
  const std::vector<uint8_t> bytes = Pattern(100);
  const int32_t across = D() - 10 - 50;  // 50 bytes on the first page, 50 on the second
  writer.DirectWriteBuffer(bytes.data(), 100, across);

  // Another handle sees the bytes at once, and where the layout puts them.
  TZDBInternalDBDirectAccessFile reader(Other(), TableLocks);
  reader.Open(file.StartPageNo());
  std::vector<uint8_t> read(100);
  reader.DirectReadBuffer(read.data(), 100, across);
  EXPECT_EQ(read, bytes);
  EXPECT_EQ(reader.ContentBytePosition(across + 50), Other().PagePosition(reader.PageNumbers()[1]) + 40);
  const std::vector<uint8_t> raw = test::ReadBytes(path_);
  EXPECT_EQ(raw[static_cast<size_t>(reader.ContentBytePosition(across))], bytes[0]);

  const int32_t size = 2 * D();
  EXPECT_EQ(Raised([&] { writer.DirectWriteBuffer(bytes.data(), 2, size - 1); }).text,
            ErrorText("Cannot write after end of file. FileSize=" + std::to_string(size) +
                          ". Position=" + std::to_string(size - 1) + ", Count=2",
                      20158));
  EXPECT_EQ(Raised([&] { writer.DirectReadBuffer(read.data(), 1, size + 1); }).text,
            ErrorText("Seek position bigger then file size. FileSize=" + std::to_string(size) +
                          ". Position=" + std::to_string(size + 1),
                      20159));
  EXPECT_EQ(Raised([&] { writer.DirectReadBuffer(read.data(), 2, size - 1); }).code, 20159);
  writer.DirectReadBuffer(read.data(), 0, size);  // nothing to read at the end is fine
}

TEST_F(DirectFile, LocksAreTakenOnTheBytesThatHoldTheContent) {
  TZDBInternalDBDirectAccessFile file(*pages_, TableLocks);
  file.Create(6000);
  ReopenShared();
  TZDBInternalDBDirectAccessFile mine(*pages_, TableLocks);
  mine.Open(file.StartPageNo());
  TZDBInternalDBDirectAccessFile theirs(Other(), TableLocks);
  theirs.Open(file.StartPageNo());

  const int32_t secondPage = D() - 10 + 3;
  EXPECT_TRUE(mine.LockByte(secondPage));
  EXPECT_FALSE(mine.LockByte(secondPage));  // held already, also through the same handle
  EXPECT_FALSE(theirs.LockByte(secondPage));
  EXPECT_TRUE(theirs.IsByteLocked(secondPage));
  EXPECT_FALSE(theirs.IsByteLocked(secondPage - 1));
  EXPECT_TRUE(theirs.IsRegionLocked(0, 6000));
  EXPECT_TRUE(theirs.IsRegionLocked(secondPage - 5, 6));  // spans both pages
  EXPECT_FALSE(theirs.IsRegionLocked(secondPage - 5, 5));
  EXPECT_FALSE(theirs.IsRegionLocked(secondPage, 0));
  EXPECT_TRUE(mine.UnlockByte(secondPage));
  EXPECT_FALSE(mine.UnlockByte(secondPage));
  EXPECT_TRUE(theirs.LockByte(secondPage));

  EXPECT_TRUE(mine.LockFile());
  EXPECT_FALSE(theirs.LockFile());
  EXPECT_TRUE(Other().File().IsByteLocked(Other().PagePosition(file.StartPageNo())));
  EXPECT_TRUE(mine.UnlockFile());
  EXPECT_TRUE(theirs.LockFile());

  EXPECT_EQ(Raised([&] { mine.LockByte(6000); }).code, 20159);
  EXPECT_EQ(Raised([&] { mine.IsRegionLocked(5990, 11); }).code, 20159);
}

TEST_F(DirectFile, ClosedAndDamagedFilesRaiseTheirErrors) {
  TZDBInternalDBDirectAccessFile file(*pages_, TableLocks);
  uint8_t byte = 0;
  const struct {
    const char* operation;
    std::function<void()> call;
  } closed[] = {
      {"Delete", [&] { file.Delete(); }},
      {"GetSize", [&] { file.GetSize(); }},
      {"DirectReadBuffer", [&] { file.DirectReadBuffer(&byte, 1, 0); }},
      {"DirectWriteBuffer", [&] { file.DirectWriteBuffer(&byte, 1, 0); }},
      {"LockFile", [&] { file.LockFile(); }},
      {"UnlockFile", [&] { file.UnlockFile(); }},
      {"LockByte", [&] { file.LockByte(0); }},
      {"UnlockByte", [&] { file.UnlockByte(0); }},
      {"IsByteLocked", [&] { file.IsByteLocked(0); }},
      {"IsRegionLocked", [&] { file.IsRegionLocked(0, 1); }},
  };
  for (const auto& c : closed) {
    EXPECT_EQ(Raised(c.call).text,
              ErrorText(std::string("Cannot perform this operation (") + c.operation + ") on closed internal file",
                        20156));
  }

  file.Create(2 * D());
  const int32_t start = file.StartPageNo();
  EXPECT_EQ(Raised([&] { file.Create(1); }).text,
            ErrorText("Cannot create Internal file. File already exists. StartPageNo=" + std::to_string(start), 20157));
  TZDBInternalDBDirectAccessFile other(*pages_, TableLocks);
  EXPECT_EQ(Raised([&] { other.Create(-1); }).code, 20158);
  ReopenShared();

  // Damage the file behind the engine's back, one fault at a time.
  const std::vector<uint8_t> good = test::ReadBytes(path_);
  const int64_t second = pages_->PagePosition(file.PageNumbers()[1]);
  const int64_t first = pages_->PagePosition(start);
  auto openDamaged = [&](int64_t at, const std::vector<uint8_t>& patch) {
    pages_.reset();
    std::vector<uint8_t> bytes = good;
    std::copy(patch.begin(), patch.end(), bytes.begin() + at);
    test::WriteBytes(path_, bytes);
    pages_ = OpenShared(path_);
    TZDBInternalDBDirectAccessFile damaged(*pages_, TableLocks);
    return Raised([&] { damaged.Open(start); });
  };
  const auto wrongType = openDamaged(second + TZDBPage::PageTypeOffset, {5, 0});
  EXPECT_EQ(wrongType.text, ErrorText("Invalid PageType found: 5 but expecting: 7", 20155));
  const auto chainEnds = openDamaged(first + TZDBPage::NextPageNoOffset, {0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(chainEnds.text,
            ErrorText("Error getting 1-th table file page. Probably database is corrupted and needs repair.", 20300));
  // A stored size that needs a third page, and a second page that links back to the first.
  std::vector<uint8_t> bigger(4);
  le::PutI32(bigger.data(), 3 * D());
  pages_.reset();
  std::vector<uint8_t> bytes = good;
  std::copy(bigger.begin(), bigger.end(), bytes.begin() + first + 40 + 1);
  le::PutI32(bytes.data() + second + TZDBPage::NextPageNoOffset, start);
  test::WriteBytes(path_, bytes);
  pages_ = OpenShared(path_);
  TZDBInternalDBDirectAccessFile looped(*pages_, TableLocks);
  EXPECT_EQ(Raised([&] { looped.Open(start); }).code, 20300);
}

TEST_F(DirectFile, DeleteFreesThePagesAtTheSystemCommit) {
  int32_t start;
  {
    TZDBInternalDBDirectAccessFile created(*pages_, TableLocks);
    created.Create(2 * D());
    start = created.StartPageNo();
  }
  ReopenShared();
  TZDBInternalDBDirectAccessFile file(*pages_, TableLocks);
  file.Open(start);
  const std::vector<int32_t> pages = file.PageNumbers();
  file.Delete();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(pages_->RemovedPageNumbers(System), pages);
  pages_->ApplyChanges(System);
  for (int32_t page : pages) EXPECT_FALSE(pages_->FreeSpaceManager().IsPageUsed(page));
}

}  // namespace
}  // namespace zdb
