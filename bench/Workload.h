// The operations the benchmark times, as each engine performs them. Every engine keeps
// the same rows:
//   table "Datos": k INTEGER (unique index), grp INTEGER (non-unique index), a FLOAT,
//                  b FLOAT, with grp = k mod GroupCount, a = k / 2, b = k + 0.25;
//   table "Ancho": k INTEGER (unique index), s a 200-character string, a FLOAT;
//   table "Grande": k INTEGER (unique index), a FLOAT, b FLOAT;
//   table "Maximo": any INTEGER (index "ANY"), PenMax FLOAT, TopeCot FLOAT, one row a year.
// Reads return a sum of what they read so that nothing is optimised away and both engines
// can be checked against each other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

inline constexpr int32_t GroupCount = 1000;
inline constexpr int32_t WideTextSize = 200;
inline constexpr int32_t FirstYear = 1967;
inline constexpr int32_t LastYear = 2040;

inline double FieldA(int32_t k) { return k / 2.0; }
inline double FieldB(int32_t k) { return k + 0.25; }
std::string WideText(int32_t k);

class Workload {
 public:
  virtual ~Workload() = default;

  virtual std::string Name() const = 0;
  // A new file with the four tables, empty but for "Maximo"'s years.
  virtual void Create() = 0;

  virtual void InsertOneCommitEach(int32_t first, int32_t count) = 0;
  virtual void InsertInTransaction(int32_t first, int32_t count) = 0;
  virtual double LookUp(const std::vector<int32_t>& keys) = 0;
  virtual double ScanInKeyOrder() = 0;
  // Find the row, change a, post: one commit each.
  virtual void EditOneCommitEach(const std::vector<int32_t>& keys) = 0;
  virtual void EditInTransaction(const std::vector<int32_t>& keys) = 0;
  virtual void DeleteInTransaction(const std::vector<int32_t>& keys) = 0;
  // Closes the file and opens it again.
  virtual void Reopen() = 0;
  // The first row of each group by the second index, and its a.
  virtual double LookUpGroups(const std::vector<int32_t>& groups) = 0;
  virtual void InsertWide(int32_t count) = 0;
  virtual double ScanWide() = 0;
  virtual void InsertLarge(int32_t count) = 0;
  virtual double ScanLarge() = 0;
  // Open "Maximo", find the year, read both amounts, close; per year.
  virtual double YearLookups(const std::vector<int32_t>& years) = 0;
  // Everything closed.
  virtual void Close() = 0;
};

}  // namespace bench
