// The index manager keeping a table's indexes in step with its rows: a random model of
// inserts, updates and deletes (unique, primary, descending, case-insensitive and
// truncated keys, a temporary index), uniqueness refusals that leave every index as it
// was, the change counters, session-private temporary indexes, and the choice of an
// index for a column list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "engine/base/ZDBMemoryStream.h"
#include "engine/table/ZDBIndexManager.h"
#include "support/IndexManagerTestSupport.h"
#include "support/RecordTestSupport.h"
#include "support/TableTestSupport.h"

namespace zdb {
namespace {

using namespace zdb::testing;

constexpr int32_t Session = 0;
constexpr int32_t OtherSession = 1;
constexpr int32_t SystemSession = TZDBPageManager::SystemSession;
constexpr int32_t PrimaryKeyDuplicate = 30319;
constexpr int32_t UniqueKeyDuplicate = 30320;

// Long names share their first 20 bytes, so their stored keys (cut to 20 bytes) are equal
// and only the rows tell them apart.
constexpr const char* SharedPrefix = "shared-prefix-of-twenty-";

struct Person {
  int32_t id = 0;
  std::optional<int32_t> group;
  std::string name;
};

void AddPeopleFields(TZDBFieldDefs& fields) {
  fields.Add(Field("id", TZDBLogicalType::Integer));
  fields.Add(Field("grp", TZDBLogicalType::Integer));
  fields.Add(Field("name", TZDBLogicalType::String, 29));
}

std::unique_ptr<TZDBIndexDef> IndexDef(const std::string& name, std::vector<TZDBIndexColumn> columns,
                                       bool unique = false, bool primary = false) {
  auto definition = std::make_unique<TZDBIndexDef>();
  definition->SetName(name);
  definition->SetColumns(std::move(columns));
  definition->SetUnique(unique);
  definition->SetPrimary(primary);
  return definition;
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

class IndexManagerTest : public ::testing::Test {
 protected:
  IndexManagerTest() {
    TZDBIndexDefs definitions;
    definitions.Add(IndexDef("PK", {{"id"}}, false, true));
    definitions.Add(IndexDef("GRP", {{"grp"}}));
    definitions.Add(IndexDef("NAME", {{"name", false, true}}, true));
    int32_t nextID = 1;
    definitions.AssignObjectIDs([&] { return nextID++; });
    manager.AssignIndexDefs(definitions);
    manager.BuildAllIndexes(nullptr);
    table.pages.ApplyChanges(SystemSession);
  }

  int32_t IndexID(const std::string& name) { return manager.FindIndexDefByName(name, Session)->ObjectID(); }

  Bytes Row(const Person& person) const {
    Bytes row = writer.NewRow();
    writer.SetInteger(row, "id", person.id);
    writer.SetInteger(row, "grp", person.group);
    writer.SetString(row, "name", person.name);
    return row;
  }

  TZDBRecordID Insert(const Person& person) {
    RowCursor cursor(Session, Row(person));
    bool rebuilt = false;
    manager.RefreshTemporaryIndexes(cursor, rebuilt);
    manager.CheckKeysFree(cursor, false);
    TZDBRecordID recordID;
    EXPECT_TRUE(table.records.InsertRecord(Session, cursor.RecordBuffer(), recordID));
    cursor.SetRecordID(recordID);
    manager.InsertRow(cursor);
    model[recordID] = person;
    return recordID;
  }

  void Update(const TZDBRecordID& recordID, const Person& person) {
    RowCursor cursor(Session, Row(person), Row(model.at(recordID)), recordID);
    bool rebuilt = false;
    manager.RefreshTemporaryIndexes(cursor, rebuilt);
    manager.CheckKeysFree(cursor, true);
    manager.UpdateRow(cursor, true);
    EXPECT_TRUE(table.records.UpdateRecord(Session, cursor.RecordBuffer(), recordID));
    manager.UpdateRow(cursor, false);
    model[recordID] = person;
  }

  void Delete(const TZDBRecordID& recordID) {
    // The cursor's buffer may hold anything: the manager keys on the row as stored.
    RowCursor cursor(Session, writer.NewRow(), {}, recordID);
    bool rebuilt = false;
    manager.RefreshTemporaryIndexes(cursor, rebuilt);
    manager.DeleteRow(cursor);
    EXPECT_TRUE(table.records.DeleteRecord(Session, recordID));
    model.erase(recordID);
  }

  // Every index the session sees holds exactly one entry per row, under the row's
  // current key, in a tree whose invariants hold.
  void ExpectIndexesMatchModel(const std::string& when) {
    for (int32_t i = 0; i < manager.IndexDefs().Count(); ++i) {
      const TZDBIndexDef& definition = manager.IndexDefs().Items(i);
      if (definition.Temporary() && definition.OwnerSession() != Session) continue;
      SCOPED_TRACE(definition.Name() + " " + when);
      TZDBBTreeRecordIndex& index = manager.GetIndex(definition.ObjectID());
      const TZDBBTreeCheckReport report = index.Check(Session);
      ASSERT_TRUE(report.Ok()) << report.Problems.front();
      ASSERT_EQ(report.EntryCount, static_cast<int64_t>(model.size()));
      for (const auto& [recordID, person] : model) {
        TZDBKeyPath path;
        ASSERT_TRUE(index.FindRecordPath(Session, recordID, path, Row(person).data())) << "row " << person.id;
      }
    }
  }

  RecordTable table{AddPeopleFields};
  test::MemoryPageManager temporaryPages{1000, RecordTable::PageSize};
  RecordManagerIndexOwner owner{table.fields, table.records};
  TZDBBaseIndexManager manager{owner, table.pages, temporaryPages};
  RowWriter writer{table.fields};
  std::map<TZDBRecordID, Person> model;
};

TEST_F(IndexManagerTest, RandomChangesKeepEveryIndexInStep) {
  RowCursor creator(Session, writer.NewRow());
  const int32_t temporaryID = manager.CreateTemporaryIndex(creator, {"grp", "name"}, {"DESC", ""}, {"", "NO_CASE"});
  std::mt19937 random(20240611);
  int32_t nextKey = 0;
  const auto freshPerson = [&] {
    const int32_t key = ++nextKey;
    Person person{key, std::nullopt, (random() % 2 == 0 ? std::string("n") : std::string(SharedPrefix)) +
                                         std::to_string(key)};
    if (random() % 5 != 0) person.group = static_cast<int32_t>(random() % 7);
    return person;
  };
  const auto anyRow = [&] {
    auto it = model.begin();
    std::advance(it, std::uniform_int_distribution<size_t>(0, model.size() - 1)(random));
    return *it;
  };

  for (int operation = 1; operation <= 3000; ++operation) {
    const uint32_t kind = random() % 100;
    if (model.empty() || kind < 45) {
      Person person = freshPerson();
      if (!model.empty() && kind % 9 == 0) {
        // Another row's key, or its name in other letters: refused, nothing changes.
        const Person taken = anyRow().second;
        const bool byName = kind % 2 == 0;
        if (byName) person.name = Upper(taken.name);
        if (!byName) person.id = taken.id;
        EXPECT_EQ(ErrorOf([&] { Insert(person); }).code, byName ? UniqueKeyDuplicate : PrimaryKeyDuplicate);
        continue;
      }
      Insert(person);
    } else if (kind < 75) {
      const auto [recordID, old] = anyRow();
      Person person = old;
      if (kind % 5 == 0) {
        person.name = Upper(old.name);  // its own key in other letters: still free
      } else if (kind % 7 == 0 && model.size() > 1) {
        person.id = anyRow().second.id;
        const int32_t code = ErrorOf([&] { Update(recordID, person); }).code;
        EXPECT_EQ(code, person.id == old.id ? 0 : PrimaryKeyDuplicate);
        if (code != 0) model[recordID] = old;
        continue;
      } else {
        const Person fresh = freshPerson();
        if (kind % 2 == 0) person.name = fresh.name;
        if (kind % 3 == 0) person.id = fresh.id;
        person.group = fresh.group;
      }
      Update(recordID, person);
    } else {
      Delete(anyRow().first);
    }
    if (operation % 250 == 0) ExpectIndexesMatchModel("after operation " + std::to_string(operation));
  }
  ASSERT_GT(model.size(), 300u) << "enough rows for several leaves per index";

  table.pages.ApplyChanges(Session);
  temporaryPages.ApplyChanges(Session);
  ExpectIndexesMatchModel("after commit");

  // Reopened from the stored definitions: the temporary index is gone, the others read
  // the same pages.
  TZDBMemoryStream stored;
  manager.SaveIndexDefs(stored);
  stored.Seek(0, SeekOrigin::Beginning);
  manager.LoadIndexDefs(stored);
  EXPECT_EQ(manager.FindIndexDef(temporaryID), nullptr);
  EXPECT_EQ(manager.IndexDefs().Count(), 3);
  ExpectIndexesMatchModel("after reopening");
}

TEST_F(IndexManagerTest, DuplicateKeysLeaveEveryIndexUnchanged) {
  const TZDBRecordID first = Insert({1, 10, "alpha"});
  const TZDBRecordID second = Insert({2, 20, std::string(SharedPrefix) + "1"});
  Insert({3, std::nullopt, std::string(SharedPrefix) + "2"});

  struct Case {
    const char* name;
    bool update;
    Person person;
    int32_t code;
  };
  const Case cases[] = {
      {"insert: taken id", false, {2, 30, "beta"}, PrimaryKeyDuplicate},
      {"insert: taken name in other letters", false, {4, 30, "ALPHA"}, UniqueKeyDuplicate},
      {"insert: taken long name", false, {4, 30, std::string(SharedPrefix) + "2"}, UniqueKeyDuplicate},
      {"update: taken id", true, {1, 20, std::string(SharedPrefix) + "1"}, PrimaryKeyDuplicate},
      {"update: taken name", true, {2, 20, "Alpha"}, UniqueKeyDuplicate},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.update) {
      // The delete phase refuses before it removes any old entry.
      RowCursor cursor(Session, Row(c.person), Row(model.at(second)), second);
      EXPECT_EQ(ErrorOf([&] { manager.UpdateRow(cursor, true); }).code, c.code);
    } else {
      // Even when the row is stored already, no index takes an entry for it.
      RowCursor cursor(Session, Row(c.person));
      TZDBRecordID recordID;
      ASSERT_TRUE(table.records.InsertRecord(Session, cursor.RecordBuffer(), recordID));
      cursor.SetRecordID(recordID);
      EXPECT_EQ(ErrorOf([&] { manager.InsertRow(cursor); }).code, c.code);
      ASSERT_TRUE(table.records.DeleteRecord(Session, recordID));
    }
    ExpectIndexesMatchModel(c.name);
  }
  // A long name that differs only beyond the stored prefix is free.
  Update(first, {1, 10, std::string(SharedPrefix) + "3"});
  ExpectIndexesMatchModel("after a free long name");
}

TEST_F(IndexManagerTest, EveryRowChangeRaisesEveryChangeCounterOnce) {
  const auto counters = [&] {
    std::vector<int32_t> values;
    for (int32_t i = 0; i < manager.IndexDefs().Count(); ++i)
      values.push_back(manager.IndexDefs().Items(i).ChangeCounter());
    return values;
  };
  const std::vector<int32_t> start = counters();
  const auto raisedBy = [&](int32_t step) {
    std::vector<int32_t> expected = start;
    for (int32_t& value : expected) value += step;
    return expected;
  };
  const TZDBRecordID recordID = Insert({1, 10, "alpha"});
  EXPECT_EQ(counters(), raisedBy(1));
  Update(recordID, {1, 11, "alpha"});
  EXPECT_EQ(counters(), raisedBy(2));

  // The row is gone already (another session deleted it): no index changes.
  ASSERT_TRUE(table.records.DeleteRecord(Session, recordID));
  RowCursor cursor(Session, Row(model.at(recordID)), {}, recordID);
  manager.DeleteRow(cursor);
  EXPECT_EQ(counters(), raisedBy(2));
  EXPECT_EQ(manager.GetIndex(IndexID("PK")).Check(Session).EntryCount, 1);
}

TEST_F(IndexManagerTest, TemporaryIndexesArePrivateToTheirSession) {
  for (int32_t key = 1; key <= 5; ++key) Insert({key, key % 2, "n" + std::to_string(key)});
  RowCursor cursor(Session, writer.NewRow());
  bool created = false;
  const int32_t temporaryID = manager.FindOrCreateIndexFor(cursor, {"grp"}, created, {"DESC"}, {""});
  ASSERT_TRUE(created) << "GRP ascends, so it does not serve DESC";
  const TZDBIndexDef& definition = *manager.FindIndexDef(temporaryID);
  EXPECT_TRUE(std::regex_match(definition.Name(),
                               std::regex("TEMPORARY_INDEX_\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                          "[0-9A-F]{12}\\}")))
      << definition.Name();
  EXPECT_TRUE(definition.Temporary());
  EXPECT_EQ(definition.OwnerSession(), Session);
  EXPECT_EQ(definition.ChangeCounter(), table.records.ChangeCount());
  EXPECT_TRUE(definition.Columns().front().Descending);
  EXPECT_EQ(definition.Columns().front().MaxIndexedSize, 20);
  // Its pages live in the temporary store.
  const std::vector<int32_t> temporaryPageNumbers = temporaryPages.NewPageNumbers(Session);
  EXPECT_NE(std::find(temporaryPageNumbers.begin(), temporaryPageNumbers.end(), definition.RootPageNo()),
            temporaryPageNumbers.end());
  EXPECT_EQ(manager.GetIndex(temporaryID).Check(Session).EntryCount, 5);
  temporaryPages.ApplyChanges(Session);  // as the table data does after each operation

  // The owner finds it again; another session neither finds nor sees it.
  EXPECT_EQ(manager.FindOrCreateIndexFor(cursor, {"grp"}, created, {"DESC"}, {""}), temporaryID);
  EXPECT_FALSE(created);
  EXPECT_EQ(manager.FindIndexDefByName(definition.Name(), Session), &definition);
  EXPECT_EQ(manager.FindIndexDefByName(definition.Name(), OtherSession), nullptr);
  RowCursor otherCursor(OtherSession, writer.NewRow());
  const int32_t otherID = manager.FindOrCreateIndexFor(otherCursor, {"grp"}, created, {"DESC"}, {""});
  EXPECT_TRUE(created);
  temporaryPages.ApplyChanges(OtherSession);
  EXPECT_NE(otherID, temporaryID);
  EXPECT_NE(manager.FindIndexDef(otherID)->Name(), definition.Name());

  // Never stored with the metadata.
  TZDBMemoryStream stored;
  manager.SaveIndexDefs(stored);
  stored.Seek(0, SeekOrigin::Beginning);
  TZDBIndexDefs loaded;
  loaded.LoadFromStream(stored);
  EXPECT_EQ(loaded.Count(), 3);
  EXPECT_EQ(loaded.FindByName(definition.Name()), nullptr);

  // A row that came in behind the manager's back (another process): the next refresh
  // rebuilds the temporary indexes, and only that one.
  RowCursor outside(Session, Row({6, 0, "n6"}));
  TZDBRecordID outsideID;
  ASSERT_TRUE(table.records.InsertRecord(Session, outside.RecordBuffer(), outsideID));
  bool rebuilt = false;
  manager.RefreshTemporaryIndexes(cursor, rebuilt);
  EXPECT_TRUE(rebuilt);
  EXPECT_EQ(manager.GetIndex(temporaryID).Check(Session).EntryCount, 6);
  EXPECT_EQ(manager.FindIndexDef(temporaryID)->ChangeCounter(), table.records.ChangeCount());
  manager.RefreshTemporaryIndexes(cursor, rebuilt);
  EXPECT_FALSE(rebuilt);

  manager.DropTemporaryIndexes(Session);
  EXPECT_EQ(manager.FindIndexDef(temporaryID), nullptr);
  EXPECT_NE(manager.FindIndexDef(otherID), nullptr);
}

TEST_F(IndexManagerTest, FindIndexForFollowsOrderAndCaseRules) {
  TZDBIndexDef extra;
  extra.SetName("GRP_NAME_DESC");
  extra.SetColumns({{"grp", true, false}, {"NAME", true, false}});
  manager.AddIndex(nullptr, extra);
  const int32_t grpNameDesc = IndexID("GRP_NAME_DESC");

  struct Case {
    std::vector<std::string> fields, orders, cases;
    const char* expected;  // index name, or null for none
  };
  const Case cases[] = {
      {{"ID"}, {""}, {""}, "PK"},
      {{"id"}, {"ASC"}, {"CASE"}, "PK"},  // CASE asks nothing of a number column
      {{"id"}, {"DESC"}, {""}, nullptr},
      {{"grp"}, {"desc"}, {""}, "GRP_NAME_DESC"},
      {{"grp", "name"}, {"DESC", "DESC"}, {"", "CASE"}, "GRP_NAME_DESC"},
      {{"grp", "name"}, {"", ""}, {"", "NO_CASE"}, nullptr},
      {{"name"}, {""}, {"NO_CASE"}, "NAME"},
      {{"name"}, {""}, {"CASE"}, nullptr},
      {{"grp", "id"}, {"", ""}, {"", ""}, nullptr},
      {{"id", "grp"}, {"", ""}, {"", ""}, nullptr},  // more columns than the index has
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields.front() + (c.fields.size() > 1 ? "," + c.fields[1] : ""));
    const int32_t found = manager.FindIndexFor(c.fields, c.orders, c.cases, Session);
    EXPECT_EQ(found, c.expected ? IndexID(c.expected) : TZDBBaseIndexManager::NoIndex);
    EXPECT_EQ(manager.HasIndexFor(c.fields, c.orders, c.cases, Session), c.expected != nullptr);
  }
  EXPECT_NE(grpNameDesc, TZDBBaseIndexManager::NoIndex);

  const RaisedError orders = ErrorOf([&] { manager.FindIndexFor({"id", "grp"}, {""}, {"", ""}, Session); });
  EXPECT_EQ(orders.code, 10276);
  EXPECT_EQ(orders.message, "Error - different list lengths. L1 = 2, L2 = 1");
  EXPECT_EQ(ErrorOf([&] { manager.FindIndexFor({"id"}, {""}, {}, Session); }).code, 10277);
}

TEST_F(IndexManagerTest, MovesOnFromARowDeletedMeanwhile) {
  std::map<int32_t, TZDBRecordID> rows;
  for (int32_t key = 1; key <= 5; ++key) rows[key] = Insert({key, 0, "n" + std::to_string(key)});
  const Bytes lastKnown = Row(model.at(rows[3]));
  Delete(rows[3]);

  for (const auto& [mode, expected] : {std::pair{grmNext, 4}, std::pair{grmPrior, 2}}) {
    Bytes buffer = lastKnown;
    TZDBNavigationRequest request;
    request.GetMode = mode;
    request.IndexID = IndexID("PK");
    request.RecordID = rows[3];
    request.RecordBuffer = buffer.data();
    manager.GetRecord(Session, request, table.records.ChangeCount(), nullptr);
    EXPECT_EQ(request.GetResult, grOK);
    EXPECT_EQ(request.RecordID, rows[expected]);
  }
}

TEST_F(IndexManagerTest, DefinitionsChangeOnlyWhenTheirTreeDoes) {
  Insert({1, 1, "one"});
  const int32_t before = manager.IndexDefs().Count();

  EXPECT_EQ(ErrorOf([&] { manager.AddIndex(nullptr, *IndexDef("pk", {{"grp"}})); }).code, 10424);
  EXPECT_EQ(ErrorOf([&] { manager.AddIndex(nullptr, *IndexDef("BAD", {{"nothing"}})); }).code, 20043);
  EXPECT_EQ(manager.IndexDefs().Count(), before);
  EXPECT_EQ(ErrorOf([&] { manager.GetIndex(4711); }).code, 20018);

  RowCursor cursor(Session, writer.NewRow());
  const int32_t added = manager.AddIndex(&cursor, *IndexDef("BY_NAME", {{"name"}}));
  EXPECT_EQ(manager.GetIndex(added).Check(Session).EntryCount, 1) << "built from the rows";

  manager.EmptyIndex(Session, added);
  EXPECT_EQ(manager.GetIndex(added).Check(Session).EntryCount, 0);

  const int32_t root = manager.FindIndexDef(added)->RootPageNo();
  manager.DropIndex(Session, added);
  EXPECT_EQ(manager.FindIndexDef(added), nullptr);
  const std::vector<int32_t> removed = table.pages.RemovedPageNumbers(Session);
  EXPECT_NE(std::find(removed.begin(), removed.end(), root), removed.end());

  manager.DropAllIndexes(Session);
  EXPECT_EQ(manager.IndexDefs().Count(), 0);
}

}  // namespace
}  // namespace zdb
