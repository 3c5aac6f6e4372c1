// The benchmark's operations through SQLite's C API: rollback journal (journal_mode=DELETE),
// synchronous=FULL, prepared statements.
#pragma once

#include <string>

#include "bench/Workload.h"

struct sqlite3;
struct sqlite3_stmt;

namespace bench {

class SqliteWorkload : public Workload {
 public:
  explicit SqliteWorkload(std::string path);
  ~SqliteWorkload() override;

  std::string Name() const override { return "SQLite"; }
  void Create() override;
  void InsertOneCommitEach(int32_t first, int32_t count) override;
  void InsertInTransaction(int32_t first, int32_t count) override;
  double LookUp(const std::vector<int32_t>& keys) override;
  double ScanInKeyOrder() override;
  void EditOneCommitEach(const std::vector<int32_t>& keys) override;
  void EditInTransaction(const std::vector<int32_t>& keys) override;
  void DeleteInTransaction(const std::vector<int32_t>& keys) override;
  void Reopen() override;
  double LookUpGroups(const std::vector<int32_t>& groups) override;
  void InsertWide(int32_t count) override;
  double ScanWide() override;
  void InsertLarge(int32_t count) override;
  double ScanLarge() override;
  double YearLookups(const std::vector<int32_t>& years) override;
  void Close() override;

 private:
  void Connect();
  void Execute(const char* sql);
  void InsertDatos(int32_t first, int32_t count);
  void EditRows(const std::vector<int32_t>& keys);
  double SumColumn(const char* sql);

  std::string path_;
  sqlite3* db_ = nullptr;
};

}  // namespace bench
