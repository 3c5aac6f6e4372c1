#include "engine/file/ZDBDatabaseDataRegistry.h"

#include <algorithm>
#include <filesystem>

#include "engine/file/ZDBDiskDatabaseData.h"

namespace zdb {

TZDBDatabaseDataRegistry& TZDBDatabaseDataRegistry::Instance() {
  static TZDBDatabaseDataRegistry registry;
  return registry;
}

std::string TZDBDatabaseDataRegistry::NormalizedName(const std::string& fileName) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(fileName, error);
  if (error) return fileName;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal().string() : canonical.string();
}

TZDBDiskDatabaseData* TZDBDatabaseDataRegistry::FindLocked(const std::string& key, os::FileSystem* fileSystem) const {
  // Objects are made with the normalised name as their file name.
  for (const Entry& entry : objects_)
    if (entry.object->FileName() == key) return entry.object.get();
  os::FileIdentity identity;
  if (fileSystem == nullptr || !fileSystem->Identify(key, identity)) return nullptr;
  for (const Entry& entry : objects_)
    if (entry.identity && entry.identity->SameFile(identity)) return entry.object.get();
  return nullptr;
}

TZDBDiskDatabaseData* TZDBDatabaseDataRegistry::Find(const std::string& fileName) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return FindLocked(NormalizedName(fileName), &os::FileSystem::Default());
}

TZDBDiskDatabaseData& TZDBDatabaseDataRegistry::Connect(const std::string& fileName, TZDBSessionConnection& session,
                                                        os::FileSystem& fileSystem) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  const std::string key = NormalizedName(fileName);
  TZDBDiskDatabaseData* data = FindLocked(key, &fileSystem);
  if (data == nullptr) {
    Entry entry{std::make_unique<TZDBDiskDatabaseData>(key, fileSystem), std::nullopt};
    if (os::FileIdentity identity; fileSystem.Identify(key, identity)) entry.identity = identity;
    objects_.push_back(std::move(entry));
    data = objects_.back().object.get();
  }
  try {
    data->AddSession(session);
  } catch (...) {
    FreeIfUnusedLocked(*data);
    throw;
  }
  return *data;
}

void TZDBDatabaseDataRegistry::Disconnect(TZDBDiskDatabaseData& data, TZDBSessionConnection& session) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  try {
    data.RemoveSession(session);
  } catch (...) {
    FreeIfUnusedLocked(data);
    throw;
  }
  FreeIfUnusedLocked(data);
}

bool TZDBDatabaseDataRegistry::FreeIfUnused(TZDBDatabaseData& data) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return FreeIfUnusedLocked(data);
}

bool TZDBDatabaseDataRegistry::FreeIfUnusedLocked(TZDBDatabaseData& data) {
  {
    std::lock_guard<os::CriticalSection> objectGuard(data.CriticalSection());
    if (data.SessionCount() != 0) return false;
  }
  const auto listed = std::find_if(objects_.begin(), objects_.end(),
                                   [&](const Entry& entry) { return entry.object.get() == &data; });
  if (listed == objects_.end()) return false;
  objects_.erase(listed);
  return true;
}

}  // namespace zdb
