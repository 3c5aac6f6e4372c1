// The engine's streams: memory, file and temporary streams, the exact read/write/seek
// helpers, whole-stream copies, and the compressed BLOB stream's block format.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/base/ZDBCompressedBlobStream.h"
#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBFileStream.h"
#include "engine/base/ZDBMemoryStream.h"
#include "engine/base/ZDBTemporaryStream.h"
#include "platform/os/FaultInjectingFileSystem.h"

namespace zdb {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t size, uint32_t seed = 3) {
  // Compressible but not trivial: runs of a few symbols with random lengths.
  Bytes bytes(size);
  std::mt19937 random(seed);
  for (size_t i = 0; i < size;) {
    const auto value = static_cast<uint8_t>('a' + random() % 6);
    for (size_t run = 1 + random() % 5; run > 0 && i < size; --run) bytes[i++] = value;
  }
  return bytes;
}

Bytes Content(TZDBMemoryStream& stream) { return Bytes(stream.Memory(), stream.Memory() + stream.Size()); }

Bytes ReadAll(TStream& stream) {
  Bytes bytes(static_cast<size_t>(stream.Size()));
  stream.SetPosition(0);
  ReadStreamExact(stream, bytes.data(), static_cast<int64_t>(bytes.size()), errors::StreamSaveReadFailed);
  return bytes;
}

void ExpectError(const std::function<void()>& action, int32_t code, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no exception, expected " << code << ": " << message;
  } catch (const EZDBException& e) {
    EXPECT_EQ(e.NativeError(), code) << e.what();
    EXPECT_EQ(e.Message(), message);
  }
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("zdb-streams-" + std::to_string(::getpid()) + "-" + name)).string();
}

// ---------------------------------------------------------------- memory stream

TEST(MemoryStream, CapacityDoublesPastTheFirstAllocation) {
  TZDBMemoryStream stream;
  const struct {
    int64_t size, capacity;
  } steps[] = {{10, 10}, {11, 22}, {22, 22}, {23, 46}, {5, 46}, {0, 0}, {7, 7}};
  for (const auto& step : steps) {
    stream.SetSize(step.size);
    EXPECT_EQ(stream.Size(), step.size);
    EXPECT_EQ(stream.Capacity(), step.capacity) << "size " << step.size;
  }
  TZDBMemoryStream reserved(64);
  EXPECT_EQ(reserved.Size(), 0);
  reserved.SetSize(65);
  EXPECT_EQ(reserved.Capacity(), 130);
  TZDBMemoryStream over(Bytes{1, 2, 3});
  EXPECT_EQ(over.Size(), 3);
  EXPECT_EQ(over.Capacity(), 3);
  EXPECT_EQ(Content(over), (Bytes{1, 2, 3}));
}

TEST(MemoryStream, GrowingShowsZerosNotOldBytes) {
  TZDBMemoryStream stream;
  const Bytes ones(10, 0xFF);
  stream.Write(ones.data(), 10);
  stream.SetSize(2);
  EXPECT_EQ(stream.Position(), 2);  // clamped
  stream.SetSize(30);               // past the capacity too
  Bytes expected(30, 0);
  expected[0] = expected[1] = 0xFF;
  EXPECT_EQ(Content(stream), expected);
}

TEST(MemoryStream, PositionStaysWithinTheContent) {
  TZDBMemoryStream stream;
  stream.SetSize(10);
  const struct {
    int64_t offset;
    SeekOrigin origin;
    int64_t expected;
  } seeks[] = {{5, SeekOrigin::Beginning, 5},   {-3, SeekOrigin::Current, 2},    {100, SeekOrigin::Beginning, 10},
               {-100, SeekOrigin::Current, 0},  {-4, SeekOrigin::End, 6},        {4, SeekOrigin::End, 10},
               {INT64_MAX, SeekOrigin::Current, 10}, {INT64_MIN, SeekOrigin::End, 0}};
  for (const auto& s : seeks) EXPECT_EQ(stream.Seek(s.offset, s.origin), s.expected) << s.offset;
  uint8_t buffer[5];
  stream.SetPosition(8);
  EXPECT_EQ(stream.Read(buffer, 5), 2);
  EXPECT_EQ(stream.Read(buffer, 5), 0);
  EXPECT_EQ(stream.Write(buffer, 3), 3);  // at the end: grows
  EXPECT_EQ(stream.Size(), 13);
}

// ---------------------------------------------------------------- helpers and copies

TEST(StreamHelpers, ShortTransfersRaiseTheCallersCode) {
  TZDBMemoryStream stream(Bytes(10, 7));
  stream.SetPosition(4);
  uint8_t buffer[8];
  ExpectError([&] { ReadStreamExact(stream, buffer, 8, errors::VariantReadTypeFailed); }, 10183,
              "Cannot read from stream. Position = 4, Stream size = 10, Block size = 8, Bytes Read = 6");
  ExpectError([&] { SetStreamPosition(stream, 20, errors::ReadBlockPosition); }, 10079,
              "Cannot set stream position to 20. Position = 10, Size = 10");
  stream.SetPosition(0);
  ReadStreamExact(stream, buffer, 8, errors::StreamSaveReadFailed);
  EXPECT_EQ(stream.Position(), 8);

  const std::string path = TempPath("readonly");
  TZDBFileStream::Create(path)->Write(buffer, 8);
  auto readOnly = TZDBFileStream::Open(path, FileOpenMode::OpenRead | FileOpenMode::ShareDenyNone);
  readOnly->SetPosition(2);
  ExpectError([&] { WriteStreamExact(*readOnly, buffer, 4, errors::VariantWriteTypeFailed); }, 10179,
              "Cannot write to stream. Position = 2, Stream size = 8, Block size = 4, Bytes Write = 0");
  readOnly.reset();
  std::filesystem::remove(path);
}

TEST(StreamCopies, SaveAndLoadGoInPiecesAndKeepPositions) {
  const Bytes data = Pattern(250);
  TZDBMemoryStream source(data);
  source.SetBlockSize(100);
  source.SetPosition(17);
  std::vector<double> progress;
  source.SetOnProgress([&](double percent) { progress.push_back(percent); });

  TZDBMemoryStream destination(Bytes{9, 9, 9});
  destination.SetPosition(3);
  source.SaveToStream(destination);
  EXPECT_EQ(progress, (std::vector<double>{0, 40, 80, 100, 100}));
  EXPECT_EQ(source.Position(), 17);
  EXPECT_EQ(destination.Position(), 3);
  Bytes expected{9, 9, 9};
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(Content(destination), expected);

  progress.clear();
  TZDBMemoryStream loaded(Bytes(500, 1));
  loaded.SetBlockSize(30);
  loaded.SetOnProgress([&](double percent) { progress.push_back(percent); });
  loaded.SetPosition(400);
  loaded.LoadFromStream(source, 60, 190);
  EXPECT_EQ(Content(loaded), Bytes(data.begin() + 190, data.end()));
  EXPECT_EQ(progress, (std::vector<double>{0, 50, 100, 100}));
  EXPECT_EQ(source.Position(), 17);
  EXPECT_EQ(loaded.Position(), 60);  // was 400, clamped to the new size

  ExpectError([&] { loaded.LoadFromStream(source, 100, 200); }, 10148,
              "Cannot read from stream. Position = 230, Stream size = 250, Block size = 30, Bytes Read = 20");
  loaded.SetBlockSize(0);
  ExpectError([&] { loaded.SaveToStream(destination); }, 10418, "Stream block size = 0 is not allowed");
  ExpectError([&] { loaded.LoadFromStream(source, 10, 0); }, 10419, "Stream block size = 0 is not allowed");
}

// ---------------------------------------------------------------- file stream

TEST(FileStream, ReadsWritesAndSizes) {
  const std::string path = TempPath("file");
  {
    auto stream = TZDBFileStream::Create(path);
    EXPECT_EQ(stream->Mode(), FileOpenMode::Create);
    const Bytes data = Pattern(100);
    WriteStreamExact(*stream, data.data(), 100, errors::StreamSaveWriteFailed);
    // A write past the end leaves zeros in the gap.
    EXPECT_EQ(stream->Seek(200, SeekOrigin::Beginning), 200);
    WriteStreamExact(*stream, data.data(), 1, errors::StreamSaveWriteFailed);
    EXPECT_EQ(stream->Size(), 201);
    Bytes expected = data;
    expected.resize(200, 0);
    expected.push_back(data[0]);
    EXPECT_EQ(ReadAll(*stream), expected);
    EXPECT_EQ(stream->Seek(-1, SeekOrigin::Beginning), 201);  // refused: stays
    stream->SetPosition(10);
    stream->SetSize(50);
    EXPECT_EQ(stream->Position(), 10);  // inside: stays
    stream->SetSize(5);
    EXPECT_EQ(stream->Position(), 5);
    EXPECT_EQ(stream->Size(), 5);
  }
  auto reopened = TZDBFileStream::Open(path, FileOpenMode::OpenReadWrite | FileOpenMode::ShareExclusive);
  EXPECT_EQ(reopened->Size(), 5);
  reopened.reset();
  std::filesystem::remove(path);
}

TEST(FileStream, TemporaryFilesGoWithTheStream) {
  const std::string path = TempPath("named-temporary");
  {
    auto stream = TZDBFileStream::Create(path, true);
    EXPECT_TRUE(stream->IsTemporary());
    EXPECT_TRUE(std::filesystem::exists(path));
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  auto unnamed = TZDBFileStream::CreateTemporary();
  const Bytes data = Pattern(10);
  WriteStreamExact(*unnamed, data.data(), 10, errors::StreamSaveWriteFailed);
  EXPECT_EQ(ReadAll(*unnamed), data);
}

TEST(FileStream, CreateAndOpenFailuresName) {
  const std::string missingFolder = TempPath("no-such-folder") + "/file.tmp";
  ExpectError([&] { TZDBFileStream::Create(missingFolder); }, 10104,
              "Cannot create file. FileName = " + missingFolder);
  const std::string missing = TempPath("missing");
  const uint16_t mode = FileOpenMode::OpenReadWrite | FileOpenMode::ShareDenyNone;
  ExpectError([&] { TZDBFileStream::Open(missing, mode); }, 10105,
              "Cannot open file. FileName = " + missing + ", Mode = 66");
  const std::string path = TempPath("mode");
  TZDBFileStream::Create(path);
  ExpectError([&] { TZDBFileStream::Open(path, 0x0003); }, 10105, "Cannot open file. FileName = " + path + ", Mode = 3");
  std::filesystem::remove(path);
}

TEST(FileStream, FailedReadsAndWritesMoveNothing) {
  os::FaultInjectingFileSystem faults(os::FileSystem::Default());
  auto stream = TZDBFileStream::CreateTemporary(faults);
  const Bytes data = Pattern(10);
  WriteStreamExact(*stream, data.data(), 10, errors::StreamSaveWriteFailed);
  faults.FailCall(os::FileOperation::Read, 1, os::win32::ReadFault, true);
  faults.FailCall(os::FileOperation::Write, 1, os::win32::DiskFull, true);
  stream->SetPosition(0);
  uint8_t buffer[10];
  EXPECT_EQ(stream->Read(buffer, 10), 0);
  EXPECT_EQ(stream->Write(buffer, 10), 0);
  EXPECT_EQ(stream->Position(), 0);
}

// ---------------------------------------------------------------- temporary stream

TEST(TemporaryStream, MovesToAFileAtTheWriteThatPassesTheThreshold) {
  const int64_t threshold = TZDBTemporaryStream::MemoryThreshold;
  ASSERT_EQ(threshold, 1048576);
  const Bytes first = Pattern(static_cast<size_t>(threshold), 1);
  TZDBTemporaryStream stream;
  WriteStreamExact(stream, first.data(), threshold, errors::StreamSaveWriteFailed);
  EXPECT_TRUE(stream.InMemory());  // exactly the threshold still fits

  // Overwrite near the end so that the write crosses the threshold mid-stream.
  const Bytes second = Pattern(1000, 2);
  stream.SetPosition(threshold - 576);
  WriteStreamExact(stream, second.data(), 1000, errors::StreamSaveWriteFailed);
  EXPECT_FALSE(stream.InMemory());
  EXPECT_EQ(stream.Position(), threshold + 424);
  EXPECT_EQ(stream.Size(), threshold + 424);
  Bytes expected = first;
  expected.resize(static_cast<size_t>(threshold - 576));
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(ReadAll(stream), expected);
}

TEST(TemporaryStream, MemoryOnlyNeverMoves) {
  TZDBTemporaryStream stream(true);
  const Bytes data = Pattern(TZDBTemporaryStream::MemoryThreshold + 10);
  WriteStreamExact(stream, data.data(), static_cast<int64_t>(data.size()), errors::StreamSaveWriteFailed);
  EXPECT_TRUE(stream.InMemory());
  EXPECT_EQ(ReadAll(stream), data);
}

TEST(TemporaryStream, AFailedMoveLosesNothing) {
  os::FaultInjectingFileSystem faults(os::FileSystem::Default());
  faults.FailCall(os::FileOperation::CreateTemporary, 1, os::win32::DiskFull);
  TZDBTemporaryStream stream(false, faults);
  const Bytes data = Pattern(TZDBTemporaryStream::MemoryThreshold);
  WriteStreamExact(stream, data.data(), static_cast<int64_t>(data.size()), errors::StreamSaveWriteFailed);
  ExpectError([&] { stream.Write(data.data(), 1); }, 10104, "Cannot create file. FileName = (temporary file)");
  EXPECT_TRUE(stream.InMemory());
  EXPECT_EQ(ReadAll(stream), data);
  // The next attempt gets its file.
  WriteStreamExact(stream, data.data(), 1, errors::StreamSaveWriteFailed);
  EXPECT_FALSE(stream.InMemory());
  EXPECT_EQ(stream.Size(), static_cast<int64_t>(data.size()) + 1);
}

// ---------------------------------------------------------------- compressed BLOB stream

constexpr int32_t TestBlockSize = 1000;

TZDBCompressedStreamParams ZlibParams(int64_t start = 0) {
  TZDBCompressedStreamParams params;
  params.BlockSize = TestBlockSize;
  params.Algorithm = CompressionZlib;
  params.Level = 6;
  params.StartPosition = start;
  return params;
}

// The bytes a block of data must be stored as, built from the layout itself.
Bytes BlockImage(const Bytes& data) {
  Bytes packed;
  EXPECT_TRUE(CompressBuffer(CompressionZlib, 6, data.data(), static_cast<int64_t>(data.size()), packed));
  Bytes image(20);
  le::PutI32(image.data() + 0, static_cast<int32_t>(packed.size()));
  le::PutI32(image.data() + 4, static_cast<int32_t>(data.size()));
  le::PutU32(image.data() + 8, Crc32(data.data(), data.size()));
  le::PutI64(image.data() + 12, 20 + static_cast<int64_t>(packed.size()));
  image.insert(image.end(), packed.begin(), packed.end());
  return image;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t to) {
  return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(CompressedBlobStream, ParametersLayout) {
  TZDBCompressedStreamParams params;
  params.BlockSize = 0x01020304;
  params.BlockCount = 0x0506070809;
  params.UncompressedSize = 0x0A0B0C0D0E;
  params.StartPosition = 0x0F1011;
  params.Algorithm = 3;
  params.Level = 9;
  uint8_t raw[32];
  params.Save(raw);
  const uint8_t expected[32] = {0x04, 0x03, 0x02, 0x01, 0x09, 0x08, 0x07, 0x06, 0x05, 0, 0, 0, 0x0E, 0x0D, 0x0C, 0x0B,
                                0x0A, 0,    0,    0,    0x11, 0x10, 0x0F, 0,    0,    0, 0, 0, 3,    9,    0,    0};
  EXPECT_EQ(Bytes(raw, raw + 32), Bytes(expected, expected + 32));
  const auto back = TZDBCompressedStreamParams::Load(raw);
  EXPECT_EQ(back.BlockCount, params.BlockCount);
  EXPECT_EQ(back.UncompressedSize, params.UncompressedSize);
  EXPECT_EQ(back.StartPosition, params.StartPosition);
}

TEST(CompressedBlobStream, BlocksAreStoredByteForByte) {
  const Bytes data = Pattern(2500);
  TZDBTemporaryStream underlying;
  TZDBCompressedBLOBStream blob(underlying, ZlibParams(), false, true);
  WriteStreamExact(blob, data.data(), 2500, errors::StreamSaveWriteFailed);

  const Bytes image = Join({BlockImage(Slice(data, 0, 1000)), BlockImage(Slice(data, 1000, 2000)),
                            BlockImage(Slice(data, 2000, 2500))});
  EXPECT_EQ(ReadAll(underlying), image);
  const auto params = blob.Params();
  EXPECT_EQ(params.BlockCount, 3);
  EXPECT_EQ(params.UncompressedSize, 2500);
  EXPECT_EQ(params.BlockSize, TestBlockSize);
  EXPECT_EQ(blob.Size(), 2500);
  EXPECT_EQ(blob.CompressedSize(), static_cast<int64_t>(image.size()) - 60);
  EXPECT_NEAR(blob.CompressionRate(), (1.0 - static_cast<double>(image.size() - 60) / 2500.0) * 100.0, 1e-9);

  // Ten bytes from five before the end of the second block run into the third.
  blob.SetPosition(1995);
  uint8_t span[10];
  ReadStreamExact(blob, span, 10, errors::StreamSaveReadFailed);
  EXPECT_EQ(Bytes(span, span + 10), Slice(data, 1995, 2005));
  EXPECT_EQ(blob.Position(), 2005);
}

TEST(CompressedBlobStream, AppendingRewritesOnlyThePartialBlock) {
  const Bytes data = Pattern(2500);
  const Bytes extra = Pattern(10, 9);
  TZDBMemoryStream underlying;
  TZDBCompressedBLOBStream blob(underlying, ZlibParams(), false, true);
  WriteStreamExact(blob, data.data(), 2500, errors::StreamSaveWriteFailed);
  WriteStreamExact(blob, extra.data(), 10, errors::StreamSaveWriteFailed);
  EXPECT_EQ(blob.BlockCount(), 3);
  EXPECT_EQ(Content(underlying), Join({BlockImage(Slice(data, 0, 1000)), BlockImage(Slice(data, 1000, 2000)),
                                       BlockImage(Join({Slice(data, 2000, 2500), extra}))}));

  // Writes only append: one before the end writes nothing.
  blob.SetPosition(100);
  EXPECT_EQ(blob.Write(extra.data(), 5), 0);
  EXPECT_EQ(blob.Size(), 2510);
  // One past the end fills the gap with zeros first.
  blob.SetPosition(2600);
  WriteStreamExact(blob, extra.data(), 3, errors::StreamSaveWriteFailed);
  EXPECT_EQ(blob.Size(), 2603);
  EXPECT_EQ(ReadAll(blob), Join({data, extra, Bytes(90, 0), Slice(extra, 0, 3)}));
}

TEST(CompressedBlobStream, ShrinkingKeepsWholeBlocksAndCutsTheRest) {
  const Bytes data = Pattern(2510);
  const struct {
    int64_t size;
    int64_t blocks;
  } cases[] = {{1000, 1}, {1001, 2}, {2000, 2}, {0, 0}, {999, 1}};
  for (const auto& c : cases) {
    TZDBMemoryStream underlying;
    TZDBCompressedBLOBStream blob(underlying, ZlibParams(), false, true);
    WriteStreamExact(blob, data.data(), 2510, errors::StreamSaveWriteFailed);
    blob.SetSize(c.size);
    EXPECT_EQ(blob.Size(), c.size);
    EXPECT_EQ(blob.BlockCount(), c.blocks) << c.size;
    EXPECT_EQ(blob.Position(), c.size);  // clamped
    Bytes image;
    for (int64_t start = 0; start < c.size; start += TestBlockSize)
      image = Join({image, BlockImage(Slice(data, static_cast<size_t>(start),
                                            static_cast<size_t>(std::min<int64_t>(start + TestBlockSize, c.size))))});
    EXPECT_EQ(Content(underlying), image) << c.size;
    EXPECT_EQ(ReadAll(blob), Slice(data, 0, static_cast<size_t>(c.size)));
  }
}

TEST(CompressedBlobStream, GrowingAppendsZeros) {
  const Bytes data = Pattern(2500);
  TZDBMemoryStream underlying;
  TZDBCompressedBLOBStream blob(underlying, ZlibParams(), false, true);
  WriteStreamExact(blob, data.data(), 2500, errors::StreamSaveWriteFailed);
  blob.SetPosition(7);
  blob.SetSize(4200);
  EXPECT_EQ(blob.BlockCount(), 5);
  EXPECT_EQ(blob.Position(), 7);
  EXPECT_EQ(ReadAll(blob), Join({data, Bytes(1700, 0)}));
}

TEST(CompressedBlobStream, ReopensFromItsParameters) {
  const Bytes prefix{'H', 'E', 'A', 'D'};
  const Bytes data = Pattern(3500);
  TZDBMemoryStream underlying(prefix);
  TZDBCompressedStreamParams params;
  {
    TZDBCompressedBLOBStream blob(underlying, ZlibParams(4), false, true);
    WriteStreamExact(blob, data.data(), 3500, errors::StreamSaveWriteFailed);
    params = blob.Params();
  }
  EXPECT_EQ(Slice(Content(underlying), 0, 4), prefix);
  TZDBCompressedBLOBStream reopened(underlying, params, false, false);
  EXPECT_EQ(reopened.Size(), 3500);
  EXPECT_EQ(reopened.BlockCount(), 4);
  EXPECT_EQ(ReadAll(reopened), data);
  uint8_t byte;
  ExpectError([&] { reopened.Read(&byte, 5); }, 10090, "Cannot read from stream. ReadSize = 5");
}

// Damage to a stored stream is found when it is opened or when the block is read.
TEST(CompressedBlobStream, DamageIsReportedWithItsCode) {
  const Bytes data = Pattern(2500);
  Bytes image;
  TZDBCompressedStreamParams params;
  {
    TZDBMemoryStream underlying;
    TZDBCompressedBLOBStream blob(underlying, ZlibParams(), false, true);
    WriteStreamExact(blob, data.data(), 2500, errors::StreamSaveWriteFailed);
    image = Content(underlying);
    params = blob.Params();
  }
  const size_t second = 20 + static_cast<size_t>(le::GetI32(image.data()));
  const size_t third = second + 20 + static_cast<size_t>(le::GetI32(image.data() + second));
  const uint32_t secondCrc = le::GetU32(image.data() + second + 8);

  struct Case {
    const char* what;
    std::function<void(Bytes&, TZDBCompressedStreamParams&)> damage;
    bool atOpen;
    int32_t code;
    std::string message;
  };
  const std::string tooSmall = "Stream size = " + std::to_string(image.size() - 5) +
                               " too small. Should be at least = " + std::to_string(image.size());
  const Case cases[] = {
      {"checksum", [&](Bytes& b, auto&) { le::PutU32(b.data() + second + 8, secondCrc ^ 1u); }, false, 10089,
       "Decompress buffer failed. CheckSum = " + std::to_string(secondCrc) +
           ", Header.Crc32 = " + std::to_string(secondCrc ^ 1u)},
      {"compressed bytes", [&](Bytes& b, auto&) { b[second + 25] ^= 0xFF; }, false, 10087,
       "Decompress buffer failed. CompAlg = 1, InSize = " + std::to_string(third - second - 20) + ", OutSize = 1000"},
      {"uncompressed size", [&](Bytes& b, auto&) { le::PutI32(b.data() + third + 4, 501); }, false, 10088,
       "Decompress buffer failed. UncompSize = 500, Header.UncompSize = 501"},
      {"block length", [&](Bytes& b, auto&) { le::PutI64(b.data() + second + 12, 7); }, true, 10092,
       "Invalid stream size = 7. Should be = " + std::to_string(third - second)},
      {"negative compressed size", [&](Bytes& b, auto&) { le::PutI32(b.data() + second, -4); }, true, 10092,
       "Invalid stream size = " + std::to_string(third - second) + ". Should be = 20"},
      {"block larger than the block size", [&](Bytes& b, auto&) { le::PutI32(b.data() + third + 4, 1001); }, true,
       10092, "Invalid stream size = 1001. Should be = 1000"},
      {"short block before the last", [&](Bytes& b, auto&) { le::PutI32(b.data() + second + 4, 999); }, true, 10092,
       "Invalid stream size = 999. Should be = 1000"},
      {"cut inside the last block", [&](Bytes& b, auto&) { b.resize(b.size() - 5); }, true, 10082, tooSmall},
      {"cut inside the last header", [&](Bytes& b, auto&) { b.resize(third + 10); }, true, 10082,
       "Stream size = " + std::to_string(third + 10) + " too small. Should be at least = " + std::to_string(third + 20)},
      {"more blocks counted than stored", [&](Bytes&, TZDBCompressedStreamParams& p) { p.BlockCount = 4; }, true,
       10082, "Stream size = " + std::to_string(image.size()) + " too small. Should be at least = " +
                  std::to_string(image.size() + 20)},
      {"start past the end", [&](Bytes&, TZDBCompressedStreamParams& p) { p.StartPosition = 99999; }, true, 10103,
       "Cannot set stream position to 99999. Position = 0, Size = " + std::to_string(image.size())},
      {"unknown algorithm", [&](Bytes&, TZDBCompressedStreamParams& p) { p.Algorithm = 7; }, false, 10087,
       "Decompress buffer failed. CompAlg = 7, InSize = " + std::to_string(second - 20) + ", OutSize = 1000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = image;
    TZDBCompressedStreamParams damaged = params;
    c.damage(bytes, damaged);
    TZDBMemoryStream underlying(bytes);
    if (c.atOpen) {
      ExpectError([&] { TZDBCompressedBLOBStream blob(underlying, damaged, false, false); }, c.code, c.message);
    } else {
      TZDBCompressedBLOBStream blob(underlying, damaged, false, false);
      Bytes all(2500);
      ExpectError([&] { blob.Read(all.data(), 2500); }, c.code, c.message);
    }
  }

  // A stream allowed to be short is what it holds.
  for (size_t cut : {image.size() - 5, third + 10}) {
    TZDBMemoryStream underlying(Slice(image, 0, cut));
    TZDBCompressedBLOBStream blob(underlying, params, true, false);
    EXPECT_EQ(blob.BlockCount(), 2);
    EXPECT_EQ(ReadAll(blob), Slice(data, 0, 2000));
  }
}

TEST(CompressedBlobStream, CompressorFailureOnWrite) {
  TZDBMemoryStream underlying;
  auto params = ZlibParams();
  params.Algorithm = 7;
  TZDBCompressedBLOBStream blob(underlying, params, false, true);
  const Bytes data = Pattern(10);
  ExpectError([&] { blob.Write(data.data(), 10); }, 10085,
              "Compress buffer failed. CompAlg = 7, CompMode = 6, InSize = 10, OutSize = 0");
  EXPECT_EQ(blob.Size(), 0);
}

TEST(CompressedBlobStream, EveryAlgorithmCarriesData) {
  const Bytes data = Pattern(9000);
  for (uint8_t algorithm : {CompressionZlib, CompressionBzip, CompressionPPM}) {
    for (uint8_t level : {1, 9}) {
      SCOPED_TRACE(testing::Message() << int(algorithm) << "/" << int(level));
      TZDBTemporaryStream underlying;
      TZDBCompressedStreamParams params;
      params.BlockSize = 4096;
      params.Algorithm = algorithm;
      params.Level = level;
      TZDBCompressedBLOBStream blob(underlying, params, false, true);
      TZDBMemoryStream source(data);
      blob.LoadFromStream(source, 9000, 0);
      EXPECT_EQ(blob.BlockCount(), 3);
      EXPECT_GT(blob.CompressionRate(), 50.0);
      TZDBCompressedBLOBStream reopened(underlying, blob.Params(), false, false);
      TZDBMemoryStream copy;
      reopened.SaveToStream(copy);
      EXPECT_EQ(Content(copy), data);
    }
  }
  // Level 0 without a block size of its own takes the level's default.
  TZDBMemoryStream underlying;
  TZDBCompressedStreamParams params;
  params.Algorithm = CompressionZlib;
  TZDBCompressedBLOBStream blob(underlying, params, false, true);
  EXPECT_EQ(blob.CompressedBlockSize(), 102400);
}

TEST(CompressedBlobStream, WithoutCompressionTheBytesLieAsTheyAre) {
  TZDBMemoryStream underlying(Bytes{'P', 'R', 'E', 'F'});
  TZDBCompressedStreamParams params;
  params.StartPosition = 4;
  {
    TZDBCompressedBLOBStream blob(underlying, params, false, true);
    WriteStreamExact(blob, "hello", 5, errors::StreamSaveWriteFailed);
    blob.SetPosition(10);
    WriteStreamExact(blob, "!", 1, errors::StreamSaveWriteFailed);
    EXPECT_EQ(blob.Size(), 11);
    EXPECT_EQ(blob.CompressionRate(), 0.0);
    EXPECT_EQ(Content(underlying), Join({Bytes{'P', 'R', 'E', 'F', 'h', 'e', 'l', 'l', 'o'}, Bytes(5, 0), Bytes{'!'}}));
    blob.SetSize(3);
    EXPECT_EQ(underlying.Size(), 7);
    EXPECT_EQ(blob.Position(), 3);
    params = blob.Params();
  }
  EXPECT_EQ(params.UncompressedSize, 3);
  TZDBCompressedBLOBStream reopened(underlying, params, false, false);
  EXPECT_EQ(ReadAll(reopened), (Bytes{'h', 'e', 'l'}));

  params.UncompressedSize = 20;
  ExpectError([&] { TZDBCompressedBLOBStream blob(underlying, params, false, false); }, 10081,
              "Stream size = 7 too small. Should be at least = 24");
  TZDBCompressedBLOBStream tolerant(underlying, params, true, false);
  EXPECT_EQ(tolerant.Size(), 3);
}

}  // namespace
}  // namespace zdb
