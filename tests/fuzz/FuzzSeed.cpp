#include "tests/fuzz/FuzzSeed.h"

#include <filesystem>
#include <memory>
#include <string>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBEndian.h"
#include "engine/dataset/ZDBDatabase.h"
#include "engine/dataset/ZDBTable.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/file/ZDBPage.h"
#include "engine/framework/BlobFields.h"
#include "tests/engine/file/support/DiskTestSupport.h"
#include "tests/engine/table/support/BlobTestSupport.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace zdbfuzz {
namespace {

using zdb::TZDBLogicalType;
using zdb::testing::Field;

constexpr const char* SeedDatabaseName = "FuzzSeed";
constexpr int32_t MaximoRows = 400;
constexpr int32_t FirstYear = 1000;
constexpr int32_t DeleteEveryNth = 7;
constexpr int32_t VariosRows = 100;
constexpr int32_t LargeValueEveryNth = 20;
constexpr size_t PageDataSize = zdb::layout::DefaultPageSize - zdb::layout::PageHeaderSize;

std::unique_ptr<zdb::TZDBIndexDef> Index(const char* name, std::vector<zdb::TZDBIndexColumn> columns, bool primary,
                                         bool unique) {
  auto index = std::make_unique<zdb::TZDBIndexDef>();
  index->SetName(name);
  index->SetColumns(std::move(columns));
  index->SetPrimary(primary);
  index->SetUnique(unique);
  return index;
}

void CreateTables(const std::string& path) {
  zdb::testing::Connection connection(path, false);
  zdb::testing::CreateMaximo(connection, "Maximo", [](zdb::TZDBIndexDefs& indexes) {
    zdb::testing::AddAnyIndex(indexes, true);
  });

  zdb::TZDBFieldDefs varios;
  varios.Add(Field("id", TZDBLogicalType::AutoInc));
  varios.Add(Field("Nombre", TZDBLogicalType::String, 30));
  varios.Add(Field("Importe", TZDBLogicalType::Float));
  varios.Add(Field("Activo", TZDBLogicalType::Logical));
  auto doc = Field("Doc", TZDBLogicalType::Blob);
  doc->SetBlobCompressionAlgorithm(zdb::CompressionZlib);
  doc->SetBlobCompressionMode(6);
  varios.Add(std::move(doc));
  varios.Add(Field("Notas", TZDBLogicalType::Memo));
  zdb::TZDBIndexDefs indexes;
  indexes.Add(Index("PK", {{"id"}}, true, true));
  indexes.Add(Index("PorNombre", {{"Nombre", false, true}}, false, false));
  zdb::CreateDiskTable(connection.Data(), connection.session, "Varios", varios, indexes, {});

  zdb::TZDBFieldDefs control;
  zdb::testing::AddControlFields(control);
  zdb::CreateDiskTable(connection.Data(), connection.session, "Control", control, {}, {});
}

zdb::TZDBTable& OpenTable(zdb::TZDBTable& table, const char* name) {
  table.SetDatabaseName(SeedDatabaseName);
  table.SetTableName(name);
  table.Open();
  return table;
}

void FillRows(const std::string& path) {
  zdb::TZDBDatabase database;
  database.SetDatabaseName(SeedDatabaseName);
  database.SetDatabaseFileName(path);
  database.Open();
  database.StartTransaction();
  {
    zdb::TZDBTable maximo;
    OpenTable(maximo, "Maximo");
    for (int32_t i = 0; i < MaximoRows; ++i) {
      // Keys out of order, so the index splits pages in the middle as well as at the end.
      const int32_t year = FirstYear + (i * 263) % MaximoRows;
      maximo.Append();
      maximo.FieldByName("any").SetAsInteger(year);
      maximo.FieldByName("PenMax").SetAsFloat(year * 2.5);
      maximo.FieldByName("TopeCot").SetAsFloat(year * 3.25);
      maximo.Post();
    }
    int32_t row = 0;
    for (maximo.First(); !maximo.Eof(); ++row) {
      if (row % DeleteEveryNth == 0)
        maximo.Delete();
      else
        maximo.Next();
    }
  }
  {
    zdb::TZDBTable varios;
    OpenTable(varios, "Varios");
    auto& doc = dynamic_cast<data::TBlobField&>(varios.FieldByName("Doc"));
    for (int32_t i = 0; i < VariosRows; ++i) {
      varios.Append();
      if (i % 11 != 0) varios.FieldByName("Nombre").SetAsString("Nombre " + std::to_string((i * 37) % VariosRows));
      varios.FieldByName("Importe").SetAsFloat(i * 10.5);
      varios.FieldByName("Activo").SetAsBoolean(i % 2 == 0);
      const uint32_t valueSeed = static_cast<uint32_t>(i + 1);
      if (i % LargeValueEveryNth == 0)
        doc.SetAsBytes(zdb::testing::Noise(3 * PageDataSize + 5, valueSeed));
      else if (i % 3 == 0)
        doc.SetAsBytes(zdb::testing::TextLike(100 + static_cast<size_t>(i), valueSeed));
      if (i % 4 == 0) varios.FieldByName("Notas").SetAsString("nota " + std::to_string(i));
      varios.Post();
    }
  }
  {
    zdb::TZDBTable control;
    OpenTable(control, "Control");
    control.Append();
    control.FieldByName("PorPMax").SetAsFloat(2.5);
    control.FieldByName("PorTCot").SetAsFloat(3.0);
    control.Post();
  }
  database.Commit();
  database.Close();
}

// Page versions are drawn at random when pages are allocated; the readers only compare
// them with their own copies, so fixed values make the same file every time.
void FixPageVersions(Bytes& bytes) {
  const int64_t pageSize = zdb::le::GetU16(bytes.data() + zdb::layout::HeaderPageSizeOffset);
  for (int64_t start = zdb::layout::DefaultPageAreaStart, pageNo = 0;
       start + pageSize <= static_cast<int64_t>(bytes.size()); start += pageSize, ++pageNo) {
    uint8_t* version = bytes.data() + start + zdb::TZDBPage::PageVersionOffset;
    if (zdb::le::GetI32(version) != zdb::layout::PageVersionFreed)
      zdb::le::PutI32(version, static_cast<int32_t>(pageNo + 1));
  }
}

}  // namespace

Bytes BuildSeedDatabase(const std::string& path) {
  std::filesystem::remove(path);
  zdb::testing::CreateDatabaseFile(path);
  CreateTables(path);
  FillRows(path);
  Bytes bytes = zdb::test::ReadBytes(path);
  FixPageVersions(bytes);
  zdb::test::WriteBytes(path, bytes);
  return bytes;
}

}  // namespace zdbfuzz
