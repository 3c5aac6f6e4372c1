#include "engine/base/ZDBFileStream.h"

#include <limits>

#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

// How a temporary file without a name of its own shows in messages.
constexpr const char* TemporaryFileLabel = "(temporary file)";

constexpr uint16_t AccessMask = 0x000F;
constexpr uint16_t ShareMask = 0x00F0;

os::AccessMode AccessOf(uint16_t mode) {
  return (mode & AccessMask) == FileOpenMode::OpenRead ? os::AccessMode::Read : os::AccessMode::ReadWrite;
}

os::ShareMode ShareOf(uint16_t mode) {
  switch (mode & ShareMask) {
    case FileOpenMode::ShareDenyWrite: return os::ShareMode::Read;
    case FileOpenMode::ShareDenyNone: return os::ShareMode::ReadWrite;
    default: return os::ShareMode::Exclusive;
  }
}

bool ValidMode(uint16_t mode) {
  return (mode & ~(AccessMask | ShareMask)) == 0 && (mode & AccessMask) <= FileOpenMode::OpenReadWrite &&
         (mode & ShareMask) <= FileOpenMode::ShareDenyNone;
}

}  // namespace

TZDBFileStream::TZDBFileStream(std::unique_ptr<os::IFile> file, std::string fileName, uint16_t mode,
                               bool temporary, bool deleteOnClose, os::FileSystem& fileSystem)
    : file_(std::move(file)),
      fileName_(std::move(fileName)),
      mode_(mode),
      temporary_(temporary),
      deleteOnClose_(deleteOnClose),
      fileSystem_(fileSystem) {}

std::unique_ptr<TZDBFileStream> TZDBFileStream::Create(const std::string& fileName, bool temporary,
                                                       os::FileSystem& fileSystem) {
  uint32_t error = 0;
  auto file = fileSystem.Create(fileName, error);
  if (!file) RaiseError(errors::StreamFileCreate, {fileName});
  return std::unique_ptr<TZDBFileStream>(
      new TZDBFileStream(std::move(file), fileName, FileOpenMode::Create, temporary, temporary, fileSystem));
}

std::unique_ptr<TZDBFileStream> TZDBFileStream::Open(const std::string& fileName, uint16_t mode,
                                                     os::FileSystem& fileSystem) {
  uint32_t error = 0;
  std::unique_ptr<os::IFile> file;
  if (ValidMode(mode)) file = fileSystem.Open(fileName, AccessOf(mode), ShareOf(mode), error);
  if (!file) RaiseError(errors::StreamFileOpen, {fileName, mode});
  return std::unique_ptr<TZDBFileStream>(new TZDBFileStream(std::move(file), fileName, mode, false, false, fileSystem));
}

std::unique_ptr<TZDBFileStream> TZDBFileStream::CreateTemporary(os::FileSystem& fileSystem) {
  uint32_t error = 0;
  auto file = fileSystem.CreateTemporary(error);
  if (!file) RaiseError(errors::StreamFileCreate, {TemporaryFileLabel});
  return std::unique_ptr<TZDBFileStream>(
      new TZDBFileStream(std::move(file), std::string(), FileOpenMode::Create, true, false, fileSystem));
}

TZDBFileStream::~TZDBFileStream() {
  file_.reset();  // closed before it can be deleted
  if (deleteOnClose_) {
    uint32_t error = 0;
    fileSystem_.Delete(fileName_, error);
  }
}

int64_t TZDBFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  size_t bytesRead = 0;
  if (!file_->Read(buffer, position_, static_cast<size_t>(count), bytesRead)) return 0;
  position_ += static_cast<int64_t>(bytesRead);
  return static_cast<int64_t>(bytesRead);
}

int64_t TZDBFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || count > std::numeric_limits<int64_t>::max() - position_) return 0;
  if (!file_->Write(buffer, position_, static_cast<size_t>(count))) return 0;
  position_ += count;
  return count;
}

int64_t TZDBFileStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base;
  switch (origin) {
    case SeekOrigin::Beginning: base = 0; break;
    case SeekOrigin::Current: base = position_; break;
    case SeekOrigin::End: base = Size(); break;
    default: return position_;
  }
  // A file may be positioned past its end (a write there extends it), never before 0.
  if (base < 0 || offset < -base || offset > std::numeric_limits<int64_t>::max() - base) return position_;
  position_ = base + offset;
  return position_;
}

int64_t TZDBFileStream::Size() {
  int64_t size = 0;
  return file_->GetSize(size) ? size : -1;
}

void TZDBFileStream::SetSize(int64_t size) {
  if (size < 0 || !file_->SetSize(size)) return;
  if (position_ > size) position_ = size;
}

}  // namespace zdb
