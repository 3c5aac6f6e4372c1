// The benchmark against SQLite: every operation of Workload.h on the same rows, through the
// table component in single-user and in multi-user mode and through SQLite, each timed in
// the same run; printed as a table with the ratios ZDB/SQLite (lower is better).
//
//   zdb_bench [ROWS] [--dir DIR] [--only sqlite|single|multi]
// ROWS is the size of the main table (20000 unless given); the files are made in DIR (the
// current folder unless given) and removed afterwards. --only runs one engine, for a
// profiler.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/FlushCounter.h"
#include "bench/SqliteWorkload.h"
#include "bench/ZdbWorkload.h"

namespace bench {

std::string WideText(int32_t k) {
  std::string text(WideTextSize, ' ');
  for (int32_t i = 0; i < WideTextSize; ++i) text[static_cast<size_t>(i)] = static_cast<char>('a' + (k + i) % 26);
  return text;
}

namespace {

struct Sizes {
  int32_t rows;
  int32_t oneCommitRows;
  int32_t bulkRows;
  int32_t lookups;
  int32_t tenPercent;
  int32_t largeRows;
  int32_t yearLookups;
};

Sizes SizesFor(int32_t rows) {
  Sizes sizes{};
  sizes.rows = rows;
  sizes.oneCommitRows = std::max(rows / 40, 10);
  sizes.bulkRows = rows * 9 / 10;
  sizes.lookups = rows;
  sizes.tenPercent = rows / 10;
  sizes.largeRows = rows * 5;
  sizes.yearLookups = 2000;
  return sizes;
}

// What one row of the table shows for one engine.
struct Figure {
  double value = NAN;  // in the row's unit
  double check = 0;    // what the reads summed
};

struct Row {
  std::string operation;
  std::string unit;
  Figure figures[3];  // SQLite, ZDB single-user, ZDB multi-user
};

enum Engine { SqliteEngine = 0, SingleEngine = 1, MultiEngine = 2 };

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::vector<int32_t> RandomKeys(int32_t count, int32_t below, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int32_t> pick(0, below - 1);
  std::vector<int32_t> keys(static_cast<size_t>(count));
  for (int32_t& key : keys) key = pick(random);
  return keys;
}

// Distinct keys, as many as asked, drawn from [0, below).
std::vector<int32_t> DistinctKeys(int32_t count, int32_t below, uint32_t seed) {
  std::vector<int32_t> keys(static_cast<size_t>(below));
  std::iota(keys.begin(), keys.end(), 0);
  std::shuffle(keys.begin(), keys.end(), std::mt19937(seed));
  keys.resize(static_cast<size_t>(std::min(count, below)));
  return keys;
}

class Runner {
 public:
  explicit Runner(const Sizes& sizes) : sizes_(sizes) {}

  void Run(Workload& workload, Engine engine) {
    engine_ = engine;
    row_ = 0;
    const Sizes& s = sizes_;
    const double microseconds = 1e6;
    const double milliseconds = 1e3;
    workload.Create();

    int64_t flushes = FlushCount();
    Time("insert, one commit per row", "us/row", s.oneCommitRows, microseconds,
         [&] { workload.InsertOneCommitEach(0, s.oneCommitRows); });
    const double insertFlushes = static_cast<double>(FlushCount() - flushes) / s.oneCommitRows;
    Time("insert " + std::to_string(s.bulkRows) + " rows in one transaction", "us/row", s.bulkRows, microseconds,
         [&] { workload.InsertInTransaction(s.oneCommitRows, s.bulkRows); });
    const int32_t filled = s.oneCommitRows + s.bulkRows;
    if (filled < s.rows) workload.InsertInTransaction(filled, s.rows - filled);

    const std::vector<int32_t> lookups = RandomKeys(s.lookups, s.rows, 1);
    Check("point lookup by key + read a field", "us/op", s.lookups, microseconds,
          [&] { return workload.LookUp(lookups); });
    Check("full scan in key order + read a field", "ms", 1, milliseconds, [&] { return workload.ScanInKeyOrder(); });
    const std::vector<int32_t> edits = DistinctKeys(s.oneCommitRows, s.rows, 2);
    flushes = FlushCount();
    Time("find + edit + post, one commit each", "us/op", s.oneCommitRows, microseconds,
         [&] { workload.EditOneCommitEach(edits); });
    const double editFlushes = static_cast<double>(FlushCount() - flushes) / s.oneCommitRows;
    const std::vector<int32_t> tenPercent = DistinctKeys(s.tenPercent, s.rows, 3);
    Time("update 10 % in one transaction", "ms", 1, milliseconds, [&] { workload.EditInTransaction(tenPercent); });
    const std::vector<int32_t> deletions = DistinctKeys(s.tenPercent, s.rows, 4);
    Time("delete 10 % in one transaction", "ms", 1, milliseconds, [&] { workload.DeleteInTransaction(deletions); });
    workload.Reopen();
    Check("scan after reopening the file", "ms", 1, milliseconds, [&] { return workload.ScanInKeyOrder(); });
    const std::vector<int32_t> groups = RandomKeys(s.lookups, GroupCount, 5);
    Check("lookup by a second, non-unique index", "us/op", s.lookups, microseconds,
          [&] { return workload.LookUpGroups(groups); });
    Time("200-byte string rows: insert in one transaction", "us/row", s.rows, microseconds,
         [&] { workload.InsertWide(s.rows); });
    Check("200-byte string rows: full scan", "ms", 1, milliseconds, [&] { return workload.ScanWide(); });
    Time(std::to_string(s.largeRows) + " rows: insert in one transaction", "us/row", s.largeRows, microseconds,
         [&] { workload.InsertLarge(s.largeRows); });
    Check(std::to_string(s.largeRows) + " rows: full scan", "ms", 1, milliseconds,
          [&] { return workload.ScanLarge(); });
    const std::vector<int32_t> years = RandomKeys(s.yearLookups, LastYear - FirstYear + 1, 6);
    std::vector<int32_t> yearKeys;
    for (int32_t offset : years) yearKeys.push_back(FirstYear + offset);
    Check("year lookup: open, find, read two fields, close", "us/op", s.yearLookups, microseconds,
          [&] { return workload.YearLookups(yearKeys); });
    Put("flushes per one-row insert commit", "fsync", insertFlushes);
    Put("flushes per one-row edit commit", "fsync", editFlushes);
    workload.Close();
  }

  void Print(bool onlyOne) const {
    std::printf("| operation | unit | ZDB single-user | ZDB multi-user | SQLite | ratio single | ratio multi |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|\n");
    for (const Row& row : rows_) {
      std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", row.operation.c_str(), row.unit.c_str(),
                  Number(row.figures[SingleEngine].value).c_str(), Number(row.figures[MultiEngine].value).c_str(),
                  Number(row.figures[SqliteEngine].value).c_str(),
                  Ratio(row.figures[SingleEngine].value, row.figures[SqliteEngine].value).c_str(),
                  Ratio(row.figures[MultiEngine].value, row.figures[SqliteEngine].value).c_str());
    }
    if (onlyOne) return;
    for (const Row& row : rows_) {
      const double expected = row.figures[SqliteEngine].check;
      for (int engine : {SingleEngine, MultiEngine})
        if (std::abs(row.figures[engine].check - expected) > 1e-6 * std::max(1.0, std::abs(expected)))
          std::printf("warning: %s read %.3f through ZDB (%s) and %.3f through SQLite\n", row.operation.c_str(),
                      row.figures[engine].check, engine == SingleEngine ? "single-user" : "multi-user", expected);
    }
  }

 private:
  Row& Current(const std::string& operation, const std::string& unit) {
    if (row_ == rows_.size()) rows_.push_back({operation, unit, {}});
    return rows_[row_++];
  }
  void Time(const std::string& operation, const std::string& unit, int32_t count, double scale,
            const std::function<void()>& work) {
    Current(operation, unit).figures[engine_].value = Seconds(work) * scale / count;
  }
  void Check(const std::string& operation, const std::string& unit, int32_t count, double scale,
             const std::function<double()>& work) {
    double check = 0;
    Row& row = Current(operation, unit);
    row.figures[engine_].value = Seconds([&] { check = work(); }) * scale / count;
    row.figures[engine_].check = check;
  }
  void Put(const std::string& operation, const std::string& unit, double value) {
    Current(operation, unit).figures[engine_].value = value;
  }
  static std::string Number(double value) {
    if (std::isnan(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, value >= 100 ? "%.0f" : value >= 10 ? "%.1f" : "%.2f", value);
    return text;
  }
  static std::string Ratio(double zdb, double sqlite) {
    if (std::isnan(zdb) || std::isnan(sqlite) || sqlite <= 0) return "-";
    return Number(zdb / sqlite);
  }

  Sizes sizes_;
  Engine engine_ = SqliteEngine;
  size_t row_ = 0;
  std::vector<Row> rows_;
};

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  int32_t rows = 20000;
  std::filesystem::path dir = ".";
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (arg == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (!arg.empty() && std::isdigit(static_cast<unsigned char>(arg[0]))) {
      rows = std::max(std::atoi(arg.c_str()), 100);
    } else {
      std::fprintf(stderr, "usage: %s [ROWS] [--dir DIR] [--only sqlite|single|multi]\n", argv[0]);
      return 2;
    }
  }
  std::filesystem::create_directories(dir);
  const bench::Sizes sizes = bench::SizesFor(rows);
  std::printf("%d rows; files in %s\n\n", rows, std::filesystem::absolute(dir).c_str());
  std::fflush(stdout);

  bench::Runner runner(sizes);
  try {
    if (only.empty() || only == "sqlite") {
      bench::SqliteWorkload sqlite((dir / "bench.sqlite").string());
      runner.Run(sqlite, bench::SqliteEngine);
    }
    if (only.empty() || only == "single") {
      bench::ZdbWorkload single((dir / "single.zdb").string(), false);
      runner.Run(single, bench::SingleEngine);
    }
    if (only.empty() || only == "multi") {
      bench::ZdbWorkload multi((dir / "multi.zdb").string(), true);
      runner.Run(multi, bench::MultiEngine);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark failed: %s\n", e.what());
    return 1;
  }
  runner.Print(!only.empty());
  for (const char* name : {"bench.sqlite", "single.zdb", "multi.zdb"}) std::filesystem::remove(dir / name);
  return 0;
}
