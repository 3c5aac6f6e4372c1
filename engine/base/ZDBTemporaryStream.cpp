#include "engine/base/ZDBTemporaryStream.h"

#include <algorithm>
#include <limits>

namespace zdb {

TZDBTemporaryStream::TZDBTemporaryStream(bool memoryOnly, os::FileSystem& fileSystem)
    : memoryOnly_(memoryOnly), fileSystem_(fileSystem), memoryStream_(std::make_unique<TZDBMemoryStream>()) {}

TZDBStream& TZDBTemporaryStream::Current() {
  if (memoryStream_) return *memoryStream_;
  return *fileStream_;
}

int64_t TZDBTemporaryStream::Read(void* buffer, int64_t count) { return Current().Read(buffer, count); }

int64_t TZDBTemporaryStream::Seek(int64_t offset, SeekOrigin origin) { return Current().Seek(offset, origin); }

int64_t TZDBTemporaryStream::Write(const void* buffer, int64_t count) {
  if (memoryStream_ && !memoryOnly_ && count > 0) {
    const int64_t position = memoryStream_->Position();
    const int64_t end = count > std::numeric_limits<int64_t>::max() - position ? std::numeric_limits<int64_t>::max()
                                                                               : position + count;
    if (std::max(end, memoryStream_->Size()) > MemoryThreshold) MoveToFile();
  }
  return Current().Write(buffer, count);
}

void TZDBTemporaryStream::MoveToFile() {
  auto file = TZDBFileStream::CreateTemporary(fileSystem_);
  // SaveToStream leaves both positions where they were: the file's at 0.
  memoryStream_->SaveToStream(*file);
  file->SetPosition(memoryStream_->Position());
  temporaryFileName_ = file->FileName();
  fileStream_ = std::move(file);
  memoryStream_.reset();
}

}  // namespace zdb
