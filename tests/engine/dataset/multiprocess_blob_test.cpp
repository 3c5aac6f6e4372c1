// Large values between processes: a stream opened for reading on a browsed row reads the
// row again first, so it sees what another copy of the program stored there since the
// window was filled, and gives no stream for a row that copy deleted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/dataset/ZDBMain.h"
#include "engine/framework/BlobFields.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace zdb::testing {
namespace {

PlatformVariant Key(int32_t key) { return PlatformVariant::Integral(TVarType::Integer, key); }

bool Zdb(const std::string& arguments) {
  return std::system((std::string("'") + ZDB_TOOL_PATH + "' " + arguments + " >/dev/null </dev/null").c_str()) == 0;
}

std::string ReadAll(TStream& stream) {
  std::string text(static_cast<size_t>(stream.Size()), '\0');
  if (!text.empty()) stream.Read(text.data(), static_cast<int64_t>(text.size()));
  return text;
}

class MultiProcessBlob : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Zdb("create '" + path + "'"));
    ASSERT_TRUE(Zdb("create-table '" + path + "' Notas --field any:INTEGER --field Nota:MEMO:zlib:5 --index ANY:any:primary"));
    database.SetDatabaseName("Zelmarot");
    database.SetDatabaseFileName(path);
    database.SetMultiUser(true);
    table.SetDatabaseName("Zelmarot");
    table.SetTableName("Notas");
    table.SetIndexName("ANY");
    table.Open();
    for (int32_t key = 1; key <= 4; ++key) {
      table.Append();
      table.FieldByName("any").SetAsInteger(key);
      table.FieldByName("Nota").SetAsString(std::string(100, 'o'));
      table.Post();
    }
    ASSERT_EQ(peer.Run("open " + path + " Notas"), 0);
  }
  void TearDown() override { table.Close(); }

  data::TField& Note() { return table.FieldByName("Nota"); }

  test::TempFolder folder;
  std::string path = folder.File("Zelmarot.zdb");
  zdbtest::ChildProcess peer{ZDB_DATASET_PEER_PATH};
  TZDBDatabase database;
  TZDBTable table;
};

TEST_F(MultiProcessBlob, AReadingStreamSeesTheValueTheOtherProcessStored) {
  struct Case {
    int32_t key;
    size_t size;  // 0: the other process clears the value
    char character;
  };
  // Shared page, page chain, several compressed blocks, NULL.
  const std::vector<Case> cases = {{1, 20, 'a'}, {2, 9000, 'b'}, {3, 250000, 'c'}, {4, 0, 'd'}};
  for (const Case& c : cases) {
    SCOPED_TRACE("row " + std::to_string(c.key));
    ASSERT_TRUE(table.FindKey({Key(c.key)}));
    ASSERT_EQ(Note().AsString(), std::string(100, 'o'));  // held in memory for the window
    ASSERT_EQ(peer.Run("find " + std::to_string(c.key)), 0);
    ASSERT_EQ(peer.Run("edit"), 0);
    ASSERT_EQ(peer.Run("fill Nota " + std::to_string(c.size) + " " + c.character), 0);
    ASSERT_EQ(peer.Run("post"), 0);

    std::unique_ptr<TStream> stream = table.CreateBlobStream(Note(), data::TBlobStreamMode::bmRead);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(ReadAll(*stream), std::string(c.size, c.character));
    stream.reset();
    table.CloseBlob(Note());
    // The window's row is the one read again.
    EXPECT_EQ(Note().IsNull(), c.size == 0);
    EXPECT_EQ(Note().AsString(), std::string(c.size, c.character));
  }
}

TEST_F(MultiProcessBlob, ARowTheOtherProcessDeletedGivesNoStream) {
  ASSERT_TRUE(table.FindKey({Key(2)}));
  ASSERT_EQ(peer.Run("find 2"), 0);
  ASSERT_EQ(peer.Run("delete"), 0);
  EXPECT_EQ(table.CreateBlobStream(Note(), data::TBlobStreamMode::bmRead), nullptr);
  // The other rows still give theirs.
  ASSERT_TRUE(table.FindKey({Key(3)}));
  std::unique_ptr<TStream> stream = table.CreateBlobStream(Note(), data::TBlobStreamMode::bmRead);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReadAll(*stream), std::string(100, 'o'));
}

}  // namespace
}  // namespace zdb::testing
