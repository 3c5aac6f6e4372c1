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

TZDBDiskDatabaseData* TZDBDatabaseDataRegistry::FindLocked(const std::string& key) const {
  // Objects are made with the normalised name as their file name.
  for (const auto& object : objects_)
    if (object->FileName() == key) return object.get();
  return nullptr;
}

TZDBDiskDatabaseData* TZDBDatabaseDataRegistry::Find(const std::string& fileName) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return FindLocked(NormalizedName(fileName));
}

TZDBDiskDatabaseData& TZDBDatabaseDataRegistry::Connect(const std::string& fileName, TZDBSessionConnection& session,
                                                        os::FileSystem& fileSystem) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  const std::string key = NormalizedName(fileName);
  TZDBDiskDatabaseData* data = FindLocked(key);
  if (data == nullptr) {
    objects_.push_back(std::make_unique<TZDBDiskDatabaseData>(key, fileSystem));
    data = objects_.back().get();
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
                                   [&](const auto& object) { return object.get() == &data; });
  if (listed == objects_.end()) return false;
  objects_.erase(listed);
  return true;
}

}  // namespace zdb
