// The repair's copy of every table: a file that was not closed properly, repaired on the
// user's Yes, holds the same tables afterwards (definitions, rows in every order, NULLs,
// automatic increment values and counters, large values byte for byte) and passes the
// table check; rows and values that cannot be read are reported, every other row is
// copied, and the damaged file stays beside the repaired one.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBPlatformVariant.h"
#include "engine/dataset/ZDBTable.h"
#include "engine/file/ZDBPageRef.h"
#include "engine/framework/BlobFields.h"
#include "engine/table/ZDBBlobLayout.h"
#include "engine/table/ZDBSmallRecordPage.h"
#include "engine/table/ZDBTableCheck.h"
#include "support/SessionTestSupport.h"
#include "tests/engine/table/support/BlobTestSupport.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdb {
namespace {

using testing::Bytes;
using testing::Connection;
using testing::Saved;

constexpr size_t PageDataSize = 4096 - 40;
constexpr const char* RepairQuestion = "Database file was not correctly closed last time. Do you want to repair it?";

// --- the file ------------------------------------------------------------------------------

// "Maximo" as the program has it: any INTEGER with its primary index "ANY", PenMax and
// TopeCot FLOAT.
void CreateMaximo(Connection& connection, const std::vector<int32_t>& years) {
  testing::CreateMaximo(
      connection, "Maximo", [](TZDBIndexDefs& indexes) { testing::AddAnyIndex(indexes, true); },
      [](TZDBConstraintDefs& constraints) {
        TZDBConstraintDefPrimary& key = constraints.AddPrimary();
        key.SetName("C_PK$any");
        key.SetTargetName("ANY");
        key.SetColumns({{"any"}});
      });
  TZDBTableCursor cursor(connection.session, "Maximo");
  TZDBOpenTable table(connection.Data(), cursor);
  for (const int32_t year : years) testing::InsertYear(table, year);
}

std::unique_ptr<TZDBIndexDef> Index(const char* name, std::vector<TZDBIndexColumn> columns, bool primary,
                                    bool unique) {
  auto index = std::make_unique<TZDBIndexDef>();
  index->SetName(name);
  index->SetColumns(std::move(columns));
  index->SetPrimary(primary);
  index->SetUnique(unique);
  return index;
}

// "Varios": an automatic increment starting at 100, a text with a default, NULLs, a
// descending case-insensitive index, a unique one, constraints, and large values.
void CreateVarios(Connection& connection) {
  TZDBFieldDefs fields;
  auto id = testing::Field("id", TZDBLogicalType::AutoInc);
  id->SetAutoincInitialValue(100);
  fields.Add(std::move(id));
  auto nombre = testing::Field("Nombre", TZDBLogicalType::String, 20);
  nombre->SetDefaultValue(testing::StringValue("sin nombre"));
  fields.Add(std::move(nombre));
  fields.Add(testing::Field("Importe", TZDBLogicalType::Float));
  fields.Add(testing::Field("Activo", TZDBLogicalType::Logical));
  fields.Add(testing::Field("Codigo", TZDBLogicalType::Integer));
  auto doc = testing::Field("Doc", TZDBLogicalType::Blob);
  doc->SetBlobCompressionAlgorithm(CompressionZlib);
  doc->SetBlobCompressionMode(6);
  doc->SetBlobBlockSize(4096);
  fields.Add(std::move(doc));
  fields.Add(testing::Field("Notas", TZDBLogicalType::Memo));

  TZDBIndexDefs indexes;
  indexes.Add(Index("PK", {{"id"}}, true, true));
  indexes.Add(Index("PorNombre", {{"Nombre", true, true}}, false, false));
  indexes.Add(Index("PorCodigo", {{"Codigo"}}, false, true));

  TZDBConstraintDefs constraints;
  constraints.AddNotNull().SetTargetName("Codigo");
  TZDBConstraintDefCheck& importe = constraints.AddCheck();
  importe.SetTargetName("Importe");
  importe.SetMinValue(testing::FloatValue(0));
  importe.SetMaxValue(testing::FloatValue(1000000));
  TZDBConstraintDefUnique& codigo = constraints.AddUnique();
  codigo.SetName("C_Unique$Codigo");
  codigo.SetTargetName("PorCodigo");
  codigo.SetColumns({{"Codigo"}});
  CreateDiskTable(connection.Data(), connection.session, "Varios", fields, indexes, constraints);
}

// Rows of "Varios" through the table component, as the program writes rows. The last one
// is deleted again, so the counter stands above every id a row holds.
void FillVarios(const std::string& path) {
  TZDBDatabase database;
  database.SetDatabaseName("Relleno");
  database.SetDatabaseFileName(path);
  TZDBTable varios;
  varios.SetDatabaseName("Relleno");
  varios.SetTableName("Varios");
  varios.Open();
  auto doc = [&] { return &dynamic_cast<data::TBlobField&>(varios.FieldByName("Doc")); };
  struct Values {
    const char* nombre;  // nullptr: NULL
    double importe;      // < 0: NULL
    int32_t codigo;
    size_t docSize;  // 0: NULL
    const char* notas;
  };
  const Values rows[] = {
      {"Ana", 10.5, 7, 1, "corta"},
      {"beatriz", -1, 3, PageDataSize - 24, nullptr},
      {nullptr, 0, 9, 3 * PageDataSize + 5, nullptr},
      {"Zoe", 1, 1, 0, nullptr},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Values& row = rows[i];
    varios.Append();
    if (row.nombre != nullptr)
      varios.FieldByName("Nombre").SetAsString(row.nombre);
    else
      varios.FieldByName("Nombre").Clear();
    if (row.importe >= 0) varios.FieldByName("Importe").SetAsFloat(row.importe);
    if (i == 0) varios.FieldByName("Activo").SetAsBoolean(true);
    varios.FieldByName("Codigo").SetAsInteger(row.codigo);
    if (row.docSize > 0) doc()->SetAsBytes(testing::Noise(row.docSize, static_cast<uint32_t>(i + 1)));
    if (row.notas != nullptr) varios.FieldByName("Notas").SetAsString(row.notas);
    varios.Post();
  }
  varios.Last();
  varios.Delete();
  varios.Close();
  database.Close();
}

// --- what a reader of the file sees ------------------------------------------------------

// A table without what a copy gives anew (ObjectIDs, root pages): its definitions, its
// counters, and its rows in physical order and in the order of each index.
struct TableImage {
  Bytes Fields;
  Bytes Indexes;
  Bytes Constraints;
  std::vector<int64_t> Counters;
  int64_t RecordCount = 0;
  std::vector<std::vector<Bytes>> RowsByOrder;
};

Bytes Definitions(const TZDBFieldDefs& defs) {
  TZDBFieldDefs copy;
  copy.Assign(defs);
  for (int32_t i = 0; i < copy.Count(); ++i) copy.Items(i).SetObjectID(UnassignedObjectID);
  return Saved(copy);
}

Bytes Definitions(const TZDBIndexDefs& defs) {
  TZDBIndexDefs copy;
  copy.Assign(defs);
  for (int32_t i = 0; i < copy.Count(); ++i) {
    copy.Items(i).SetObjectID(UnassignedObjectID);
    copy.Items(i).SetRootPageNo(TZDBIndexDef::NoRootPageNo);
  }
  return Saved(copy);
}

Bytes Definitions(const TZDBConstraintDefs& defs) {
  TZDBConstraintDefs copy;
  copy.Assign(defs);
  for (int32_t i = 0; i < copy.Count(); ++i) {
    TZDBConstraintDef& constraint = copy.Items(i);
    constraint.SetObjectID(UnassignedObjectID);
    constraint.SetTargetObjectID(UnassignedObjectID);
    if (auto* key = dynamic_cast<TZDBKeyConstraintDef*>(&constraint))
      for (TZDBConstraintColumn& column : key->MutableColumns()) column.FieldObjectID = UnassignedObjectID;
  }
  return Saved(copy);
}

// Each field: its null bit, then its stored bytes, or a large value's parameters and bytes.
Bytes RowImage(TZDBOpenTable& table) {
  const TZDBFieldDefs& fields = table.Data().FieldManager()->FieldDefs();
  const uint8_t* row = table.Cursor().RecordBuffer();
  Bytes image;
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TZDBFieldDef& field = fields.Items(i);
    image.push_back(IsFieldNull(row, i) ? 1 : 0);
    if (!field.IsBlob()) {
      const uint8_t* value = row + field.MemoryOffset();
      image.insert(image.end(), value, value + field.StoredDataSize());
      continue;
    }
    Bytes bytes;
    TZDBBlobParams params;
    table.Data().ReadBlob(table.Cursor(), i, bytes, params);
    uint8_t header[12];
    le::PutI32(header, params.StreamParamA);
    le::PutI32(header + 4, params.StreamParamB);
    le::PutI32(header + 8, params.StreamParamC);
    image.insert(image.end(), header, header + sizeof header);
    image.insert(image.end(), bytes.begin(), bytes.end());
  }
  return image;
}

TableImage ImageOf(const std::string& path, const std::string& tableName) {
  Connection connection(path, false);
  TZDBTableCursor cursor(connection.session, tableName);
  TZDBOpenTable table(connection.Data(), cursor);
  TZDBDiskTableData& data = table.Data();
  TableImage image;
  image.Fields = Definitions(data.FieldManager()->FieldDefs());
  image.Indexes = Definitions(data.IndexManager()->IndexDefs());
  image.Constraints = Definitions(data.ConstraintManager()->ConstraintDefs());
  image.Counters = data.FieldManager()->AutoincValues();
  image.RecordCount = data.GetRecordCount(cursor);
  std::vector<int32_t> orders = {TZDBTableCursor::NoIndex};
  for (int32_t i = 0; i < data.IndexManager()->IndexDefs().Count(); ++i)
    orders.push_back(data.IndexManager()->IndexDefs().Items(i).ObjectID());
  for (const int32_t order : orders) {
    cursor.SetIndexID(order);
    cursor.SetToBegin();
    std::vector<Bytes> rows;
    while (data.GetRecord(cursor, grmNext) == grOK) rows.push_back(RowImage(table));
    image.RowsByOrder.push_back(rows);
  }
  return image;
}

std::vector<std::string> TableNames(const std::string& path) {
  Connection connection(path, false);
  return connection.Data().TableList()->List();
}

// Rows of "Varios" whose "Doc" holds a value.
int64_t DocCount(const std::string& path) {
  Connection connection(path, false);
  TZDBTableCursor cursor(connection.session, "Varios");
  TZDBOpenTable table(connection.Data(), cursor);
  const TZDBFieldDefs& fields = table.Data().FieldManager()->FieldDefs();
  int32_t doc = 0;
  while (fields.Items(doc).Name() != "Doc") ++doc;
  int64_t count = 0;
  while (table.Data().GetRecord(cursor, grmNext) == grOK) count += IsFieldNull(cursor.RecordBuffer(), doc) ? 0 : 1;
  return count;
}

std::vector<std::string> CheckProblems(const std::string& path, const std::string& tableName) {
  Connection connection(path, false);
  TZDBTableCursor cursor(connection.session, tableName);
  TZDBOpenTable table(connection.Data(), cursor);
  return CheckTable(table.Data(), cursor.SessionID()).Problems;
}

// --- the fixture ---------------------------------------------------------------------------

class TableCopy : public ::testing::Test {
 protected:
  TableCopy() {
    testing::CreateDatabaseFile(path_);
    {
      Connection connection(path_, false);
      CreateMaximo(connection, {2024, 2019, 2021});
      CreateVarios(connection);
    }
    FillVarios(path_);
    std::filesystem::copy_file(path_, original_);
    test::MarkCommitCutShort(path_);
    zelmarot_.SetDatabaseName("Zelmarot");
    zelmarot_.SetMultiUser(true);
    zelmarot_.SetMaxConnections(500);
    zelmarot_.SetDatabaseFileName(path_);
  }
  ~TableCopy() override {
    zelmarot_.Close();
    EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
  }

  // Opens the component with the repair answered as given; answers the warnings shown.
  std::vector<std::string> OpenAnswering(bool repair) {
    test::ScriptedUserScope user;
    user->repair = repair;
    zelmarot_.Open();
    EXPECT_EQ(user->questions, std::vector<std::string>{RepairQuestion});
    zelmarot_.Close();
    return user->warnings;
  }

  // Changes a page of the file as damage would, with a valid page around it.
  void Damage(int32_t pageNo, const std::function<void(TZDBPage&)>& change) {
    Connection connection(path_, false);
    const int32_t session = connection.session.SessionID();
    {
      TZDBPageRef page(*connection.Data().PageManager(), session, pageNo, false, AnyPageType);
      change(*page);
      page->MarkDirty();
    }
    connection.Data().Commit(session, true);
  }

  testing::ScratchFolder folder_;
  std::string path_ = folder_.File("Zelmarot.zdb");
  std::string original_ = folder_.File("original.zdb");
  TZDBDatabase zelmarot_;
};

TEST_F(TableCopy, RepairedFileHoldsTheSameTablesRowsCountersAndLargeValues) {
  EXPECT_TRUE(OpenAnswering(true).empty());
  EXPECT_EQ(test::WriteState(path_), layout::WriteStateConsistent);

  ASSERT_EQ(TableNames(path_), TableNames(original_));
  for (const std::string& name : TableNames(original_)) {
    SCOPED_TRACE(name);
    const TableImage before = ImageOf(original_, name);
    const TableImage after = ImageOf(path_, name);
    EXPECT_EQ(after.Fields, before.Fields);
    EXPECT_EQ(after.Indexes, before.Indexes);
    EXPECT_EQ(after.Constraints, before.Constraints);
    EXPECT_EQ(after.Counters, before.Counters);
    EXPECT_EQ(after.RecordCount, before.RecordCount);
    EXPECT_EQ(after.RowsByOrder, before.RowsByOrder);
    EXPECT_EQ(CheckProblems(path_, name), std::vector<std::string>{});
  }

  // What the comparison stands on: ids kept with their gap, the counter above them, the
  // values of every size.
  Connection connection(path_, false);
  TZDBTableCursor cursor(connection.session, "Varios");
  TZDBOpenTable varios(connection.Data(), cursor);
  const testing::Row row(varios);
  std::vector<int32_t> ids;
  std::vector<int64_t> docSizes;
  while (varios.Data().GetRecord(cursor, grmNext) == grOK) {
    ids.push_back(row.Integer(0));
    Bytes bytes;
    TZDBBlobParams params;
    varios.Data().ReadBlob(cursor, 5, bytes, params);
    docSizes.push_back(params.Size());
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{101, 102, 103}));
  EXPECT_EQ(docSizes, (std::vector<int64_t>{1, PageDataSize - 24, 3 * PageDataSize + 5}));
  row.Clear();
  row.SetInteger(4, 40);
  PostInsert(varios.Data(), cursor);
  EXPECT_EQ(row.Integer(0), 105);
}

TEST_F(TableCopy, UnreadableRowsAreReportedAndEveryOtherRowIsCopied) {
  struct Case {
    const char* what;
    const char* table;
    std::vector<std::string> warnings;
    int64_t maximoRows;
    int64_t variosRows;
    int64_t variosDocs;  // rows whose "Doc" is not NULL
  };
  const Case cases[] = {
      // A record page that is no longer the table's holds no row of it: its rows are
      // counted, the other table comes whole.
      {"record page of another table",
       "Maximo",
       {"Problem occured while copying table 'Maximo': '3 of 3 rows could not be read: record page %d is not a "
        "record page of the table'"},
       0,
       3,
       3},
      // The row with the broken value is kept, its value empty; the other rows are whole.
      {"broken chain of a large value",
       "Varios",
       {"Problem occured while copying table 'Varios': '1 large value could not be read: Cannot read BLOB field "
        "value - Native error: 20291'"},
       3,
       3,
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::copy_file(original_, path_, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(path_ + ".bak");
    int32_t pageNo = -1;
    {
      Connection connection(path_, false);
      TZDBTableCursor cursor(connection.session, c.table);
      TZDBOpenTable table(connection.Data(), cursor);
      ASSERT_EQ(table.Data().GetRecord(cursor, grmNext), grOK);
      if (std::string(c.table) == "Maximo") {
        pageNo = cursor.RecordID().PageNo;
      } else {
        // The third row's value has a chain of its own.
        ASSERT_EQ(table.Data().GetRecord(cursor, grmNext), grOK);
        ASSERT_EQ(table.Data().GetRecord(cursor, grmNext), grOK);
        const TZDBFieldDef& doc = *table.Data().FieldManager()->FieldDefs().FindByName("Doc");
        const TZDBBlobReference reference = TZDBBlobReference::Load(cursor.RecordBuffer() + doc.MemoryOffset());
        ASSERT_EQ(reference.BlobID, TZDBBlobReference::ChainID);
        pageNo = reference.PageNo;
      }
    }
    if (std::string(c.table) == "Maximo")
      Damage(pageNo, [](TZDBPage& page) { page.SetOwnerObjectID(page.OwnerObjectID() + 1000); });
    else
      Damage(pageNo, [](TZDBPage& page) {
        le::PutI32(page.Data() + TZDBBlobChainLocator::Offset + TZDBBlobChainLocator::PageCountOffset, 1 << 20);
      });
    test::MarkCommitCutShort(path_);
    const std::vector<uint8_t> before = test::ReadBytes(path_);

    std::vector<std::string> warnings = OpenAnswering(true);
    ASSERT_EQ(warnings.size(), 1u);
    std::vector<std::string> expected;
    for (const std::string& warning : c.warnings) expected.push_back(FormatMessage(warning, {pageNo}));
    expected.push_back("The damaged file was kept as '" + path_ + ".bak'.");
    std::vector<std::string> lines;
    std::istringstream text(warnings[0]);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(test::ReadBytes(path_ + ".bak"), before);
    EXPECT_EQ(test::WriteState(path_), layout::WriteStateConsistent);

    EXPECT_EQ(ImageOf(path_, "Maximo").RecordCount, c.maximoRows);
    EXPECT_EQ(ImageOf(path_, "Varios").RecordCount, c.variosRows);
    for (const std::string& name : TableNames(path_)) EXPECT_EQ(CheckProblems(path_, name), std::vector<std::string>{});
    EXPECT_EQ(DocCount(path_), c.variosDocs);
  }
}

// Bytes changed inside a row: the row is not copied as garbage, or against the table's
// constraints, but counted, and every other row is copied.
TEST_F(TableCopy, ARowWhoseBytesWereChangedIsCountedAndTheOthersAreCopied) {
  TZDBRecordID id;
  int32_t storedSize = 0;
  TZDBFieldDefs defs;
  {
    Connection connection(path_, false);
    TZDBTableCursor cursor(connection.session, "Varios");
    TZDBOpenTable table(connection.Data(), cursor);
    ASSERT_EQ(table.Data().GetRecord(cursor, grmNext), grOK);
    id = cursor.RecordID();
    storedSize = table.Data().FieldManager()->StoredRecordSize();
    defs.Assign(table.Data().FieldManager()->FieldDefs());
  }
  const auto field = [&](const char* name) -> const TZDBFieldDef& { return *defs.FindByName(name); };
  struct Case {
    const char* what;
    std::function<void(uint8_t* stored)> change;
    std::string problem;  // empty: the constraint's own text
  };
  const Case cases[] = {
      {"a text without its end",
       [&](uint8_t* stored) {
         std::fill_n(stored + field("Nombre").StoredOffset(), field("Nombre").StoredDataSize(), uint8_t{'z'});
       },
       FormatMessage("row %d of record page %d does not hold values of the table's fields",
                     {int32_t{id.RecordNo}, id.PageNo})},
      {"a value outside its check", [&](uint8_t* stored) {
         le::PutU64(stored + field("Importe").StoredOffset(), std::bit_cast<uint64_t>(5e9));
       }, ""},
      {"a NULL where none may be", [&](uint8_t* stored) {
         const int32_t codigo = defs.IndexOfName("Codigo");
         stored[codigo / 8] = static_cast<uint8_t>(stored[codigo / 8] | (1u << (codigo % 8)));
       }, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::copy_file(original_, path_, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(path_ + ".bak");
    Damage(id.PageNo, [&](TZDBPage& page) {
      TZDBSmallRecordPage view(page, storedSize, TZDBSmallRecordPage::ComputeRecordsPerPage(PageDataSize, storedSize));
      Bytes stored(static_cast<size_t>(storedSize));
      ASSERT_TRUE(view.ReadRecord(id, stored.data()));
      c.change(stored.data());
      ASSERT_TRUE(view.UpdateRecord(stored.data(), id));
    });
    test::MarkCommitCutShort(path_);

    const std::vector<std::string> warnings = OpenAnswering(true);
    ASSERT_EQ(warnings.size(), 1u);
    const std::string prefix = "Problem occured while copying table 'Varios': '1 of 3 rows could not be read: ";
    EXPECT_EQ(warnings[0].substr(0, prefix.size()), prefix) << warnings[0];
    if (!c.problem.empty()) {
      EXPECT_EQ(warnings[0].substr(prefix.size(), c.problem.size()), c.problem);
    }
    EXPECT_EQ(ImageOf(path_, "Maximo").RowsByOrder, ImageOf(original_, "Maximo").RowsByOrder);
    EXPECT_EQ(ImageOf(path_, "Varios").RecordCount, 2);
    EXPECT_EQ(CheckProblems(path_, "Varios"), std::vector<std::string>{});
  }
}

// An interrupted copy of the file: cut short, it does not open (the text names both sizes),
// and the repair keeps every table whose pages are all there and reports the others.
TEST_F(TableCopy, ACutShortCopyIsRepairedWithEveryTableWhosePagesAreThere) {
  const std::vector<uint8_t> whole = test::ReadBytes(original_);
  const int32_t lastUsed = le::GetI32(whole.data() + layout::HeaderLastUsedPageNoOffset);
  const int32_t total = le::GetI32(whole.data() + layout::HeaderTotalPageCountOffset);
  const int64_t lastUsedStart = layout::DefaultPageAreaStart + int64_t{lastUsed} * 4096;
  ASSERT_LT(lastUsed, total - 1) << "the file's tail is free";
  struct Case {
    const char* what;
    int64_t size;
    bool everyTableWhole;
  };
  const Case cases[] = {
      {"the last 492 bytes", static_cast<int64_t>(whole.size()) - 492, true},
      {"from the middle of the last used page on", lastUsedStart + 100, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(path_ + ".bak");
    test::WriteBytes(path_, std::vector<uint8_t>(whole.begin(), whole.begin() + c.size));
    try {
      Connection connection(path_, false);
      ADD_FAILURE() << "a cut-short file opened";
    } catch (const EZDBException& error) {
      EXPECT_EQ(std::string(error.what()),
                test::ErrorText("Invalid database format: the file is " + std::to_string(c.size) +
                                    " bytes long, its header describes " +
                                    std::to_string(layout::DefaultPageAreaStart + int64_t{total} * 4096) + " bytes",
                                20237));
    }
    zelmarot_.SetSilentMode(true);
    EXPECT_TRUE(zelmarot_.Repair());
    const TZDBRepairReport& report = zelmarot_.LastRepairReport();
    EXPECT_EQ(test::ReadBytes(path_ + ".bak").size(), static_cast<size_t>(c.size));
    ASSERT_EQ(TableNames(path_), TableNames(original_));
    int wholeTables = 0;
    for (const TZDBTableRepairReport& table : report.Tables) {
      SCOPED_TRACE(table.TableName);
      EXPECT_EQ(CheckProblems(path_, table.TableName), std::vector<std::string>{});
      const bool same = ImageOf(path_, table.TableName).RowsByOrder == ImageOf(original_, table.TableName).RowsByOrder;
      // A table is whole, or says what it lost.
      EXPECT_EQ(same, table.Complete()) << table.Problem;
      if (!table.Complete()) {
        EXPECT_FALSE(table.Problem.empty());
      }
      wholeTables += same ? 1 : 0;
    }
    EXPECT_EQ(wholeTables == static_cast<int>(report.Tables.size()), c.everyTableWhole);
  }
}

// The program's own file: "Zelmarot" with "Maximo" and "Control", reached the way the
// calculator reaches it, by opening "Maximo" on index "ANY" and searching a year.
TEST(ProgramDatabase, RepairedOnYesAndReadAsBefore) {
  testing::ScratchFolder folder;
  const std::string path = folder.File("Zelmarot.zdb");
  testing::CreateDatabaseFile(path);
  {
    Connection connection(path, true);
    CreateMaximo(connection, {2021, 2022, 2023, 2024});
    TZDBFieldDefs control;
    testing::AddControlFields(control);
    CreateDiskTable(connection.Data(), connection.session, "Control", control, {}, {});
    TZDBTableCursor cursor(connection.session, "Control");
    TZDBOpenTable table(connection.Data(), cursor);
    testing::Row row(table);
    row.Clear();
    row.SetFloat(0, 2.5);
    row.SetFloat(1, 3.25);
    PostInsert(table.Data(), cursor);
  }
  test::MarkCommitCutShort(path);

  TZDBDatabase zelmarot;
  zelmarot.SetDatabaseName("Zelmarot");
  zelmarot.SetMultiUser(true);
  zelmarot.SetExclusive(false);
  zelmarot.SetMaxConnections(500);
  zelmarot.SetDatabaseFileName(path);
  test::ScriptedUserScope user;
  user->repair = true;
  {
    TZDBTable maximo;
    maximo.SetDatabaseName("Zelmarot");
    maximo.SetTableName("Maximo");
    maximo.SetIndexName("ANY");
    maximo.Open();
    EXPECT_EQ(user->questions, std::vector<std::string>{RepairQuestion});
    EXPECT_TRUE(user->warnings.empty());
    ASSERT_TRUE(maximo.FindKey({PlatformVariant::Integral(TVarType::Integer, 2023)}));
    EXPECT_EQ(maximo.FieldByName("PenMax").AsFloat(), 2023.25);
    EXPECT_EQ(maximo.FieldByName("TopeCot").AsFloat(), 2023 * 2 + 0.5);
    EXPECT_EQ(maximo.RecordCount(), 4);
  }
  {
    TZDBTable control;
    control.SetDatabaseName("Zelmarot");
    control.SetTableName("Control");
    control.Open();
    EXPECT_EQ(control.FieldByName("PorPMax").AsFloat(), 2.5);
    EXPECT_EQ(control.FieldByName("PorTCot").AsFloat(), 3.25);
  }
  zelmarot.Close();
  EXPECT_EQ(test::WriteState(path), layout::WriteStateConsistent);
  for (const char* table : {"Maximo", "Control"}) EXPECT_EQ(CheckProblems(path, table), std::vector<std::string>{});
}

}  // namespace
}  // namespace zdb
