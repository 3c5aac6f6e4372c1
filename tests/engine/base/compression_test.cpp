// Buffer compression: every algorithm and level round-trips, the zlib and bzip2 formats
// are the libraries' own, and damaged input is refused (or, where a change happens not to
// matter, still gives the original bytes), never turned into wrong data.
#include <gtest/gtest.h>

#include <bzlib.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "engine/base/ZDBCompression.h"

namespace zdb {
namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t Algorithms[] = {CompressionZlib, CompressionBzip, CompressionPPM};

Bytes Text(size_t size) {
  static const std::string Sample =
      "Complemento por demora: por cada año completo cotizado entre la edad ordinaria de "
      "jubilación y la del hecho causante se reconoce un porcentaje adicional del 4 % de la "
      "base reguladora, o una cantidad a tanto alzado, o ambas en la opción mixta. ";
  Bytes text;
  std::mt19937 random(11);
  while (text.size() < size) {
    // Shifted copies with small edits: repetitive like real records, never identical.
    const size_t start = random() % 40;
    text.insert(text.end(), Sample.begin() + static_cast<long>(start), Sample.end());
    text.push_back(static_cast<uint8_t>('0' + random() % 10));
  }
  text.resize(size);
  return text;
}

Bytes Noise(size_t size, uint32_t seed = 5) {
  Bytes bytes(size);
  std::mt19937 random(seed);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

Bytes Compressed(uint8_t algorithm, uint8_t level, const Bytes& data) {
  Bytes out;
  EXPECT_TRUE(CompressBuffer(algorithm, level, data.data(), static_cast<int64_t>(data.size()), out))
      << int(algorithm) << "/" << int(level);
  return out;
}

bool Decompress(uint8_t algorithm, const Bytes& packed, int64_t expected, Bytes& out) {
  return DecompressBuffer(algorithm, packed.data(), static_cast<int64_t>(packed.size()), expected, out);
}

TEST(Compression, AlgorithmNames) {
  const struct {
    const char* name;
    uint8_t code;
  } cases[] = {{"NONE", 0}, {"ZLIB", 1}, {"BZIP", 2}, {"PPM", 3},  {"zlib", 1}, {"Bzip", 2},
               {"ppm", 3},  {"", 0},     {"LZMA", 0}, {"PPM ", 0}, {"ZLI", 0}};
  for (const auto& c : cases) EXPECT_EQ(CompressionAlgorithmByName(c.name), c.code) << c.name;
  EXPECT_STREQ(CompressionAlgorithmName(CompressionBzip), "BZIP");
  EXPECT_STREQ(CompressionAlgorithmName(4), "");
}

TEST(Compression, DefaultBlockSizeByLevel) {
  const int32_t expected[] = {102400, 524288, 524288, 524288, 1048576, 1048576, 1048576, 1572864, 1572864, 1572864};
  for (uint8_t level = 0; level <= 9; ++level) EXPECT_EQ(DefaultCompressedBlockSize(level), expected[level]);
}

TEST(Compression, EveryAlgorithmAndLevelRoundTrips) {
  const Bytes inputs[] = {Bytes{0x42}, Bytes{1, 2, 3, 4, 5, 6, 7}, Noise(5000), Text(12000), Bytes(40000, 0)};
  for (uint8_t algorithm : Algorithms) {
    for (uint8_t level = 0; level <= MaxCompressionLevel; ++level) {
      for (const Bytes& input : inputs) {
        SCOPED_TRACE(testing::Message() << "algorithm " << int(algorithm) << " level " << int(level) << " size "
                                        << input.size());
        const Bytes packed = Compressed(algorithm, level, input);
        Bytes back;
        ASSERT_TRUE(Decompress(algorithm, packed, static_cast<int64_t>(input.size()), back));
        EXPECT_EQ(back, input);
        // Without the size beside it the data still comes back whole.
        ASSERT_TRUE(Decompress(algorithm, packed, 0, back));
        EXPECT_EQ(back, input);
      }
    }
  }
}

TEST(Compression, LargeBuffersRoundTrip) {
  const Bytes text = Text(1572864);
  for (uint8_t algorithm : Algorithms) {
    const uint8_t level = algorithm == CompressionPPM ? 2 : 9;
    const Bytes packed = Compressed(algorithm, level, text);
    EXPECT_LT(packed.size(), text.size() / 4) << int(algorithm);
    Bytes back;
    ASSERT_TRUE(Decompress(algorithm, packed, static_cast<int64_t>(text.size()), back)) << int(algorithm);
    EXPECT_EQ(back, text) << int(algorithm);
  }
}

TEST(Compression, RefusesWhatCannotBeCompressed) {
  const Bytes data = Text(100);
  const int64_t n = static_cast<int64_t>(data.size());
  Bytes out{1, 2, 3};
  EXPECT_FALSE(CompressBuffer(CompressionNone, 5, data.data(), n, out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(CompressBuffer(CompressionZlib, 5, data.data(), 0, out));
  EXPECT_FALSE(CompressBuffer(CompressionPPM, 5, data.data(), -1, out));
  EXPECT_FALSE(CompressBuffer(4, 5, data.data(), n, out));
  EXPECT_FALSE(CompressBuffer(CompressionBzip, 10, data.data(), n, out));
  EXPECT_FALSE(CompressBuffer(CompressionZlib, 5, nullptr, n, out));
  EXPECT_FALSE(DecompressBuffer(CompressionNone, data.data(), n, n, out));
  EXPECT_FALSE(DecompressBuffer(4, data.data(), n, n, out));
  EXPECT_FALSE(DecompressBuffer(CompressionZlib, data.data(), 0, n, out));
}

// Stored blocks must stay readable by, and be read from, the libraries themselves.
TEST(Compression, ZlibAndBzip2UseTheLibraryFormats) {
  const Bytes text = Text(50000);
  const Bytes ours = Compressed(CompressionZlib, 6, text);
  Bytes theirs(text.size());
  uLongf theirSize = static_cast<uLongf>(theirs.size());
  ASSERT_EQ(uncompress(theirs.data(), &theirSize, ours.data(), static_cast<uLong>(ours.size())), Z_OK);
  EXPECT_EQ(Bytes(theirs.begin(), theirs.begin() + static_cast<long>(theirSize)), text);

  theirSize = compressBound(static_cast<uLong>(text.size()));
  theirs.resize(theirSize);
  ASSERT_EQ(compress2(theirs.data(), &theirSize, text.data(), static_cast<uLong>(text.size()), 9), Z_OK);
  theirs.resize(theirSize);
  Bytes back;
  ASSERT_TRUE(Decompress(CompressionZlib, theirs, static_cast<int64_t>(text.size()), back));
  EXPECT_EQ(back, text);

  const Bytes bz = Compressed(CompressionBzip, 3, text);
  ASSERT_GE(bz.size(), 4u);
  EXPECT_EQ(std::string(bz.begin(), bz.begin() + 4), "BZh3");  // block size 300 k
  Bytes bzBack(text.size());
  unsigned bzBackSize = static_cast<unsigned>(bzBack.size());
  ASSERT_EQ(BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(bzBack.data()), &bzBackSize,
                                       const_cast<char*>(reinterpret_cast<const char*>(bz.data())),
                                       static_cast<unsigned>(bz.size()), 0, 0),
            BZ_OK);
  EXPECT_EQ(bzBackSize, text.size());
  EXPECT_EQ(bzBack, text);
  // Level 0 has no bzip2 block size: it gets the smallest.
  const Bytes bz0 = Compressed(CompressionBzip, 0, text);
  EXPECT_EQ(std::string(bz0.begin(), bz0.begin() + 4), "BZh1");
}

TEST(Compression, ExpectedSizeBoundsTheResult) {
  const Bytes text = Text(30000);
  for (uint8_t algorithm : Algorithms) {
    const Bytes packed = Compressed(algorithm, 5, text);
    const int64_t n = static_cast<int64_t>(text.size());
    Bytes back;
    EXPECT_FALSE(Decompress(algorithm, packed, n - 1, back)) << int(algorithm);
    EXPECT_TRUE(back.empty());
    // A larger expectation is only a buffer size: the real size comes back.
    ASSERT_TRUE(Decompress(algorithm, packed, n + 5000, back)) << int(algorithm);
    EXPECT_EQ(back, text);
    // A wildly wrong size from a damaged header costs no memory of its own.
    ASSERT_TRUE(Decompress(algorithm, packed, int64_t{1} << 40, back)) << int(algorithm);
    EXPECT_EQ(back, text);
  }
}

TEST(Compression, TruncatedOrExtendedInputIsRefused) {
  const Bytes text = Text(3000);
  for (uint8_t algorithm : Algorithms) {
    const Bytes packed = Compressed(algorithm, 1, text);
    Bytes back;
    for (size_t length = 1; length < packed.size(); ++length) {
      const Bytes cut(packed.begin(), packed.begin() + static_cast<long>(length));
      EXPECT_FALSE(Decompress(algorithm, cut, 3000, back)) << int(algorithm) << " cut to " << length;
    }
    Bytes longer = packed;
    longer.push_back(0);
    EXPECT_FALSE(Decompress(algorithm, longer, 3000, back)) << int(algorithm) << " trailing byte";
  }
}

TEST(Compression, DamagedInputNeverGivesWrongData) {
  const Bytes text = Text(1500);
  std::mt19937 random(2024);
  for (uint8_t algorithm : Algorithms) {
    const Bytes packed = Compressed(algorithm, 1, text);
    Bytes back;
    // Every byte, two ways.
    for (size_t i = 0; i < packed.size(); ++i) {
      for (uint8_t mask : {0x01, 0xA4}) {
        Bytes bad = packed;
        bad[i] ^= mask;
        const bool ok = Decompress(algorithm, bad, 1500, back);
        EXPECT_TRUE(!ok || back == text) << int(algorithm) << " byte " << i;
      }
    }
    // A few random changes at once.
    for (int round = 0; round < 200; ++round) {
      Bytes bad = packed;
      for (int k = 1 + static_cast<int>(random() % 4); k > 0; --k) bad[random() % bad.size()] = static_cast<uint8_t>(random());
      const bool ok = Decompress(algorithm, bad, 1500, back);
      EXPECT_TRUE(!ok || back == text) << int(algorithm) << " round " << round;
    }
    // Bytes that never were a stream.
    for (int round = 0; round < 200; ++round) {
      const Bytes noise = Noise(1 + random() % 300, static_cast<uint32_t>(random()));
      EXPECT_FALSE(Decompress(algorithm, noise, 100000, back)) << int(algorithm) << " noise " << round;
      EXPECT_FALSE(Decompress(algorithm, noise, 0, back)) << int(algorithm) << " noise " << round;
    }
  }
}

}  // namespace
}  // namespace zdb
