#include "bench/SqliteWorkload.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <utility>

namespace bench {
namespace {

void Check(sqlite3* db, int result, int expected = SQLITE_OK) {
  if (result != expected) throw std::runtime_error(std::string("SQLite: ") + sqlite3_errmsg(db));
}

// A prepared statement for the object's lifetime.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) { Check(db, sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr)); }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int32_t value) {
    Check(db_, sqlite3_bind_int(statement_, index, value));
    return *this;
  }
  Statement& Bind(int index, double value) {
    Check(db_, sqlite3_bind_double(statement_, index, value));
    return *this;
  }
  Statement& Bind(int index, const std::string& value) {
    Check(db_, sqlite3_bind_text(statement_, index, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
    return *this;
  }
  // True while a row is there.
  bool Step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) return true;
    Check(db_, result, SQLITE_DONE);
    return false;
  }
  void Run() {
    Step();
    Reset();
  }
  void Reset() { sqlite3_reset(statement_); }
  double Double(int column) const { return sqlite3_column_double(statement_, column); }
  int Bytes(int column) const {
    sqlite3_column_text(statement_, column);
    return sqlite3_column_bytes(statement_, column);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace

SqliteWorkload::SqliteWorkload(std::string path) : path_(std::move(path)) {}

SqliteWorkload::~SqliteWorkload() { Close(); }

void SqliteWorkload::Connect() {
  Check(db_, sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr));
  Execute("PRAGMA journal_mode=DELETE");
  Execute("PRAGMA synchronous=FULL");
}

void SqliteWorkload::Execute(const char* sql) { Check(db_, sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }

void SqliteWorkload::Create() {
  std::filesystem::remove(path_);
  Connect();
  Execute("CREATE TABLE Datos(k INTEGER PRIMARY KEY, grp INTEGER, a REAL, b REAL)");
  Execute("CREATE INDEX GRP ON Datos(grp)");
  Execute("CREATE TABLE Ancho(k INTEGER PRIMARY KEY, s TEXT, a REAL)");
  Execute("CREATE TABLE Grande(k INTEGER PRIMARY KEY, a REAL, b REAL)");
  Execute("CREATE TABLE Maximo(\"any\" INTEGER, PenMax REAL, TopeCot REAL)");
  Execute("CREATE INDEX ANY ON Maximo(\"any\")");
  Execute("BEGIN");
  Statement insert(db_, "INSERT INTO Maximo VALUES(?, ?, ?)");
  for (int32_t year = FirstYear; year <= LastYear; ++year) insert.Bind(1, year).Bind(2, FieldA(year)).Bind(3, FieldB(year)).Run();
  Execute("COMMIT");
}

void SqliteWorkload::InsertDatos(int32_t first, int32_t count) {
  Statement insert(db_, "INSERT INTO Datos VALUES(?, ?, ?, ?)");
  for (int32_t key = first; key < first + count; ++key)
    insert.Bind(1, key).Bind(2, key % GroupCount).Bind(3, FieldA(key)).Bind(4, FieldB(key)).Run();
}

void SqliteWorkload::InsertOneCommitEach(int32_t first, int32_t count) { InsertDatos(first, count); }

void SqliteWorkload::InsertInTransaction(int32_t first, int32_t count) {
  Execute("BEGIN");
  InsertDatos(first, count);
  Execute("COMMIT");
}

double SqliteWorkload::LookUp(const std::vector<int32_t>& keys) {
  Statement select(db_, "SELECT a FROM Datos WHERE k = ?");
  double sum = 0;
  for (int32_t key : keys) {
    if (select.Bind(1, key).Step()) sum += select.Double(0);
    select.Reset();
  }
  return sum;
}

double SqliteWorkload::SumColumn(const char* sql) {
  Statement select(db_, sql);
  double sum = 0;
  while (select.Step()) sum += select.Double(0);
  return sum;
}

double SqliteWorkload::ScanInKeyOrder() { return SumColumn("SELECT a FROM Datos ORDER BY k"); }

void SqliteWorkload::EditRows(const std::vector<int32_t>& keys) {
  Statement update(db_, "UPDATE Datos SET a = a + 1 WHERE k = ?");
  for (int32_t key : keys) update.Bind(1, key).Run();
}

void SqliteWorkload::EditOneCommitEach(const std::vector<int32_t>& keys) { EditRows(keys); }

void SqliteWorkload::EditInTransaction(const std::vector<int32_t>& keys) {
  Execute("BEGIN");
  EditRows(keys);
  Execute("COMMIT");
}

void SqliteWorkload::DeleteInTransaction(const std::vector<int32_t>& keys) {
  Execute("BEGIN");
  Statement remove(db_, "DELETE FROM Datos WHERE k = ?");
  for (int32_t key : keys) remove.Bind(1, key).Run();
  Execute("COMMIT");
}

void SqliteWorkload::Reopen() {
  Close();
  Connect();
}

double SqliteWorkload::LookUpGroups(const std::vector<int32_t>& groups) {
  Statement select(db_, "SELECT a FROM Datos WHERE grp = ? ORDER BY grp LIMIT 1");
  double sum = 0;
  for (int32_t group : groups) {
    if (select.Bind(1, group).Step()) sum += select.Double(0);
    select.Reset();
  }
  return sum;
}

void SqliteWorkload::InsertWide(int32_t count) {
  Execute("BEGIN");
  Statement insert(db_, "INSERT INTO Ancho VALUES(?, ?, ?)");
  for (int32_t key = 0; key < count; ++key) insert.Bind(1, key).Bind(2, WideText(key)).Bind(3, FieldA(key)).Run();
  Execute("COMMIT");
}

double SqliteWorkload::ScanWide() {
  Statement select(db_, "SELECT s FROM Ancho ORDER BY k");
  double sum = 0;
  while (select.Step()) sum += select.Bytes(0);
  return sum;
}

void SqliteWorkload::InsertLarge(int32_t count) {
  Execute("BEGIN");
  Statement insert(db_, "INSERT INTO Grande VALUES(?, ?, ?)");
  for (int32_t key = 0; key < count; ++key) insert.Bind(1, key).Bind(2, FieldA(key)).Bind(3, FieldB(key)).Run();
  Execute("COMMIT");
}

double SqliteWorkload::ScanLarge() { return SumColumn("SELECT a FROM Grande ORDER BY k"); }

double SqliteWorkload::YearLookups(const std::vector<int32_t>& years) {
  double sum = 0;
  for (int32_t year : years) {
    // Opening and closing the table is preparing and finalising its statement.
    Statement select(db_, "SELECT PenMax, TopeCot FROM Maximo WHERE \"any\" = ?");
    if (select.Bind(1, year).Step()) sum += select.Double(0) + select.Double(1);
  }
  return sum;
}

void SqliteWorkload::Close() {
  if (db_ == nullptr) return;
  sqlite3_close(db_);
  db_ = nullptr;
}

}  // namespace bench
