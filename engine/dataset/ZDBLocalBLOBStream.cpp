#include "engine/dataset/ZDBLocalBLOBStream.h"

#include "engine/base/ZDBException.h"

namespace zdb {

TZDBLocalBLOBStream::TZDBLocalBLOBStream(int32_t fieldNo, TZDBBlobStreamMode mode,
                                         std::unique_ptr<TZDBBlobStream> stream)
    : fieldNo_(fieldNo), mode_(mode), stream_(std::move(stream)) {}

int64_t TZDBLocalBLOBStream::Read(void* buffer, int64_t count) {
  return stream_ ? stream_->Read(buffer, count) : 0;
}

int64_t TZDBLocalBLOBStream::Write(const void* buffer, int64_t count) {
  if (!Writing()) RaiseError(errors::WriteReadOnly);
  return stream_ ? stream_->Write(buffer, count) : 0;
}

int64_t TZDBLocalBLOBStream::Seek(int64_t offset, SeekOrigin origin) {
  return stream_ ? stream_->Seek(offset, origin) : 0;
}

int64_t TZDBLocalBLOBStream::Size() { return stream_ ? stream_->Size() : 0; }

void TZDBLocalBLOBStream::SetSize(int64_t size) {
  if (!Writing()) RaiseError(errors::ResizeReadOnly);
  if (stream_) stream_->SetSize(size);
}

}  // namespace zdb
