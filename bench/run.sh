#!/usr/bin/env bash
# Builds the benchmarks with the program's own build type (RelWithDebInfo) and runs each beside its outside anchor, in the same run:
# raw deflate/inflate against Python's zlib, zip save/load against Python's zipfile, and the
# multi-stream growth against its fixed goal, the delimited data file against Python's csv. Prints one table; exits 1 if a goal is missed.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTON_BENCH=ON -DVELTON_TESTS=OFF >/dev/null
ninja -C build-bench bench_compress bench_zip bench_multistream bench_datafile >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/anchors.py text "$work/text.csv" 64

./build-bench/bench/bench_compress "$work/text.csv" >"$work/ours"
python3 bench/anchors.py compress "$work/text.csv" >"$work/anchors"
./build-bench/bench/bench_zip "$work/text.csv" >>"$work/ours"
python3 bench/anchors.py zip "$work/text.csv" >>"$work/anchors"
./build-bench/bench/bench_multistream >>"$work/ours"
python3 bench/anchors.py salary "$work/salary100k.txt" 100000
python3 bench/anchors.py salary "$work/salary200k.txt" 200000
./build-bench/bench/bench_datafile "$work/salary100k.txt" "$work/salary200k.txt" >>"$work/ours"
python3 bench/anchors.py datafile "$work/salary100k.txt" "$work/salary200k.txt" >>"$work/anchors"

python3 bench/anchors.py report "$work/ours" "$work/anchors"
