// The connection of a database component to its file: what a cursor and the table layer
// work through. It joins the process's one database data object of the file (made and
// opened by the first connection, closed by the last), holds the session number the
// object gave it, and passes transactions and table questions on to the object.
//
// Contract: a handle is made from the component's settings and connected once; after a
// successful Connect its settings hold what the file says (read-only and multi-user as
// the open turned out, the file's cipher code, page size, pages per extent and slot
// count). A failed Connect leaves it disconnected. 20298 when the file is encrypted and
// already open in the process under another password.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ZDBPassword.h"
#include "engine/file/ZDBDatabaseData.h"
#include "engine/file/ZDBFileLayout.h"
#include "engine/table/ZDBBaseSession.h"
#include "platform/os/File.h"

namespace zdb {

class TZDBDiskDatabaseData;

constexpr int32_t DefaultMaxConnections = 500;

// What a database component hands its handle, and what the handle found in the file.
struct TZDBConnectionSettings {
  std::string DatabaseName;
  std::string FileName;
  TZDBPassword Password;  // the text and the cipher code (the encryption algorithm)
  int32_t PageSize = layout::DefaultPageSize;
  int32_t PagesPerExtent = layout::DefaultPagesPerExtent;
  int32_t MaxConnections = DefaultMaxConnections;
  bool ReadOnly = false;
  bool Exclusive = false;
  bool MultiUser = false;
  std::string SessionName;  // multi-user only
  // What the file, its journal and its temporary files go through: the real file system
  // unless a test hands in another.
  os::FileSystem* FileSystem = &os::FileSystem::Default();
};

class TZDBLocalSession final : public TZDBBaseSession {
 public:
  explicit TZDBLocalSession(TZDBConnectionSettings settings);
  // Disconnects; an error of giving back the session's slot is dropped here.
  ~TZDBLocalSession() override;

  bool IsConnected() const { return data_ != nullptr; }
  // Joins the file's database data object, opening the file when this is the first
  // connection of the process. A file this process cannot write is asked for
  // read-only, the mode its open gives anyway. Errors of the file layer pass on
  // unchanged.
  void Connect();
  // Leaves the data object (its file closes with the last connection). An explicit
  // transaction still open is rolled back first. Errors of giving back the slot pass on,
  // after the handle was disconnected all the same.
  void Disconnect();

  // The open file's repair mode (its page checks trust every page while set).
  bool RepairMode() const;
  void SetRepairMode(bool value);
  // Creates the file with the settings' password, page size, pages per extent and slot
  // count. 20092 while the file is open in the process.
  void CreateDatabase();
  bool TableExists(std::string_view tableName);
  void GetTableNames(std::vector<std::string>& list);

  void StartTransaction();
  // The data object commits (flushing the file when asked) or rolls back the session's
  // changes; the transaction ends when that worked.
  void Commit(bool flush);
  void Rollback();

  // Whether the editing cycle takes locks and re-checks rows (the mode in force).
  bool MultiUser() const override { return settings_.MultiUser; }
  const TZDBConnectionSettings& Settings() const { return settings_; }
  // Set by Connect when this connection opened a file that was not closed properly or is
  // of an old format.
  bool NeedsRepair() const { return needsRepair_; }
  // A journal of another database that this connection's open found and renamed aside.
  const std::string& KeptAsideJournal() const { return keptAsideJournal_; }
  double FileFormatVersion() const { return fileFormatVersion_; }

  // The shared object of the file while connected, else null: what a cursor asks for its
  // table data.
  TZDBDiskDatabaseData* DatabaseData() const { return data_; }

 private:
  TZDBDiskDatabaseData& RequireData() const;

  TZDBConnectionSettings settings_;
  TZDBSessionConnection connection_;
  TZDBDiskDatabaseData* data_ = nullptr;
  bool needsRepair_ = false;
  std::string keptAsideJournal_;
  double fileFormatVersion_ = 0;
};

}  // namespace zdb
