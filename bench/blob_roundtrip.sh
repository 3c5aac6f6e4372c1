#!/usr/bin/env bash
# A 10 MiB large value through the zdb tool with every compression algorithm: stored with
# set-blob, read back with get-blob, compared byte for byte, and the file checked. Prints
# the seconds each step took and the file's size; a mismatch or a failed check exits 1.
#
#   bench/blob_roundtrip.sh [ZDB] [MIB]
# ZDB is the tool to run (an optimised build: build/release/tools/zdb/zdb unless given),
# MIB the value's size in MiB (10 unless given).
set -euo pipefail

zdb=${1:-"$(dirname "$0")/../build/release/tools/zdb/zdb"}
mib=${2:-10}
[[ -x "$zdb" ]] || { echo "no zdb tool at $zdb (build the release tree first)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Text-like bytes that every algorithm can work on: base64 of random bytes.
# (Written whole first: cutting base64 off mid-pipe would fail the pipeline.)
head -c $((mib * 1024 * 1024 * 3 / 4)) /dev/urandom | base64 -w 76 > "$work/text"
head -c $((mib * 1024 * 1024)) "$work/text" > "$work/value"

seconds() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

printf '%-9s %8s %8s %8s %12s\n' algorithm set-blob get-blob check file-bytes
for algorithm in none zlib bzip2 ppm; do
  db="$work/$algorithm.zdb"
  field="Doc:BLOB:$algorithm"
  [[ $algorithm == none ]] || field="$field:6"
  "$zdb" create "$db"
  "$zdb" create-table "$db" Docs --field id:INTEGER --field "$field" >/dev/null
  printf 'id\r\n1\r\n' > "$work/rows.csv"
  "$zdb" load "$db" Docs "$work/rows.csv" >/dev/null

  t0=$(seconds)
  "$zdb" set-blob "$db" Docs Doc --where id=1 < "$work/value" >/dev/null
  t1=$(seconds)
  "$zdb" get-blob "$db" Docs Doc --where id=1 > "$work/out"
  t2=$(seconds)
  "$zdb" check "$db" >/dev/null || { echo "$algorithm: check found problems" >&2; exit 1; }
  t3=$(seconds)
  cmp -s "$work/value" "$work/out" || { echo "$algorithm: the value read back differs" >&2; exit 1; }
  printf '%-9s %8s %8s %8s %12s\n' "$algorithm" "$(elapsed "$t0" "$t1")" "$(elapsed "$t1" "$t2")" \
    "$(elapsed "$t2" "$t3")" "$(stat -c %s "$db")"
done
