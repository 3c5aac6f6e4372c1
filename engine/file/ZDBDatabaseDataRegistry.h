// The process-wide list of open databases: one disk database data object per database
// file, shared by every session of the process that uses the file.
//
// Contract: a file is known by its absolute, normalised path, so two spellings of one
// file name share one object; and by its identity on the machine, so that two names of
// one file (a hard link, another mount of its folder) share one object too, with the
// name it was first opened by. Connect makes the object on the first session and adds the
// session; Disconnect removes the session and destroys the object with its last one. Both
// run under the registry's own mutex, so no session can join an object that is being
// destroyed. Lock order: the registry, then a database data object's lock.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/File.h"

namespace zdb {

class TZDBDatabaseData;
class TZDBDiskDatabaseData;
struct TZDBSessionConnection;

class TZDBDatabaseDataRegistry {
 public:
  static TZDBDatabaseDataRegistry& Instance();

  // The file's data object (made when there is none) with the session added, the file
  // opened for the first one. When adding fails, an object made for it is destroyed again.
  TZDBDiskDatabaseData& Connect(const std::string& fileName, TZDBSessionConnection& session,
                                os::FileSystem& fileSystem = os::FileSystem::Default());
  // Removes the session; the object goes with its last session. Errors of giving back the
  // session's slot pass on, after the session was removed all the same.
  void Disconnect(TZDBDiskDatabaseData& data, TZDBSessionConnection& session);
  // The file's data object, or null.
  TZDBDiskDatabaseData* Find(const std::string& fileName);
  // Destroys the object when it has no session left and is listed here; answers whether
  // it was destroyed.
  bool FreeIfUnused(TZDBDatabaseData& data);

  // The key a file name is known by.
  static std::string NormalizedName(const std::string& fileName);

 private:
  TZDBDatabaseDataRegistry() = default;
  struct Entry {
    std::unique_ptr<TZDBDiskDatabaseData> object;
    std::optional<os::FileIdentity> identity;
  };
  TZDBDiskDatabaseData* FindLocked(const std::string& key, os::FileSystem* fileSystem) const;
  bool FreeIfUnusedLocked(TZDBDatabaseData& data);

  std::recursive_mutex mutex_;
  std::vector<Entry> objects_;
};

}  // namespace zdb
