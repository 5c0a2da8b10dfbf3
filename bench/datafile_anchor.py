"""Anchor of datafile_bench: Python's csv module loads a delimited CP1251 file, walks
every field of every record and writes the file back (flushed to the disk), as the
program's delimited data file does. Prints the best time of the runs in seconds and the
total field length as a check."""

import csv
import os
import sys
import time


def load_walk_save(source, target):
    with open(source, encoding="cp1251", newline="") as f:
        rows = list(csv.reader(f, delimiter=";", quoting=csv.QUOTE_NONE))
    total = 0
    for row in rows:
        for field in row:
            total += len(field)
    with open(target, "w", encoding="cp1251", newline="") as f:
        writer = csv.writer(f, delimiter=";", quoting=csv.QUOTE_NONE, lineterminator="\r\n")
        writer.writerows(rows)
        f.flush()
        os.fsync(f.fileno())
    return total


def main():
    source, target, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    best = None
    total = 0
    for _ in range(runs):
        start = time.perf_counter()
        total = load_walk_save(source, target)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    print(f"{best:.6f} {total}")


if __name__ == "__main__":
    main()
