// Index keys, their comparison, record references, key paths and the B-tree page layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBLocale.h"
#include "engine/index/ZDBBTreePage.h"
#include "engine/index/ZDBKeyPath.h"
#include "engine/index/ZDBPageKeyRef.h"
#include "engine/index/ZDBRecordKeyRef.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/engine/index/support/BTreeTestSupport.h"

namespace zdb::test {
namespace {

using Bytes = std::vector<uint8_t>;

class KeysTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultLocale("es_ES"); }
};

Bytes PageKey(TZDBRecordKeyRef& keys, const Row& row) {
  Bytes key(static_cast<size_t>(keys.KeySize()));
  keys.BuildPageKey(row.data(), key.data());
  return key;
}

int Compare(TZDBRecordKeyRef& keys, const Bytes& a, const Bytes& b) {
  return keys.CompareKeys(a.data(), b.data(), nullptr, nullptr, 0, false);
}

TEST_F(KeysTest, YearKeysHoldNullByteAndLittleEndianYearAndSortNullFirst) {
  const RowLayout layout = YearLayout();
  TZDBRecordKeyRef keys;
  keys.Prepare({layout.Column(0)}, nullptr);
  EXPECT_EQ(keys.KeySize(), 5);
  EXPECT_EQ(keys.FullKeySize(), 5);
  EXPECT_EQ(keys.EntryDataSize(), 6);

  Row row = layout.NewRow();
  layout.SetInt(row, 0, 1990);
  const Bytes y1990 = PageKey(keys, row);
  layout.SetInt(row, 0, 2024);
  const Bytes y2024 = PageKey(keys, row);
  layout.SetInt(row, 0, std::nullopt);
  const Bytes null = PageKey(keys, row);

  EXPECT_EQ(y1990, (Bytes{0x00, 0xC6, 0x07, 0x00, 0x00}));
  EXPECT_EQ(y2024, (Bytes{0x00, 0xE8, 0x07, 0x00, 0x00}));
  EXPECT_EQ(null, (Bytes{0x01, 0x00, 0x00, 0x00, 0x00}));  // the year's bytes in the row are not copied
  EXPECT_LT(Compare(keys, null, y1990), 0);
  EXPECT_LT(Compare(keys, y1990, y2024), 0);
  EXPECT_GT(Compare(keys, y2024, null), 0);
  EXPECT_EQ(Compare(keys, null, null), 0);
}

TEST_F(KeysTest, DescendingIntegerColumnPutsLargerFirstAndNullLast) {
  const RowLayout layout = YearLayout();
  TZDBRecordKeyRef keys;
  keys.Prepare({layout.Column(0, /*descending=*/true)}, nullptr);
  std::vector<std::optional<int32_t>> values = {1, std::nullopt, 3, 2};
  std::vector<Bytes> sorted;
  for (auto value : values) {
    Row row = layout.NewRow();
    layout.SetInt(row, 0, value);
    sorted.push_back(PageKey(keys, row));
  }
  std::sort(sorted.begin(), sorted.end(), [&](const Bytes& a, const Bytes& b) { return Compare(keys, a, b) < 0; });
  std::vector<std::optional<int32_t>> order;
  for (const Bytes& key : sorted)
    order.push_back(key[0] == 1 ? std::nullopt : std::optional<int32_t>(le::GetI32(key.data() + 1)));
  EXPECT_EQ(order, (std::vector<std::optional<int32_t>>{3, 2, 1, std::nullopt}));
}

TEST_F(KeysTest, FloatKeysCompareAsNumbers) {
  const RowLayout layout({{TZDBStorageType::Float, 8}});
  TZDBRecordKeyRef keys;
  keys.Prepare({layout.Column(0)}, nullptr);
  auto key = [&](double value) {
    Row row = layout.NewRow();
    layout.SetDouble(row, 0, value);
    return PageKey(keys, row);
  };
  EXPECT_LT(Compare(keys, key(-1.0), key(0.5)), 0);
  EXPECT_EQ(Compare(keys, key(-0.0), key(0.0)), 0);
  EXPECT_GT(Compare(keys, key(1e300), key(-1e300)), 0);
}

TEST_F(KeysTest, TextColumnsFollowTheirLetterCaseRule) {
  const RowLayout layout({{TZDBStorageType::String, 11}});
  auto compare = [&](bool caseInsensitive, const std::string& a, const std::string& b) {
    TZDBRecordKeyRef keys;
    keys.Prepare({layout.Column(0, false, caseInsensitive)}, nullptr);
    Row x = layout.NewRow(), y = layout.NewRow();
    layout.SetText(x, 0, a);
    layout.SetText(y, 0, b);
    return Compare(keys, PageKey(keys, x), PageKey(keys, y));
  };
  EXPECT_EQ(compare(true, "a", "A"), 0);
  EXPECT_NE(compare(false, "a", "A"), 0);
  EXPECT_LT(compare(false, "a", "b"), 0);
  EXPECT_LT(compare(false, "A", "b"), 0);  // the locale's order, not the bytes'
  EXPECT_LT(compare(true, "abc", "ABD"), 0);
}

TEST_F(KeysTest, CompareColumnsLimitsTheComparedColumns) {
  const RowLayout layout({{TZDBStorageType::Integer, 4}, {TZDBStorageType::Integer, 4}});
  TZDBRecordKeyRef keys;
  keys.Prepare({layout.Column(0), layout.Column(1)}, nullptr);
  Row a = layout.NewRow(), b = layout.NewRow();
  layout.SetInt(a, 0, 5);
  layout.SetInt(a, 1, 1);
  layout.SetInt(b, 0, 5);
  layout.SetInt(b, 1, 2);
  const Bytes ka = PageKey(keys, a), kb = PageKey(keys, b);
  EXPECT_LT(Compare(keys, ka, kb), 0);
  keys.SetCompareColumns(1);
  EXPECT_EQ(Compare(keys, ka, kb), 0);
}

TEST_F(KeysTest, PrefixLengthsCompareOnlyAsLongAsTheSearchText) {
  const RowLayout layout({{TZDBStorageType::String, 11}});
  TZDBRecordKeyRef keys;
  keys.Prepare({layout.Column(0)}, nullptr);
  Row search = layout.NewRow(), entry = layout.NewRow();
  layout.SetText(search, 0, "ab");
  layout.SetText(entry, 0, "abcd");
  const Bytes ks = PageKey(keys, search), ke = PageKey(keys, entry);
  EXPECT_LT(Compare(keys, ks, ke), 0);
  keys.SetPrefixLengths(search.data(), true);
  EXPECT_EQ(keys.PrefixLengths()[0], 2);
  EXPECT_EQ(Compare(keys, ks, ke), 0);
  keys.SetPrefixLengths(search.data(), false);
  EXPECT_EQ(keys.PrefixLengths()[0], TZDBRecordKeyRef::NoPrefix);
}

// STRING of size 30: 31 bytes in the record buffer, 20 of them kept in the page key.
TEST_F(KeysTest, TruncatedTextKeepsPrefixAndReserveAndResolvesThroughTheRows) {
  MemoryTable table(RowLayout({{TZDBStorageType::String, 31}}));
  TZDBRecordKeyRef keys;
  keys.Prepare({table.layout.Column(0)}, &table);
  ASSERT_EQ(keys.Columns()[0].PageSegmentSize, 23);
  EXPECT_EQ(keys.Columns()[0].FullSegmentSize, 32);
  EXPECT_EQ(keys.Columns()[0].TruncationReserve, 2);
  EXPECT_EQ(keys.KeySize(), 23);
  EXPECT_EQ(keys.FullKeySize(), 32);
  EXPECT_TRUE(keys.HasTruncatedColumns());

  const std::string prefix(20, 'k');
  const TZDBRecordID low{3, 1}, high{2, 9};
  auto store = [&](TZDBRecordID id, const std::string& text) {
    Row row = table.layout.NewRow();
    table.layout.SetText(row, 0, text);
    table.rows[id] = row;
    return row;
  };
  const Row lowRow = store(low, prefix + "a tail");
  const Row highRow = store(high, prefix + "b tail");
  const Bytes lowKey = PageKey(keys, lowRow);
  const Bytes highKey = PageKey(keys, highRow);
  EXPECT_EQ(lowKey, PageKey(keys, highRow)) << "only the prefix is kept";
  EXPECT_EQ(lowKey[21], 0);
  EXPECT_EQ(lowKey[22], 0);

  uint8_t lowData[6], highData[6];
  low.Write(lowData);
  high.Write(highData);
  EXPECT_EQ(keys.CompareKeys(lowKey.data(), highKey.data(), highData, lowData, 0, false), 0);
  EXPECT_LT(keys.CompareKeys(lowKey.data(), highKey.data(), highData, lowData, 0, true), 0);
  EXPECT_GT(keys.CompareKeys(highKey.data(), lowKey.data(), lowData, highData, 0, true), 0);
  // Without the search row's identifier the row the key was built from decides.
  keys.BuildPageKey(highRow.data(), Bytes(23).data());
  EXPECT_GT(keys.CompareKeys(highKey.data(), lowKey.data(), lowData, nullptr, 0, true), 0);

  // A search text that ends inside the prefix needs no row.
  Row shortRow = table.layout.NewRow();
  table.layout.SetText(shortRow, 0, "kkk");
  const int64_t readsBefore = table.reads;
  EXPECT_LT(keys.CompareKeys(PageKey(keys, shortRow).data(), lowKey.data(), lowData, nullptr, 0, true), 0);
  EXPECT_EQ(table.reads, readsBefore);

  // A row that is gone cannot resolve.
  table.rows.erase(high);
  EXPECT_EQ(Raised([&] { keys.CompareKeys(lowKey.data(), highKey.data(), highData, lowData, 0, true); }).code,
            20170);
}

TEST_F(KeysTest, ColumnsWithoutOrderAreRefused) {
  const RowLayout layout({{TZDBStorageType::Memo, 10}, {TZDBStorageType::VarBytes, 10}});
  TZDBRecordKeyRef keys;
  const RaisedError blob = Raised([&] { keys.Prepare({layout.Column(0)}, nullptr); });
  EXPECT_EQ(blob.code, 20295);
  EXPECT_NE(blob.text.find("Cannot index BLOB field 'F0'"), std::string::npos);
  EXPECT_EQ(Raised([&] { keys.Prepare({layout.Column(1)}, nullptr); }).code, 30047);
}

TEST(RecordIDTest, WrittenLittleEndianAndOrderedByPageThenSlot) {
  uint8_t bytes[6];
  TZDBRecordID{0x01020304, 0x0506}.Write(bytes);
  EXPECT_EQ(Bytes(bytes, bytes + 6), (Bytes{0x04, 0x03, 0x02, 0x01, 0x06, 0x05}));
  EXPECT_EQ(TZDBRecordID::Read(bytes), (TZDBRecordID{0x01020304, 0x0506}));

  struct Case {
    TZDBRecordID a, b;
    int expected;
  };
  for (const Case& c : std::vector<Case>{{{-1, 0}, {0, 0}, -1},       // pages compare signed
                                         {{5, 0xFFFF}, {5, 1}, 1},    // slots compare unsigned
                                         {{5, 2}, {6, 1}, -1},
                                         {{7, 7}, {7, 7}, 0}}) {
    uint8_t a[6], b[6];
    c.a.Write(a);
    c.b.Write(b);
    EXPECT_EQ(CompareRecordIDs(a, b, 6), c.expected);
    EXPECT_EQ(CompareRecordIDs(c.a, c.b), c.expected);
  }
  const uint8_t x[2] = {0x01, 0x80}, y[2] = {0x02, 0x00};
  EXPECT_EQ(CompareRecordIDs(x, y, 2), -1);  // other sizes: bytes from the first
}

TEST(PageKeyTest, PageNumbersCompareSigned) {
  TZDBPageKeyRef keys;
  EXPECT_EQ(keys.KeySize(), 4);
  EXPECT_EQ(keys.EntryDataSize(), 2);
  uint8_t a[4], b[4];
  TZDBPageKeyRef::WriteKey(a, -5);
  TZDBPageKeyRef::WriteKey(b, 3);
  EXPECT_LT(keys.CompareKeys(a, b, nullptr, nullptr, 0, false), 0);
  EXPECT_EQ(keys.CompareKeys(b, b, nullptr, nullptr, 0, false), 0);
}

TEST(BTreePageTest, LayoutAndCapacity) {
  std::vector<uint8_t> data(4056, 0xEE);
  TZDBBTreePage page(data.data(), 4056, 6);
  page.Initialize(true, true, true, 5);
  EXPECT_EQ(Bytes(data.begin(), data.begin() + 18),
            (Bytes{1, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 5, 0, 0, 0, 0, 0}));
  EXPECT_EQ(page.EntrySize(), 11);

  // "ANY" with 4096-byte pages: 367 leaf entries, 448 node entries.
  EXPECT_TRUE(page.Fits(367));
  EXPECT_FALSE(page.Fits(368));
  page.SetIsLeaf(false);
  EXPECT_TRUE(page.Fits(448));
  EXPECT_FALSE(page.Fits(449));
  // Page-number trees: 673 per leaf, 504 per node.
  TZDBBTreePage pageTree(data.data(), 4056, 2);
  pageTree.Initialize(true, true, false, 4);
  EXPECT_TRUE(pageTree.Fits(673));
  EXPECT_FALSE(pageTree.Fits(674));
  pageTree.SetIsLeaf(false);
  EXPECT_TRUE(pageTree.Fits(504));
  EXPECT_FALSE(pageTree.Fits(505));

  // Entries: key, then data; inserting shifts the later ones up.
  page.Initialize(false, true, false, 5);
  const uint8_t k1[5] = {0, 1, 0, 0, 0}, k2[5] = {0, 2, 0, 0, 0}, d[6] = {9, 0, 0, 0, 1, 0};
  page.InsertEntry(0, k2, d);
  page.InsertEntry(0, k1, d);
  EXPECT_EQ(page.EntryCount(), 2);
  EXPECT_EQ(Bytes(data.begin() + 18, data.begin() + 40),
            (Bytes{0, 1, 0, 0, 0, 9, 0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0, 1, 0}));
  page.RemoveEntry(0);
  EXPECT_EQ(page.Key(0)[1], 2);
}

TEST(KeyPathTest, ComparesByEntryNumbersOnTheSamePages) {
  TZDBKeyPath a, b;
  a.Push(10, 1, 3);
  a.Push(20, 5, 9);
  b.Push(10, 1, 3);
  b.Push(20, 7, 9);
  EXPECT_EQ(TZDBKeyPath::ComparePaths(a, b), -1);
  EXPECT_EQ(TZDBKeyPath::ComparePaths(b, a), 1);
  EXPECT_EQ(TZDBKeyPath::ComparePaths(a, a), 0);

  TZDBKeyPath other;
  other.Push(10, 2, 3);
  other.Push(30, 0, 4);
  EXPECT_EQ(TZDBKeyPath::ComparePaths(a, other), -1) << "decided at the root before the pages part";
  TZDBKeyPath shallow;
  shallow.Push(10, 1, 3);
  EXPECT_EQ(Raised([&] { TZDBKeyPath::ComparePaths(a, shallow); }).code, 20051);
  TZDBKeyPath elsewhere;
  elsewhere.Push(11, 1, 3);
  elsewhere.Push(20, 5, 9);
  EXPECT_EQ(Raised([&] { TZDBKeyPath::ComparePaths(a, elsewhere); }).code, 20052);
}

TEST(KeyPathTest, RelativePositionAndPathNumber) {
  TZDBKeyPath path;
  path.Push(1, 1, 2);
  path.Push(2, 3, 4);
  EXPECT_DOUBLE_EQ(path.RelativePosition(), (1 * 4 + 3) / 8.0);
  TZDBKeyPath first;
  first.Push(1, 0, 2);
  first.Push(2, 0, 4);
  EXPECT_DOUBLE_EQ(first.RelativePosition(), 0.0);

  const int32_t base = 4056 / (5 + 4) + 1;  // "ANY" with 4096-byte pages
  EXPECT_EQ(path.Encode(base), 2 * base + 4);
  const TZDBKeyPath decoded = TZDBKeyPath::Decode(path.Encode(base), base);
  ASSERT_EQ(decoded.LevelCount(), 2);
  EXPECT_EQ(decoded.Level(0), (TZDBKeyPathLevel{-1, 1, 0}));
  EXPECT_EQ(decoded.Level(1), (TZDBKeyPathLevel{-1, 3, 0}));
}

TEST(KeyPathTest, PushPopAndDepthLimit) {
  TZDBKeyPath path;
  for (int32_t i = 0; i < TZDBKeyPath::MaxLevels; ++i) path.Push(i, 0, 1);
  EXPECT_EQ(path.CurrentLevel(), TZDBKeyPath::MaxLevels - 1);
  EXPECT_EQ(Raised([&] { path.Push(99, 0, 1); }).code, 20056);
  path.Pop();
  EXPECT_EQ(path.LevelCount(), TZDBKeyPath::MaxLevels - 1);
  path.Clear();
  EXPECT_TRUE(path.Empty());
}

}  // namespace
}  // namespace zdb::test
