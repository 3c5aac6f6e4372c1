#include "bench/ZdbWorkload.h"

#include <filesystem>
#include <utility>

#include "engine/base/ZDBPlatformVariant.h"
#include "engine/dataset/ZDBDatabase.h"
#include "engine/dataset/ZDBLocalSession.h"
#include "engine/dataset/ZDBTable.h"
#include "engine/file/ZDBDiskDatabaseData.h"
#include "engine/framework/Field.h"
#include "engine/table/ZDBConstraintDef.h"
#include "engine/table/ZDBFieldDef.h"
#include "engine/table/ZDBIndexDef.h"
#include "engine/table/ZDBTableAccess.h"
#include "store/LimitesZDB.h"

namespace bench {
namespace {

using zdb::TZDBLogicalType;

zdb::PlatformVariant Integer(int32_t value) { return zdb::PlatformVariant::Integral(zdb::TVarType::Integer, value); }

struct FieldSpec {
  const char* name;
  TZDBLogicalType type;
  int32_t size = 0;
};

struct IndexSpec {
  const char* name;
  const char* field;
  bool unique;
};

// A table as the zdb tool makes one: a unique index also gets its constraint, so that
// posting checks the key.
void CreateTable(zdb::TZDBDatabase& database, const char* name, const std::vector<FieldSpec>& fields,
                 const std::vector<IndexSpec>& indexes) {
  zdb::TZDBFieldDefs fieldDefs;
  for (const FieldSpec& field : fields)
    fieldDefs.Add(std::make_unique<zdb::TZDBFieldDef>(field.name, field.type, field.size));
  zdb::TZDBIndexDefs indexDefs;
  zdb::TZDBConstraintDefs constraintDefs;
  for (const IndexSpec& index : indexes) {
    auto definition = std::make_unique<zdb::TZDBIndexDef>();
    definition->SetName(index.name);
    definition->SetColumns({{index.field}});
    definition->SetUnique(index.unique);
    indexDefs.Add(std::move(definition));
    if (!index.unique) continue;
    zdb::TZDBConstraintDefUnique& key = constraintDefs.AddUnique();
    key.SetName(std::string("C_Unique$") + index.field);
    key.SetTargetName(index.name);
    key.SetColumns({{index.field, zdb::UnassignedObjectID}});
  }
  zdb::CreateDiskTable(*database.DatabaseData(), *database.Handle(), name, fieldDefs, indexDefs, constraintDefs);
}

// One table of the component, open for the object's lifetime.
class OpenTable {
 public:
  OpenTable(const char* name, const char* index) {
    table_.SetDatabaseName(NombreComponente);
    table_.SetTableName(name);
    if (index != nullptr) table_.SetIndexName(index);
    table_.Open();
  }
  zdb::TZDBTable* operator->() { return &table_; }
  zdb::TZDBTable& operator*() { return table_; }
  data::TField& Field(const char* name) { return table_.FieldByName(name); }

 private:
  zdb::TZDBTable table_;
};

class Transaction {
 public:
  explicit Transaction(zdb::TZDBDatabase& database) : database_(database) { database_.StartTransaction(); }
  ~Transaction() {
    if (database_.InTransaction()) database_.Rollback();
  }
  void Commit() { database_.Commit(); }

 private:
  zdb::TZDBDatabase& database_;
};

void InsertDatos(OpenTable& table, int32_t first, int32_t count, zdb::TZDBDatabase* inTransaction) {
  data::TField& k = table.Field("k");
  data::TField& grp = table.Field("grp");
  data::TField& a = table.Field("a");
  data::TField& b = table.Field("b");
  std::unique_ptr<Transaction> transaction;
  if (inTransaction != nullptr) transaction = std::make_unique<Transaction>(*inTransaction);
  for (int32_t key = first; key < first + count; ++key) {
    table->Insert();
    k.SetAsInteger(key);
    grp.SetAsInteger(key % GroupCount);
    a.SetAsFloat(FieldA(key));
    b.SetAsFloat(FieldB(key));
    table->Post();
  }
  if (transaction) transaction->Commit();
}

double Scan(const char* name, const char* field) {
  OpenTable table(name, "K");
  data::TField& value = table.Field(field);
  double sum = 0;
  for (table->First(); !table->Eof(); table->Next()) sum += value.AsFloat();
  return sum;
}

}  // namespace

ZdbWorkload::ZdbWorkload(std::string path, bool multiUser) : path_(std::move(path)), multiUser_(multiUser) {}

ZdbWorkload::~ZdbWorkload() { Close(); }

std::string ZdbWorkload::Name() const { return multiUser_ ? "ZDB multi-user" : "ZDB single-user"; }

void ZdbWorkload::Connect() {
  database_ = std::make_shared<zdb::TZDBDatabase>();
  database_->SetDatabaseName(NombreComponente);
  database_->SetDatabaseFileName(path_);
  database_->SetMultiUser(multiUser_);
  database_->SetExclusive(false);
  database_->SetMaxConnections(MaximoConexiones);
  database_->Open();
}

void ZdbWorkload::Create() {
  std::filesystem::remove(path_);
  {
    zdb::TZDBDiskDatabaseData creator(path_);
    creator.CreateDatabase();
  }
  Connect();
  CreateTable(*database_, "Datos",
              {{"k", TZDBLogicalType::Integer}, {"grp", TZDBLogicalType::Integer}, {"a", TZDBLogicalType::Float},
               {"b", TZDBLogicalType::Float}},
              {{"K", "k", true}, {"GRP", "grp", false}});
  CreateTable(*database_, "Ancho",
              {{"k", TZDBLogicalType::Integer},
               {"s", TZDBLogicalType::String, WideTextSize},
               {"a", TZDBLogicalType::Float}},
              {{"K", "k", true}});
  CreateTable(*database_, "Grande",
              {{"k", TZDBLogicalType::Integer}, {"a", TZDBLogicalType::Float}, {"b", TZDBLogicalType::Float}},
              {{"K", "k", true}});
  CreateTable(*database_, "Maximo",
              {{"any", TZDBLogicalType::Integer},
               {"PenMax", TZDBLogicalType::Float},
               {"TopeCot", TZDBLogicalType::Float}},
              {{"ANY", "any", false}});
  OpenTable maximo("Maximo", "ANY");
  for (int32_t year = FirstYear; year <= LastYear; ++year) {
    maximo->Insert();
    maximo.Field("any").SetAsInteger(year);
    maximo.Field("PenMax").SetAsFloat(FieldA(year));
    maximo.Field("TopeCot").SetAsFloat(FieldB(year));
    maximo->Post();
  }
}

void ZdbWorkload::InsertOneCommitEach(int32_t first, int32_t count) {
  OpenTable table("Datos", "K");
  InsertDatos(table, first, count, nullptr);
}

void ZdbWorkload::InsertInTransaction(int32_t first, int32_t count) {
  OpenTable table("Datos", "K");
  InsertDatos(table, first, count, database_.get());
}

double ZdbWorkload::LookUp(const std::vector<int32_t>& keys) {
  OpenTable table("Datos", "K");
  data::TField& a = table.Field("a");
  double sum = 0;
  for (int32_t key : keys)
    if (table->FindKey({Integer(key)})) sum += a.AsFloat();
  return sum;
}

double ZdbWorkload::ScanInKeyOrder() { return Scan("Datos", "a"); }

void ZdbWorkload::EditOneCommitEach(const std::vector<int32_t>& keys) {
  OpenTable table("Datos", "K");
  data::TField& a = table.Field("a");
  for (int32_t key : keys) {
    if (!table->FindKey({Integer(key)})) continue;
    table->Edit();
    a.SetAsFloat(a.AsFloat() + 1);
    table->Post();
  }
}

void ZdbWorkload::EditInTransaction(const std::vector<int32_t>& keys) {
  OpenTable table("Datos", "K");
  data::TField& a = table.Field("a");
  Transaction transaction(*database_);
  for (int32_t key : keys) {
    if (!table->FindKey({Integer(key)})) continue;
    table->Edit();
    a.SetAsFloat(a.AsFloat() + 1);
    table->Post();
  }
  transaction.Commit();
}

void ZdbWorkload::DeleteInTransaction(const std::vector<int32_t>& keys) {
  OpenTable table("Datos", "K");
  Transaction transaction(*database_);
  for (int32_t key : keys)
    if (table->FindKey({Integer(key)})) table->Delete();
  transaction.Commit();
}

void ZdbWorkload::Reopen() {
  Close();
  Connect();
}

double ZdbWorkload::LookUpGroups(const std::vector<int32_t>& groups) {
  OpenTable table("Datos", "GRP");
  data::TField& a = table.Field("a");
  double sum = 0;
  for (int32_t group : groups)
    if (table->FindKey({Integer(group)})) sum += a.AsFloat();
  return sum;
}

void ZdbWorkload::InsertWide(int32_t count) {
  OpenTable table("Ancho", "K");
  data::TField& k = table.Field("k");
  data::TField& s = table.Field("s");
  data::TField& a = table.Field("a");
  Transaction transaction(*database_);
  for (int32_t key = 0; key < count; ++key) {
    table->Insert();
    k.SetAsInteger(key);
    s.SetAsString(WideText(key));
    a.SetAsFloat(FieldA(key));
    table->Post();
  }
  transaction.Commit();
}

double ZdbWorkload::ScanWide() {
  OpenTable table("Ancho", "K");
  data::TField& s = table.Field("s");
  double sum = 0;
  for (table->First(); !table->Eof(); table->Next()) sum += static_cast<double>(s.AsString().size());
  return sum;
}

void ZdbWorkload::InsertLarge(int32_t count) {
  OpenTable table("Grande", "K");
  data::TField& k = table.Field("k");
  data::TField& a = table.Field("a");
  data::TField& b = table.Field("b");
  Transaction transaction(*database_);
  for (int32_t key = 0; key < count; ++key) {
    table->Insert();
    k.SetAsInteger(key);
    a.SetAsFloat(FieldA(key));
    b.SetAsFloat(FieldB(key));
    table->Post();
  }
  transaction.Commit();
}

double ZdbWorkload::ScanLarge() { return Scan("Grande", "a"); }

double ZdbWorkload::YearLookups(const std::vector<int32_t>& years) {
  TLimitesZDB limits(database_);
  double sum = 0;
  for (int32_t year : years) {
    const TConsultaAny found = limits.ConsultaAny(year);
    if (found.Fila) sum += found.Fila->PenMax + found.Fila->TopeCot;
  }
  return sum;
}

void ZdbWorkload::Close() {
  if (!database_) return;
  database_->Close();
  database_.reset();
}

}  // namespace bench
