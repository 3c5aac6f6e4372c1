// Scratch space for data of any size: memory while it is small, a temporary file after.
//
// The stream starts in memory. The write that would take the content past
// MemoryThreshold bytes first moves the content into a new temporary file (deleted when
// the stream goes) and carries on there; content and position are the same after the
// move. A stream made MemoryOnly never moves. Everything else goes to whichever of the
// two streams holds the content.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/base/ZDBFileStream.h"
#include "engine/base/ZDBMemoryStream.h"

namespace zdb {

class TZDBTemporaryStream : public TZDBStream {
 public:
  static constexpr int64_t MemoryThreshold = 1048576;

  explicit TZDBTemporaryStream(bool memoryOnly = false, os::FileSystem& fileSystem = os::FileSystem::Default());

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Position() override { return Current().Position(); }
  int64_t Size() override { return Current().Size(); }
  void SetSize(int64_t size) override { Current().SetSize(size); }

  bool MemoryOnly() const { return memoryOnly_; }
  bool InMemory() const { return memoryStream_ != nullptr; }
  // Empty while the content is in memory; the platform's temporary files have no name
  // the engine needs.
  const std::string& TemporaryFileName() const { return temporaryFileName_; }

 private:
  TZDBStream& Current();
  void MoveToFile();

  bool memoryOnly_;
  os::FileSystem& fileSystem_;
  std::string temporaryFileName_;
  std::unique_ptr<TZDBMemoryStream> memoryStream_;
  std::unique_ptr<TZDBFileStream> fileStream_;
};

}  // namespace zdb
