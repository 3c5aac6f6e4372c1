// The PPM compressor: its level table, its model under memory pressure, how well it
// compresses text, and its refusal of anything that is not an intact stream of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/base/ZDBCompression.h"
#include "engine/base/ZDBCrc32.h"
#include "engine/base/ZDBEndian.h"
#include "engine/base/ZDBPPMCoder.h"
#include "engine/base/ZDBPPMModel.h"
#include "engine/base/ZDBRangeCoder.h"

namespace zdb {
namespace {

using Bytes = std::vector<uint8_t>;

// Prose-like text: words drawn unevenly from a small vocabulary, with punctuation and
// line breaks, the way table contents and notes look.
Bytes TypicalText(size_t size, uint32_t seed = 7) {
  static const char* const Words[] = {
      "el", "la", "de", "que", "y", "en", "los", "se", "del", "las", "un", "por", "con", "no", "una",
      "su", "para", "es", "al", "lo", "como", "pensión", "jubilación", "demora", "años", "cuantía",
      "complemento", "porcentaje", "máxima", "base", "cotización", "tope", "mensual", "importe",
      "cálculo", "beneficiario", "edad", "ordinaria", "cada", "año", "completo", "adicional",
      "incremento", "tanto", "alzado", "opción", "mixta", "límite", "ejercicio", "reguladora"};
  constexpr size_t WordCount = sizeof(Words) / sizeof(Words[0]);
  std::mt19937 random(seed);
  std::geometric_distribution<size_t> pick(0.08);
  std::string text;
  size_t inSentence = 0;
  while (text.size() < size) {
    std::string word = Words[pick(random) % WordCount];
    if (inSentence == 0) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
    text += word;
    if (++inSentence > 6 + random() % 10) {
      text += random() % 4 == 0 ? ".\n" : ". ";
      inSentence = 0;
    } else {
      text += random() % 9 == 0 ? ", " : " ";
    }
  }
  text.resize(size);
  return Bytes(text.begin(), text.end());
}

Bytes Compress(int level, const Bytes& data) {
  Bytes out;
  EXPECT_TRUE(PPMCompress(level, data.data(), data.size(), out));
  return out;
}

TEST(PPMCoder, LevelTable) {
  const int orders[] = {0, 2, 3, 4, 5, 7, 8, 10, 13, 16};
  const int memory[] = {0, 2, 3, 7, 16, 22, 25, 40, 100, 100};
  for (int level = 0; level <= PPMMaxLevel; ++level) {
    EXPECT_EQ(PPMModelOrder(level), orders[level]) << level;
    EXPECT_EQ(PPMModelMemoryMB(level), memory[level]) << level;
  }
  EXPECT_EQ(PPMModelOrder(10), -1);
  EXPECT_EQ(PPMModelOrder(-1), -1);
}

TEST(PPMCoder, CompressesTextBetterThanZlibDefault) {
  const Bytes text = TypicalText(50000);
  Bytes zlib;
  ASSERT_TRUE(CompressBuffer(CompressionZlib, 6, text.data(), static_cast<int64_t>(text.size()), zlib));
  // Orders 0 and 2 (levels 0, 1) see too little context to beat a dictionary coder.
  for (int level = 2; level <= PPMMaxLevel; ++level) {
    const Bytes packed = Compress(level, text);
    EXPECT_LT(packed.size(), zlib.size()) << "level " << level;
    Bytes back;
    ASSERT_TRUE(PPMDecompress(packed.data(), packed.size(), text.size(), back)) << level;
    EXPECT_EQ(back, text) << level;
  }
}

TEST(PPMCoder, StoresWhatItCannotShrink) {
  Bytes noise(5000);
  std::mt19937 random(1);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  for (int level : {0, 5, 9}) {
    const Bytes packed = Compress(level, noise);
    EXPECT_EQ(packed.size(), noise.size() + 10);
    EXPECT_EQ(packed[0], 1);  // stored
    Bytes back;
    ASSERT_TRUE(PPMDecompress(packed.data(), packed.size(), noise.size(), back));
    EXPECT_EQ(back, noise);
  }
}

// A model whose memory runs out many times must restart at the same symbols on both
// sides; any divergence garbles everything after it.
TEST(PPMModel, RestartsInStepWhenMemoryRunsOut) {
  Bytes data = TypicalText(60000, 3);
  const Bytes more = TypicalText(60000, 4);
  data.insert(data.end(), more.begin(), more.end());
  for (int order : {2, 16}) {
    constexpr size_t TinyBudget = 200000;
    Bytes coded;
    {
      RangeEncoder encoder(coded, SIZE_MAX);
      PPMModel model(order, TinyBudget);
      for (uint8_t b : data) model.EncodeSymbol(encoder, b);
      encoder.Finish();
    }
    RangeDecoder decoder(coded.data(), coded.size());
    PPMModel model(order, TinyBudget);
    Bytes back;
    for (size_t i = 0; i < data.size(); ++i) {
      uint8_t symbol = 0;
      ASSERT_TRUE(model.DecodeSymbol(decoder, symbol)) << "order " << order << " at " << i;
      back.push_back(symbol);
    }
    EXPECT_TRUE(decoder.AtEnd());
    EXPECT_EQ(back, data) << "order " << order;
  }
}

TEST(PPMCoder, RejectsDamagedHeaders) {
  const Bytes text = TypicalText(3000);
  const Bytes good = Compress(5, text);
  ASSERT_EQ(good[0], 0);  // modelled
  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
    int width;  // 1 or 4 bytes
  };
  const Case cases[] = {
      {"unknown method", 0, 2, 1},
      {"stored but wrong length", 0, 1, 1},
      {"level out of range", 1, 10, 1},
      {"other level, other model", 1, 4, 1},
      {"size 0", 2, 0, 4},
      {"size one short", 2, 2999, 4},
      {"size one more", 2, 3001, 4},
      {"size beyond what the caller allows", 2, 1000000, 4},
      {"checksum", 6, Crc32(text.data(), text.size()) ^ 1u, 4},
  };
  for (const auto& c : cases) {
    Bytes bad = good;
    if (c.width == 1)
      bad[c.offset] = static_cast<uint8_t>(c.value);
    else
      le::PutU32(bad.data() + c.offset, c.value);
    Bytes out;
    EXPECT_FALSE(PPMDecompress(bad.data(), bad.size(), 500000, out)) << c.what;
    EXPECT_TRUE(out.empty()) << c.what;
  }
  Bytes out;
  EXPECT_FALSE(PPMDecompress(good.data(), good.size(), text.size() - 1, out)) << "larger than expected";
  EXPECT_FALSE(PPMDecompress(good.data(), 9, text.size(), out)) << "shorter than a header";
}

TEST(PPMCoder, RunsSafelyFromSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<int> ok(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &ok] {
      const Bytes text = TypicalText(20000, static_cast<uint32_t>(t));
      Bytes packed, back;
      ok[static_cast<size_t>(t)] = PPMCompress(3 + t, text.data(), text.size(), packed) &&
                                   PPMDecompress(packed.data(), packed.size(), text.size(), back) && back == text;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(ok, std::vector<int>(4, 1));
}

}  // namespace
}  // namespace zdb
