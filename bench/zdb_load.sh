#!/usr/bin/env bash
# The zdb tool's load against the sqlite3 shell's .import: the same generated CSV into a
# table of the same shape (an integer key with a unique index, two floats, a short text),
# each into a new file on a real disk. Prints the seconds each took, the ratio zdb/sqlite3
# (lower is better) and the flushes (fsync + fdatasync) each made, counted by strace in a
# second run so that the timed run is not slowed by it.
#
#   bench/zdb_load.sh [ROWS]
# ROWS is 100000 unless given. ZDB_BUILD_DIR names the Release build to use
# (build/release-bench unless given, as bench/run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
ROWS="${1:-100000}"
BUILD_DIR="${ZDB_BUILD_DIR:-build/release-bench}"

./scripts/install-deps.sh
# The baseline and the flush counter: needed here only.
BENCH_PACKAGES=(sqlite3 strace)
missing=()
for p in "${BENCH_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZDB_BUILD_BENCH=ON -DZDB_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target zdb >/dev/null
ZDB="$BUILD_DIR/tools/zdb/zdb"

WORK="$BUILD_DIR/bench-data/load"
rm -rf "$WORK"
mkdir -p "$WORK"
trap 'rm -rf "$WORK"' EXIT
CSV="$WORK/rows.csv"
awk -v rows="$ROWS" 'BEGIN {
  print "any,PenMax,TopeCot,Nota"
  for (i = 1; i <= rows; i++) printf "%d,%.2f,%.2f,fila %d de la prueba\n", i, 1000 + i / 100, 4000 + i / 7, i
}' > "$CSV"

seconds() { date +%s.%N; }

# NAME_new FILE makes a new file with the table; NAME_load FILE [COMMAND...] loads the CSV
# into it, run under COMMAND when given.
zdb_new() {
  rm -f "$1" "$1-journal"
  "$ZDB" create "$1" >/dev/null
  "$ZDB" create-table "$1" Limites --field any:INTEGER --field PenMax:FLOAT --field TopeCot:FLOAT \
    --field Nota:STRING:40 --index ANY:any:primary >/dev/null
}
zdb_load() {
  local db=$1
  shift
  "$@" "$ZDB" load "$db" Limites "$CSV" >/dev/null
}

SQLITE_SCHEMA="CREATE TABLE Limites(any INTEGER PRIMARY KEY, PenMax REAL, TopeCot REAL, Nota TEXT);"
sqlite_new() {
  rm -f "$1" "$1-journal"
  sqlite3 "$1" "$SQLITE_SCHEMA"
}
# The settings bench/run.sh compares against: a rollback journal, every commit flushed.
sqlite_load() {
  local db=$1
  shift
  "$@" sqlite3 "$db" -cmd "PRAGMA journal_mode=DELETE;" -cmd "PRAGMA synchronous=FULL;" \
    ".import --csv --skip 1 $CSV Limites" >/dev/null
}

# timed NAME: seconds of NAME_load on a new file.
timed() {
  local db="$WORK/timed.$1"
  "$1_new" "$db"
  local t0 t1
  t0=$(seconds)
  "$1_load" "$db"
  t1=$(seconds)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}

# flushes NAME: fsync + fdatasync calls of NAME_load on a new file.
flushes() {
  local db="$WORK/flushes.$1"
  "$1_new" "$db"
  "$1_load" "$db" strace -f -c -e trace=fsync,fdatasync -o "$WORK/strace.$1"
  awk '$NF == "fsync" || $NF == "fdatasync" { n += $4 } END { print n + 0 }' "$WORK/strace.$1"
}

zdb_seconds=$(timed zdb)
sqlite_seconds=$(timed sqlite)
zdb_rows=$("$ZDB" schema "$WORK/timed.zdb" Limites | awk '/^rows:/ { print $2 }')
sqlite_rows=$(sqlite3 "$WORK/timed.sqlite" "SELECT count(*) FROM Limites;")
if [ "$zdb_rows" != "$ROWS" ] || [ "$sqlite_rows" != "$ROWS" ]; then
  echo "rows loaded: zdb $zdb_rows, sqlite3 $sqlite_rows, expected $ROWS" >&2
  exit 1
fi
zdb_flushes=$(flushes zdb)
sqlite_flushes=$(flushes sqlite)

printf 'load of %d rows (%d-byte CSV)\n' "$ROWS" "$(stat -c %s "$CSV")"
printf '%-16s %10s %10s\n' "" seconds flushes
printf '%-16s %10s %10s\n' "zdb load" "$zdb_seconds" "$zdb_flushes"
printf '%-16s %10s %10s\n' "sqlite3 .import" "$sqlite_seconds" "$sqlite_flushes"
awk -v z="$zdb_seconds" -v s="$sqlite_seconds" 'BEGIN { printf "ratio zdb/sqlite3: %.2f\n", z / s }'
