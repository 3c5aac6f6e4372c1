// Byte streams of the engine.
//
// TStream is the plain stream interface every engine stream extends: read, write, seek,
// position and size, all 64-bit. Read and Write answer how many bytes they moved; a
// short count is how a stream reports that it could not do more. The helpers at the end
// turn a short count into an EZDBException with the caller's own code, which is how
// every layer that needs "exactly n bytes" talks to a stream.
//
// TZDBStream adds what the engine's streams share: a lock for callers that hand one
// stream between threads, the piece size of copies (BlockSize), a progress callback,
// and the whole-stream copies SaveToStream / LoadFromStream.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/base/ZDBErrors.h"

#include "platform/os/System.h"

namespace zdb {

enum class SeekOrigin : int32_t { Beginning = 0, Current = 1, End = 2 };

class TStream {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Up to count bytes from the position on; the position moves past them.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes count bytes at the position; the position moves past them.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position and answers the new one. A move the stream refuses leaves the
  // position where it was.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;

  virtual int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, SeekOrigin::Beginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t size) = 0;
};

class TZDBStream : public TStream {
 public:
  static constexpr int32_t DefaultBlockSize = 102400;

  using ProgressCallback = std::function<void(double percent)>;

  void Lock() { lock_.Enter(); }
  void Unlock() { lock_.Leave(); }

  int32_t BlockSize() const { return blockSize_; }
  void SetBlockSize(int32_t blockSize) { blockSize_ = blockSize; }
  void SetOnProgress(ProgressCallback onProgress) { onProgress_ = std::move(onProgress); }
  int32_t Reserved() const { return reserved_; }

  // Copies this whole stream, from position 0, to the destination's position, in
  // BlockSize pieces; progress goes 0, after each piece, 100. Both streams' positions are
  // as they were afterwards.
  void SaveToStream(TStream& destination);
  // Replaces this stream's content with count bytes of the source taken from position
  // from, in BlockSize pieces with progress. Both positions are kept (this stream's one
  // clamped to the new size).
  void LoadFromStream(TStream& source, int64_t count, int64_t from);

 protected:
  void ReportProgress(double percent) const {
    if (onProgress_) onProgress_(percent);
  }

 private:
  os::CriticalSection lock_;
  int32_t blockSize_ = DefaultBlockSize;
  ProgressCallback onProgress_;
  int32_t reserved_ = 0;
};

// Reads exactly count bytes or raises `code`, an entry with the text "Cannot read from stream. Position = ..".
void ReadStreamExact(TStream& stream, void* buffer, int64_t count, const TZDBError& code);
// Writes exactly count bytes or raises `code`, an entry with the text "Cannot write to stream. Position = ..".
void WriteStreamExact(TStream& stream, const void* buffer, int64_t count, const TZDBError& code);
// Moves to position or raises `code`, an entry with the text "Cannot set stream position to ..".
void SetStreamPosition(TStream& stream, int64_t position, const TZDBError& code);

}  // namespace zdb
