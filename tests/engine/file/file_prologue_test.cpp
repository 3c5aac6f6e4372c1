// The byte images of the structures at the start of a database file, checked against
// bytes written out by hand, and the page type names.
#include "engine/file/ZDBFilePrologue.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "engine/file/ZDBDiskPageManager.h"
#include "engine/file/ZDBPageTypes.h"
#include "support/DiskTestSupport.h"

namespace zdb {
namespace {

using test::ErrorText;
using test::Raised;

// Appends bytes to an expected image.
void Put(std::vector<uint8_t>& image, std::initializer_list<uint8_t> bytes) {
  image.insert(image.end(), bytes);
}
void PutZeros(std::vector<uint8_t>& image, size_t count) { image.insert(image.end(), count, 0); }

TEST(FilePrologue, ANewDefaultFileIsExactlyItsPrologue) {
  test::TempFolder folder;
  const std::string path = folder.File("new.zdb");
  {
    TZDBDiskPageManager manager;
    manager.CreateDatabaseFile(path, TZDBPassword{});
    EXPECT_EQ(manager.PageAreaStart(), 380);
    manager.CloseDatabaseFile();
  }
  std::vector<uint8_t> expected;
  Put(expected, {'Z', 'D', 'B', 'P', 'A', 'G', 'E', 'D', 'D', 'A', 'T', 'A', 'B', 'A', 'S', 'E'});
  Put(expected, {76, 0});                                           // HeaderSize
  Put(expected, {0x48, 0xE1, 0x7A, 0x14, 0xAE, 0x47, 0x18, 0x40});  // 6.07
  Put(expected, {0x00, 0x10});                                      // PageSize 4096
  Put(expected, {8, 0});                                            // PagesPerExtent
  Put(expected, {0, 0, 0, 0});                                      // TotalPageCount
  Put(expected, {0xFF, 0xFF, 0xFF, 0xFF});                          // LastUsedPageNo -1
  Put(expected, {0, 0, 0, 0});                                      // CommitCounter
  Put(expected, {2, 0});                                            // WriteState, Encrypted
  PutZeros(expected, 32);
  ASSERT_EQ(expected.size(), 76u);
  Put(expected, {0x18, 0x01});  // encryption record: RecordSize 280, the rest zero
  PutZeros(expected, 278);
  Put(expected, {20, 0});  // lock area: LockAreaSize 20
  PutZeros(expected, 18);
  Put(expected, {0, 0, 0, 0});  // NextObjectID
  EXPECT_EQ(test::ReadBytes(path), expected);
}

TEST(FilePrologue, HeaderFieldsStandAtTheirOffsets) {
  TZDBFileHeader header = TZDBFileHeader::ForNewFile(0x1234, 0x0506, true);
  header.FormatVersion = 2.5;
  header.TotalPageCount = 0x0A0B0C0D;
  header.LastUsedPageNo = -2;
  header.CommitCounter = 0x11223344;
  header.WriteState = 1;
  header.Reserved[0] = 0xA1;
  header.Reserved[31] = 0xA2;
  std::array<uint8_t, 76> bytes{};
  header.Encode(bytes);

  std::vector<uint8_t> expected;
  Put(expected, {'Z', 'D', 'B', 'P', 'A', 'G', 'E', 'D', 'D', 'A', 'T', 'A', 'B', 'A', 'S', 'E'});
  Put(expected, {76, 0, 0, 0, 0, 0, 0, 0, 0x04, 0x40});  // HeaderSize, 2.5
  Put(expected, {0x34, 0x12, 0x06, 0x05, 0x0D, 0x0C, 0x0B, 0x0A, 0xFE, 0xFF, 0xFF, 0xFF});
  Put(expected, {0x44, 0x33, 0x22, 0x11, 1, 0xFF, 0xA1});
  PutZeros(expected, 30);
  Put(expected, {0xA2});
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected);

  const TZDBFileHeader decoded = TZDBFileHeader::Decode(bytes);
  std::array<uint8_t, 76> again{};
  decoded.Encode(again);
  EXPECT_EQ(again, bytes);
  EXPECT_TRUE(decoded.HasValidSignature());
  EXPECT_TRUE(decoded.IsEncrypted());
}

TEST(FilePrologue, EncryptionRecordLockAreaAndCounterBytes) {
  TZDBEncryptionRecord record;
  record.CipherCode = 5;
  record.Reserved1 = 0x77;
  for (size_t i = 0; i < record.CheckBlock.size(); ++i) record.CheckBlock[i] = static_cast<uint8_t>(i);
  record.CheckBlockCRC = 0xCA6598D0;
  record.Reserved2[15] = 0x99;
  std::array<uint8_t, 280> bytes{};
  record.Encode(bytes);
  std::vector<uint8_t> expected;
  Put(expected, {0x18, 0x01, 5, 0x77});
  for (int i = 0; i < 256; ++i) expected.push_back(static_cast<uint8_t>(i));
  Put(expected, {0xD0, 0x98, 0x65, 0xCA});
  PutZeros(expected, 15);
  Put(expected, {0x99});
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected);
  std::array<uint8_t, 280> again{};
  TZDBEncryptionRecord::Decode(bytes).Encode(again);
  EXPECT_EQ(again, bytes);

  std::array<uint8_t, 20> lockArea;
  lockArea.fill(0xEE);
  TZDBLockArea{}.Encode(lockArea);
  EXPECT_EQ(lockArea, (std::array<uint8_t, 20>{20, 0}));
  EXPECT_EQ(TZDBLockArea::Decode(lockArea).LockAreaSize, 20);

  std::array<uint8_t, 4> counter{};
  EncodeObjectIDCounter(-3, counter);
  EXPECT_EQ(counter, (std::array<uint8_t, 4>{0xFD, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(DecodeObjectIDCounter(std::array<uint8_t, 4>{0x01, 0x02, 0x00, 0x00}), 0x0201);
}

TEST(FilePrologue, NeedsRepairAfterACutCommitOrForAnOldFormat) {
  const struct {
    uint8_t writeState;
    double formatVersion;
    bool needsRepair;
  } cases[] = {
      {2, 6.07, false}, {1, 6.07, true},  {0, 6.07, true},     {2, 2.5, true},
      {2, 2.99, false}, {2, 2.98, true},  {2, std::nan(""), true},
  };
  for (const auto& c : cases) {
    TZDBFileHeader header = TZDBFileHeader::ForNewFile(4096, 8, false);
    header.WriteState = c.writeState;
    header.FormatVersion = c.formatVersion;
    EXPECT_EQ(header.NeedsRepair(), c.needsRepair) << int(c.writeState) << " " << c.formatVersion;
  }
}

TEST(PageTypes, NamesAndTheMessagesThatQuoteThem) {
  const char* names[] = {"Unknown Page",          "Empty Page",         "EAM Page",
                         "PFS Page",              "FileSystemDirectory Page", "ActiveSessionList Page",
                         "TableList Page",        "TableLocks Page",    "TableMetaData Page",
                         "TableMostUpdated Page", "TableRecord Page",   "TableBlob Page",
                         "TableIndex Page"};
  for (uint16_t code = 0; code <= 12; ++code) EXPECT_EQ(PageTypeName(code), names[code]);
  EXPECT_EQ(Raised([] { PageTypeName(13); }).text, ErrorText("Unknown Page Type: (13)", 30382));
  EXPECT_EQ(Raised([] { PageTypeName(255); }).code, 30382);

  EXPECT_EQ(Raised([] { RaiseWrongPageType(errors::MarkWrongPageType, 10, 3); }).text,
            ErrorText("Wrong page type. Found 'TableRecord Page', but expecting: 'PFS Page'", 30424));
  // A corrupt type code still gives the caller's error, not the name lookup's.
  EXPECT_EQ(WrongPageTypeMessage(errors::SearchWrongPageType, 999, 2),
            "Wrong page type. Found 'Unknown Page Type: (999)', but expecting: 'EAM Page'");
}

}  // namespace
}  // namespace zdb
