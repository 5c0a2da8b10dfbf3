#!/usr/bin/env bash
# Builds the benchmarks with the program's own build type (RelWithDebInfo) and runs each in
# rounds beside its anchor and its limit (bench/README.md names them): raw deflate and
# inflate against zlib called directly, zip save/load against Python's zipfile, the
# multi-stream growth against its fixed goal, the delimited data file against Python's csv
# and plain C++ readers, the message store against an independent Python reader and writer
# of its format, the salary validation against plain C++ and Python's dict, the export's
# check pass for its linearity, the GnuPG back end against the same gpg command run
# directly, the arbitrary file's send of 50 MB beside the plain container build of the
# same bytes, and the POP3 and IMAP receivers against curl's command-line client on a local
# dovecot. Prints one table of medians; exits 1 if the median of a goal's measure misses it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTON_BENCH=ON -DVELTON_TESTS=OFF >/dev/null
ninja -C build-bench bench_compress bench_zip bench_multistream bench_datafile bench_internals bench_validate bench_export_check bench_gpg bench_receive bench_windows bench_docwindow bench_arbitrary_send >/dev/null

work=$(mktemp -d)
# gpg starts an agent for each key folder: stop them before the folders go.
trap 'for home in "$work"/c "$work"/b; do [ -d "$home" ] && gpgconf --homedir "$home" --kill gpg-agent; done; rm -rf "$work"' EXIT
python3 bench/anchors.py text "$work/text.csv" 64

./build-bench/bench/bench_compress "$work/text.csv" >"$work/ours"
./build-bench/bench/bench_zip "$work/text.csv" >>"$work/ours"
python3 bench/anchors.py zip "$work/text.csv" >"$work/anchors"
./build-bench/bench/bench_multistream >>"$work/ours"
python3 bench/anchors.py salary "$work/salary100k.txt" 100000
python3 bench/anchors.py salary "$work/salary200k.txt" 200000
python3 bench/anchors.py salary "$work/salary1m.txt" 1000000
./build-bench/bench/bench_datafile "$work/salary100k.txt" "$work/salary200k.txt" "$work/salary1m.txt" >>"$work/ours"
python3 bench/anchors.py datafile "$work/salary100k.txt" "$work/salary200k.txt" >>"$work/anchors"
# The document window opening the 200,000-record list; its anchor is the plain load. Each
# mode in five fresh processes, taking turns, for five first openings of each.
for round in 1 2 3 4 5; do
  ./build-bench/bench/bench_docwindow window "$work/salary200k.txt" >>"$work/ours" 2>/dev/null
  ./build-bench/bench/bench_docwindow plain "$work/salary200k.txt" >>"$work/anchors" 2>/dev/null
done
python3 bench/anchors.py messages "$work/messages10k" 10000
python3 bench/anchors.py messages "$work/messages20k" 20000
./build-bench/bench/bench_internals "$work/messages10k" "$work/messages20k" >>"$work/ours"
python3 bench/anchors.py internals "$work/messages10k" "$work/messages20k" >>"$work/anchors"

# 500,000 salary records against a stored list of 500,000 rows, and twice both. The
# benchmark stores the lists; its plain C++ version and Python read the same stores.
mkdir "$work/v500k" "$work/v1m"
python3 bench/anchors.py etalon "$work/v500k" 500000 500000
python3 bench/anchors.py etalon "$work/v1m" 1000000 1000000
./build-bench/bench/bench_validate "$work/v500k" "$work/v1m" >>"$work/ours"
python3 bench/anchors.py validate "$work/v500k" "$work/v1m" >>"$work/anchors"

# The export's check pass: 100,000 and 200,000 marked salary records against a stored
# list of 400,000 rows.
mkdir "$work/c100" "$work/c200"
python3 bench/anchors.py etalon "$work/c100" 400000 100000
python3 bench/anchors.py etalon "$work/c200" 400000 200000
./build-bench/bench/bench_export_check "$work/c100" "$work/c200" >>"$work/ours"

# A client and the bank, each with a key pair without passphrase (Ed25519 signing,
# Cv25519 encryption), each holding the other's public key; 10 MB of random bytes stand
# for a container (a zip archive does not compress further either).
make_key() {
  mkdir -m 700 "$1"
  gpg --homedir "$1" --batch --pinentry-mode loopback --passphrase '' --quick-gen-key "$2" ed25519 sign never 2>/dev/null
  local fpr
  fpr=$(gpg --homedir "$1" --list-keys --with-colons | awk -F: '/^fpr/ {print $10; exit}')
  gpg --homedir "$1" --batch --pinentry-mode loopback --passphrase '' --quick-add-key "$fpr" cv25519 encr never 2>/dev/null
  echo "${fpr: -16}"
}
client_key=$(make_key "$work/c" "Client <client@example.test>")
bank_key=$(make_key "$work/b" "Bank <bank@example.test>")
gpg --homedir "$work/b" --export | gpg --homedir "$work/c" --batch --import 2>/dev/null
gpg --homedir "$work/c" --export | gpg --homedir "$work/b" --batch --import 2>/dev/null
head -c $((10 * 1024 * 1024)) /dev/urandom >"$work/plain"
gpg --homedir "$work/b" --batch --always-trust --recipient "$client_key" --local-user "$bank_key" \
    --sign --encrypt <"$work/plain" >"$work/sealed" 2>/dev/null

./build-bench/bench/bench_gpg "$work/c/" "$bank_key" "$work/plain" "$work/sealed" "$work" >>"$work/ours"

# The arbitrary file: 50 MB of random bytes (the worst case: Base64 of them deflates only
# to three quarters) sent through a local SMTP server, beside the plain container build
# of the same bytes; each in a process of its own, for its peak memory.
head -c $((50 * 1024 * 1024)) /dev/urandom >"$work/arbitrary.bin"
mkdir "$work/send" "$work/container"
./build-bench/bench/bench_arbitrary_send send "$work/c/" "$bank_key" "$work/arbitrary.bin" "$work/send" >>"$work/ours"
./build-bench/bench/bench_arbitrary_send container "$work/c/" "$bank_key" "$work/arbitrary.bin" "$work/container" |
  sed 's/^arbitrary_container_/arbitrary_send_/' >>"$work/anchors"

# 1,000 small bank messages from a local dovecot (started by the program itself, as the
# test fixtures do) by POP3 and by IMAP; curl fetches and deletes the same messages in one
# process over one connection.
./build-bench/bench/bench_receive >>"$work/ours"
# A bank's container whose one reference list inflates to 256 MB, dispatched into an empty
# store and once more: the peak resident size, in a process of its own.
./build-bench/bench/bench_receive list >>"$work/ours"

status=0
python3 bench/anchors.py report "$work/ours" "$work/anchors" || status=1

# The messages window on 10,000 and 20,000 messages, the journal window on 100,000 and
# 200,000 rows, each opened five times in a fresh process (offscreen): the median time
# until the list is drawn, the peak memory, and the rows that drawing read after a scroll
# to the end. Goals: the doubled store opens in at most 2.2 times the time, and scrolling reads
# only the rows on the screen (fewer than 100).
./build-bench/bench/bench_windows make "$work/w1" 10000 100000
./build-bench/bench/bench_windows make "$work/w2" 20000 200000
python3 bench/anchors.py windows ./build-bench/bench/bench_windows "$work/w1" "$work/w2" || status=1

# The reply-list window over a reply file with a field of 48 MB: the memory that drawing
# it and showing the record in the record dialog take beyond what the process held
# before. Goal: at most 8 times the field's size.
python3 bench/anchors.py reply-window ./build-bench/bench/bench_windows "$work/r48" 48 || status=1
exit $status
