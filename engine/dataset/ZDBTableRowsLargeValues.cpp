// A row's large value read and stored whole.
#include <algorithm>
#include <memory>
#include <vector>

#include "engine/dataset/ZDBTableRows.h"
#include "engine/dataset/ZDBTableRowsState.h"
#include "engine/table/ZDBBlobStream.h"

namespace zdb {
namespace {

constexpr int64_t CopyPiece = 1 << 20;

}  // namespace

bool TZDBTableRows::ReadLargeValue(int32_t fieldNo, const std::function<void(const char* data, int64_t size)>& sink) {
  TZDBDiskTableData& data = state_->Data();
  std::unique_ptr<TZDBBlobStream> stream = data.OpenBlobStream(state_->cursor, false, fieldNo);
  std::vector<char> piece(static_cast<size_t>(CopyPiece));
  for (int64_t left = stream->Size(); left > 0;) {
    const int64_t read = stream->Read(piece.data(), std::min(left, CopyPiece));
    if (read <= 0) return false;
    sink(piece.data(), read);
    left -= read;
  }
  stream.reset();
  data.ReleaseRecordBlobs(state_->cursor.MutableRecordBuffer());
  return true;
}

bool TZDBTableRows::StoreLargeValue(int32_t fieldNo, const std::vector<char>& value) {
  TZDBDiskTableData& data = state_->Data();
  TZDBTableCursor& cursor = state_->cursor;
  // The row as read: the post refuses it when another program changed it meanwhile.
  const std::vector<uint8_t> original(cursor.RecordBuffer(), cursor.RecordBuffer() + data.RecordBufferSize());
  {
    std::unique_ptr<TZDBBlobStream> stream = data.OpenBlobStream(cursor, true, fieldNo);
    const int64_t size = static_cast<int64_t>(value.size());
    if (size > 0 && stream->Write(value.data(), size) != size) return false;
    data.SaveBlobStream(cursor, fieldNo, *stream);
  }
  cursor.SetOriginalRecordBuffer(original.data());
  try {
    PostUpdate(data, cursor);
  } catch (...) {
    cursor.SetOriginalRecordBuffer(nullptr);
    data.ReleaseRecordBlobs(cursor.MutableRecordBuffer());
    throw;
  }
  cursor.SetOriginalRecordBuffer(nullptr);
  return true;
}

}  // namespace zdb
