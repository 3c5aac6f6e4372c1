// The benchmark's operations through the engine's table component, connected like the
// program connects (one database component, multi-user or single-user).
#pragma once

#include <memory>
#include <string>

#include "bench/Workload.h"

namespace zdb {
class TZDBDatabase;
}

namespace bench {

class ZdbWorkload : public Workload {
 public:
  ZdbWorkload(std::string path, bool multiUser);
  ~ZdbWorkload() override;

  std::string Name() const override;
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

  std::string path_;
  bool multiUser_;
  std::shared_ptr<zdb::TZDBDatabase> database_;
};

}  // namespace bench
