// TZDBLocalBLOBStream: a BLOB field's stream as a local cursor hands it out. It wraps the
// table data's stream on the value (TZDBBlobStream) with the mode it was opened in:
// reads, seeks and sizes pass through; writing or resizing a stream opened for reading
// fails with 10115 / 10116 "Cannot write to read only stream".
//
// The cursor lists its open streams and closes them (CloseBlob, FreeBlobs, posting,
// cancelling); a stream closed under a holder reads and writes nothing afterwards.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/base/ZDBStream.h"
#include "engine/table/ZDBBlobStream.h"

namespace zdb {

// The cursor's stream modes.
enum class TZDBBlobStreamMode : uint8_t { Write = 0, Read = 1, ReadWrite = 2 };

class TZDBLocalBLOBStream : public TStream {
 public:
  TZDBLocalBLOBStream(int32_t fieldNo, TZDBBlobStreamMode mode, std::unique_ptr<TZDBBlobStream> stream);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;

  int32_t FieldNo() const { return fieldNo_; }
  TZDBBlobStreamMode Mode() const { return mode_; }
  bool Writing() const { return mode_ != TZDBBlobStreamMode::Read; }
  bool Closed() const { return stream_ == nullptr; }
  // The table data's stream (the cursor stores it into the row); null once closed.
  TZDBBlobStream* Inner() const { return stream_.get(); }
  void Close() { stream_.reset(); }

 private:
  int32_t fieldNo_;
  TZDBBlobStreamMode mode_;
  std::unique_ptr<TZDBBlobStream> stream_;
};

}  // namespace zdb
