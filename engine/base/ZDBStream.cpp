#include "engine/base/ZDBStream.h"

#include <algorithm>
#include <vector>

#include "engine/base/ZDBException.h"

namespace zdb {
namespace {

// Copies count bytes from source to destination at their positions, in pieces.
void CopyInPieces(TStream& source, TStream& destination, int64_t count, int32_t pieceSize,
                  const TZDBError& readError, const TZDBError& writeError, const std::function<void(double)>& progress) {
  std::vector<uint8_t> piece(static_cast<size_t>(std::min<int64_t>(pieceSize, count)));
  int64_t copied = 0;
  progress(0.0);
  while (copied < count) {
    const int64_t n = std::min<int64_t>(pieceSize, count - copied);
    ReadStreamExact(source, piece.data(), n, readError);
    WriteStreamExact(destination, piece.data(), n, writeError);
    copied += n;
    progress(static_cast<double>(copied) / static_cast<double>(count) * 100.0);
  }
  progress(100.0);
}

}  // namespace

int64_t TStream::Size() {
  const int64_t position = Seek(0, SeekOrigin::Current);
  const int64_t size = Seek(0, SeekOrigin::End);
  Seek(position, SeekOrigin::Beginning);
  return size;
}

void TZDBStream::SaveToStream(TStream& destination) {
  if (blockSize_ <= 0) RaiseError(errors::SaveZeroBlockSize);
  const int64_t ownPosition = Position();
  const int64_t destinationPosition = destination.Position();
  SetPosition(0);
  CopyInPieces(*this, destination, Size(), blockSize_, errors::StreamSaveReadFailed, errors::StreamSaveWriteFailed,
               [this](double percent) { ReportProgress(percent); });
  destination.SetPosition(destinationPosition);
  SetPosition(ownPosition);
}

void TZDBStream::LoadFromStream(TStream& source, int64_t count, int64_t from) {
  if (blockSize_ <= 0) RaiseError(errors::LoadZeroBlockSize);
  const int64_t ownPosition = Position();
  const int64_t sourcePosition = source.Position();
  SetSize(0);
  SetPosition(0);
  SetStreamPosition(source, from, errors::StreamLoadPosition);
  CopyInPieces(source, *this, std::max<int64_t>(count, 0), blockSize_, errors::StreamLoadReadFailed, errors::StreamLoadWriteFailed,
               [this](double percent) { ReportProgress(percent); });
  source.SetPosition(sourcePosition);
  SetPosition(std::min(ownPosition, Size()));
}

void ReadStreamExact(TStream& stream, void* buffer, int64_t count, const TZDBError& code) {
  const int64_t position = stream.Position();
  const int64_t bytesRead = count > 0 ? stream.Read(buffer, count) : 0;
  if (bytesRead < count) RaiseError(code, {position, stream.Size(), count, bytesRead});
}

void WriteStreamExact(TStream& stream, const void* buffer, int64_t count, const TZDBError& code) {
  const int64_t position = stream.Position();
  const int64_t bytesWritten = count > 0 ? stream.Write(buffer, count) : 0;
  if (bytesWritten < count) RaiseError(code, {position, stream.Size(), count, bytesWritten});
}

void SetStreamPosition(TStream& stream, int64_t position, const TZDBError& code) {
  const int64_t before = stream.Position();
  if (stream.Seek(position, SeekOrigin::Beginning) != position)
    RaiseError(code, {position, before, stream.Size()});
}

}  // namespace zdb
