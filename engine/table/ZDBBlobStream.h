// A BLOB field's value as a stream: the field's compressed stream over a temporary
// stream of its own.
//
// Reads give the value's uncompressed bytes; writes append them, compressed block by
// block with the field's algorithm, level and block size (a compressed stream only
// appends: a write before its end writes nothing). What the BLOB manager stores is the
// temporary stream's content (StoredBytes) with the three parameters (Params).
//
// The stream remembers whether it was changed (a write or a size change), so that a
// stream only read leaves the field's value alone when it is handed back. The dataset
// layer wraps it for a cursor; the stream itself knows no cursor and no page.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/base/ZDBCompressedBlobStream.h"
#include "engine/base/ZDBTemporaryStream.h"
#include "engine/table/ZDBBlobLayout.h"
#include "engine/table/ZDBFieldDef.h"

namespace zdb {

class TZDBBlobStream : public TZDBStream {
 public:
  // A new, empty value with the field's compression settings.
  TZDBBlobStream(int32_t fieldNo, const TZDBFieldDef& field, std::unique_ptr<TZDBTemporaryStream> storage);
  // A stored value: storage holds its bytes (from position 0), params are the ones
  // stored with it. 20248 "Invalid blob field size" for a negative size or block count;
  // the compressed stream's own errors for bytes that do not match the parameters.
  TZDBBlobStream(int32_t fieldNo, const TZDBFieldDef& field, std::unique_ptr<TZDBTemporaryStream> storage,
                 const TZDBBlobParams& params);

  int64_t Read(void* buffer, int64_t count) override { return compressed_->Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override { return compressed_->Seek(offset, origin); }
  int64_t Position() override { return compressed_->Position(); }
  int64_t Size() override { return compressed_->Size(); }
  void SetSize(int64_t size) override;

  int32_t FieldNo() const { return fieldNo_; }
  // Whether the stream is to replace the field's value: anything was written, the size
  // changed, or it was opened to rewrite the value (MarkModified).
  bool Modified() const { return modified_; }
  void MarkModified() { modified_ = true; }
  // The parameters to store: block count and uncompressed size.
  TZDBBlobParams Params() const;
  // The bytes to store: the compressed stream's content.
  std::vector<uint8_t> StoredBytes();
  TZDBCompressedBLOBStream& Compressed() { return *compressed_; }

 private:
  static TZDBCompressedStreamParams StreamParams(const TZDBFieldDef& field);

  int32_t fieldNo_;
  std::unique_ptr<TZDBTemporaryStream> storage_;
  std::unique_ptr<TZDBCompressedBLOBStream> compressed_;
  bool modified_ = false;
};

}  // namespace zdb
