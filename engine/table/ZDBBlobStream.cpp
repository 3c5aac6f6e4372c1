#include "engine/table/ZDBBlobStream.h"

#include "engine/base/ZDBException.h"

namespace zdb {

TZDBCompressedStreamParams TZDBBlobStream::StreamParams(const TZDBFieldDef& field) {
  TZDBCompressedStreamParams params;
  params.BlockSize = field.BlobBlockSize();
  params.Algorithm = field.BlobCompressionAlgorithm();
  params.Level = field.BlobCompressionMode();
  params.StartPosition = 0;
  return params;
}

TZDBBlobStream::TZDBBlobStream(int32_t fieldNo, const TZDBFieldDef& field, std::unique_ptr<TZDBTemporaryStream> storage)
    : fieldNo_(fieldNo), storage_(std::move(storage)) {
  compressed_ = std::make_unique<TZDBCompressedBLOBStream>(*storage_, StreamParams(field), false, true);
  SetBlockSize(compressed_->BlockSize());
}

TZDBBlobStream::TZDBBlobStream(int32_t fieldNo, const TZDBFieldDef& field, std::unique_ptr<TZDBTemporaryStream> storage,
                               const TZDBBlobParams& params)
    : fieldNo_(fieldNo), storage_(std::move(storage)) {
  if (params.StreamParamA < 0 || params.StreamParamC < 0) RaiseError(errors::InvalidBlobSize);
  TZDBCompressedStreamParams streamParams = StreamParams(field);
  streamParams.BlockCount = params.StreamParamA;
  streamParams.UncompressedSize = params.Size();
  compressed_ = std::make_unique<TZDBCompressedBLOBStream>(*storage_, streamParams, false, false);
  SetBlockSize(compressed_->BlockSize());
}

int64_t TZDBBlobStream::Write(const void* buffer, int64_t count) {
  const int64_t written = compressed_->Write(buffer, count);
  if (written > 0) modified_ = true;
  return written;
}

void TZDBBlobStream::SetSize(int64_t size) {
  const int64_t before = compressed_->Size();
  compressed_->SetSize(size);
  if (compressed_->Size() != before) modified_ = true;
}

TZDBBlobParams TZDBBlobStream::Params() const {
  const TZDBCompressedStreamParams params = compressed_->Params();
  return TZDBBlobParams::FromStream(params.BlockCount, params.UncompressedSize);
}

std::vector<uint8_t> TZDBBlobStream::StoredBytes() {
  const int64_t position = storage_->Position();
  std::vector<uint8_t> bytes(static_cast<size_t>(storage_->Size()));
  const int64_t count = static_cast<int64_t>(bytes.size());
  if (storage_->Seek(0, SeekOrigin::Beginning) != 0 || storage_->Read(bytes.data(), count) != count)
    RaiseError(errors::CopyToStreamFailed);
  storage_->SetPosition(position);
  return bytes;
}

}  // namespace zdb
