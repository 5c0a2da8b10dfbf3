#!/usr/bin/env python3
"""Outside anchors for the benchmarks, and the report that sets both side by side.

  anchors.py text FILE MEGABYTES   writes the CP1251 delimited test text
  anchors.py salary FILE RECORDS   writes a salary list of that many records
  anchors.py zip FILE              Python's zipfile in memory, same members as bench_zip
  anchors.py datafile FILE FILE    Python's csv: load, walk every field, save (100k, 200k)
  anchors.py messages FILE ROWS    writes a message store of that many rows (memos of 1.5 KB)
  anchors.py internals FILE FILE   a Python table reader and writer: load, walk, append, save
  anchors.py etalon DIR ROWS RECORDS
                                   writes DIR/list.txt (a reference list of ROWS rows) and
                                   DIR/records.txt (RECORDS salary records, most in the list)
  anchors.py validate DIR DIR      Python with a dict: the stored list of each DIR loaded,
                                   its records checked and looked up (500k/500k, 1m/1m)
  anchors.py windows PROGRAM DIR DIR
                                   the messages and journal windows of both folders' stores
  anchors.py report OURS ANCHORS   compares the "key value..." lines of both against the goals
"""
import csv
import io
import os
import random
import re
import subprocess
import statistics
import sys
import time
import zipfile
import zlib

# The independent reader and writer of the program's table files that the tests use.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "documents",
                                "integration"))
import table_tool  # noqa: E402

SURNAMES = ["Иванов", "Петров", "Сидорова", "Кузнецов", "Смирнова", "Попов", "Волкова",
            "Соколов", "Лебедева", "Козлов", "Новикова", "Морозов", "Ёлкин", "Зайцева"]
NAMES = ["Пётр", "Анна", "Сергей", "Мария", "Алексей", "Ольга", "Дмитрий", "Елена"]
PATRONYMICS = ["Сергеевич", "Ивановна", "Петрович", "Алексеевна", "Дмитриевич", "Олеговна"]


def salary_lines(rng):
    """Salary-list lines: account, surname, name, patronymic, amount, date; CR LF."""
    while True:
        line = "40817810%012d;%s;%s;%s;%d.%02d;%02d/%02d/2024\r\n" % (
            rng.randrange(10 ** 12), rng.choice(SURNAMES), rng.choice(NAMES),
            rng.choice(PATRONYMICS), rng.randrange(5000, 250000), rng.randrange(100),
            rng.randrange(1, 29), rng.randrange(1, 13))
        yield line.encode("cp1251")


def make_text(path, megabytes):
    target = megabytes * 1024 * 1024
    lines, size = [], 0
    for encoded in salary_lines(random.Random(20240101)):
        if size >= target:
            break
        lines.append(encoded)
        size += len(encoded)
    with open(path, "wb") as out:
        out.write(b"".join(lines)[:target])


def make_salary(path, records):
    lines = salary_lines(random.Random(20150131))
    with open(path, "wb") as out:
        out.write(b"".join(next(lines) for _ in range(records)))


def rounds(count, body):
    """The seconds of each of count runs of body()."""
    spent = []
    for _ in range(count):
        start = time.perf_counter()
        body()
        spent.append(time.perf_counter() - start)
    return spent


def report(key, values):
    if not isinstance(values, list):
        values = [values]
    print(key + "".join(" %.6f" % value for value in values))


def measure_zip(prefix, members):
    archive = {}

    def save():
        buffer = io.BytesIO()
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in members:
                z.writestr(name, data)
        archive["bytes"] = buffer.getvalue()

    def load():
        with zipfile.ZipFile(io.BytesIO(archive["bytes"])) as z:
            archive["loaded"] = [z.read(info) for info in z.infolist()]

    report(prefix + "_save_seconds", rounds(5, save))
    report(prefix + "_load_seconds", rounds(5, load))
    assert len(archive["loaded"]) == len(members)


def zip_anchor(path):
    data = open(path, "rb").read()
    measure_zip("zip_large", [("DATAFILE.000", data)])
    measure_zip("zip_small", [("FILE%d.TXT" % i, data[i * 1024:(i + 1) * 1024]) for i in range(1000)])


def load_walk_save(source, target):
    """What bench_datafile does with TDelimFile: the rows are read, every field is looked
    at, and the rows are written back with CR LF and flushed to the disk."""
    with open(source, encoding="cp1251", newline="") as f:
        rows = list(csv.reader(f, delimiter=";", quoting=csv.QUOTE_NONE))
    total = 0
    for row in rows:
        for field in row:
            total += len(field)
    with open(target, "w", encoding="cp1251", newline="") as f:
        csv.writer(f, delimiter=";", quoting=csv.QUOTE_NONE, lineterminator="\r\n").writerows(rows)
        f.flush()
        os.fsync(f.fileno())
    return total


def datafile_anchor(small, large):
    for key, source in (("datafile_100k_seconds", small), ("datafile_200k_seconds", large)):
        target = source + ".csv-saved"
        report(key, rounds(5, lambda: load_walk_save(source, target)))
        assert open(target, "rb").read() == open(source, "rb").read()
        os.remove(target)


MESSAGE_WORDS = ["Уважаемый", "клиент", "сообщаем", "что", "список", "на", "зачисление", "принят",
                 "банком", "обработан", "счет", "сумма", "рублей", "выписка", "дата", "платеж",
                 "документ", "номер", "ошибка", "реестр", "в", "и", "по", "от", "для"]
MEMO_SIZE = 1536


def make_messages(path, rows):
    """A message store: three memos of 1.5 KB of CP1251 text per row (drawn from 500 of
    them, numbered by row), a title and two dates."""
    rng = random.Random(20240201)

    def text():
        words = []
        while sum(map(len, words)) < MEMO_SIZE:
            words.append(rng.choice(MESSAGE_WORDS) + (" " if rng.random() < 0.9 else "\r\n"))
        return "".join(words).encode("cp1251")

    pool = [text() for _ in range(500)]
    records = []
    for row in range(rows):
        memos = [(b"%d: " % row + rng.choice(pool))[:MEMO_SIZE] for _ in range(3)]
        title = " ".join(rng.choice(MESSAGE_WORDS) for _ in range(4)).encode("cp1251")
        date = b"%02d/%02d/2024 %02d:%02d:00" % (rng.randrange(1, 29), rng.randrange(1, 13),
                                                 rng.randrange(24), rng.randrange(60))
        records.append(memos + [title, date, date])
    table_tool.save(path, records, 3)


def internals_load_walk_append_save(source, target):
    """What bench_internals does with TMessages, with the Python reader and writer: the
    first row's first memo replaced, a row appended, everything packed anew."""
    records = table_tool.load(source, 3)
    total = 0
    for record in records:
        for field in record:
            total += len(field)
    memo = (("Уважаемый клиент! Сообщаем, что список на зачисление принят банком.\r\n" * 30)
            .encode("cp1251")[:MEMO_SIZE])
    records[0][0] = memo
    records.append([memo, memo, memo, "Выписка за месяц".encode("cp1251"), b"01/02/2024 10:00:00",
                    b"02/02/2024 09:30:00"])
    table_tool.save(target, records, 3)
    return total


def internals_anchor(small, large):
    for key, source in (("internals_10k_seconds", small), ("internals_20k_seconds", large)):
        target = source + ".py-saved"
        report(key, rounds(5, lambda: internals_load_walk_append_save(source, target)))
        assert len(table_tool.load(target, 3)) == len(table_tool.load(source, 3)) + 1
        os.remove(target)


def make_etalon(folder, rows, records):
    """A reference list of 12-digit client accounts ("SAL": name;account) and salary
    records (name;account;amount) written as a user would: names in any case with blanks
    to fold, accounts without their leading zeros. Nine records in ten are in the list."""
    rng = random.Random(20150210)
    listed = []
    with open(os.path.join(folder, "list.txt"), "wb") as out:
        for i in range(rows):
            name = "%s %s %s" % (rng.choice(SURNAMES), rng.choice(NAMES), rng.choice(PATRONYMICS))
            account = "%012d" % (i * 7919 + 1)
            listed.append((name, account))
            out.write(("%s;%s\r\n" % (name.upper(), account)).encode("cp1251"))
    with open(os.path.join(folder, "records.txt"), "wb") as out:
        for i in range(records):
            name, account = rng.choice(listed)
            if i % 10 == 9:
                account = "%012d" % (rows * 7919 + i)
            spaced = "  " + name.lower().replace(" ", "   ") + " "
            amount = "%d.%d" % (rng.randrange(1, 250000), rng.randrange(10))
            out.write(("%s;%s;%s\r\n" % (spaced, account.lstrip("0"), amount)).encode("cp1251"))


NAME_CHARS = re.compile("[АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ -]*")
NUMBER = re.compile(r"-?[0-9]*\.?[0-9]*")


def checked_key(fields):
    """The salary field rules: the name folded and upper-cased, the account of digits
    padded to 12 (or 20), the amount with at most two decimals above zero. Returns the
    normalised (name, account), or None for a record that fails them."""
    name = " ".join(part for part in fields[0].strip().split(" ") if part).upper()
    account = fields[1].strip()
    amount = fields[2].strip()
    if not name or not NAME_CHARS.fullmatch(name) or not account.isdigit():
        return None
    account = account.zfill(12)
    if len(account) not in (12, 20) or not NUMBER.fullmatch(amount):
        return None
    whole, _, fraction = amount.partition(".")
    fraction = fraction.rstrip("0")
    if len(fraction) > 2 or float((whole or "0") + "." + (fraction or "0")) < 0.005:
        return None
    return (name, account)


def validate_with_dict(folder):
    """Loads the "SAL" list from the folder's store, keeps its keys in a dict and checks
    every record; returns the number of records accepted."""
    store = table_tool.load(os.path.join(folder, "Cache", "ABC.ETALONS"), 1)
    memo = next(record[0] for record in store if record[1].upper() == b"SAL")
    keys = {}
    for line in memo.decode("cp1251").split("\r\n"):
        if line:
            fields = line.split(";")
            keys[(fields[0], fields[1] if len(fields) > 1 else "")] = True
    accepted = 0
    with open(os.path.join(folder, "records.txt"), encoding="cp1251", newline="") as f:
        for line in f.read().split("\r\n"):
            if line:
                key = checked_key(line.split(";"))
                if key is not None and key in keys:
                    accepted += 1
    return accepted


def validate_anchor(small, large):
    for size, folder in (("500k", small), ("1m", large)):
        result = {}
        report("validate_%s_seconds" % size, rounds(3, lambda: result.update(n=validate_with_dict(folder))))
        report("validate_%s_accepted" % size, result["n"])


def read_lines(path):
    """Each key's values; a key that several processes printed gathers all their values."""
    values = {}
    for line in open(path):
        key, *numbers = line.split()
        values.setdefault(key, []).extend(float(number) for number in numbers)
    return values


# Each goal: our key, the anchor and the limit (a key of our own output, "py" for the same
# key in the Python anchors' output, or None), the comparison the goal is judged on
# ("anchor" or "limit": their time over ours, the median of the per-round ratios; "value":
# the median of our own values; "difference": the medians of ours and the anchor's; "same":
# equal counts; "info": shown only), how the goal reads, and its test.
GOALS = [
    ("deflate_seconds", "deflate_zlib_seconds", None, "anchor", "throughput >= 0.85 x zlib", lambda r: r >= 0.85),
    ("inflate_seconds", "inflate_zlib_seconds", None, "anchor", "throughput >= zlib (CRC too)", lambda r: r >= 1.0),
    ("zip_large_save_seconds", "py", "deflate_zlib_seconds", "anchor", "time <= 1.2 x zipfile", lambda r: r >= 1 / 1.2),
    ("zip_large_load_seconds", "py", "inflate_zlib_seconds", "anchor", "time <= 1.2 x zipfile", lambda r: r >= 1 / 1.2),
    ("zip_small_save_seconds", "py", None, "anchor", "faster than zipfile", lambda r: r > 1),
    ("zip_small_load_seconds", "py", None, "anchor", "faster than zipfile", lambda r: r > 1),
    ("multistream_growths_seconds", None, "multistream_growths_memmove_seconds", "value", "under 2 s",
     lambda v: v < 2.0),
    ("gpg_encrypt_seconds", "gpg_encrypt_direct_seconds", None, "anchor", "time <= 1.1 x gpg direct",
     lambda r: r >= 1 / 1.1),
    ("gpg_decrypt_seconds", "gpg_decrypt_direct_seconds", None, "anchor", "time <= 1.1 x gpg direct",
     lambda r: r >= 1 / 1.1),
    ("datafile_100k_seconds", "py", None, "anchor", "at least 5 x faster than csv", lambda r: r >= 5),
    ("datafile_200k_seconds", "py", None, "anchor", "at least 5 x faster than csv", lambda r: r >= 5),
    ("datafile_200k_per_100k", None, None, "value", "linear: ratio <= 2.2", lambda v: v <= 2.2),
    ("datafile_1m_seconds", "datafile_1m_lines_seconds", "datafile_1m_mmap_seconds", "limit",
     "time <= 4 x mmap + memchr", lambda r: r >= 0.25),
    ("datafile_1m_get_seconds", "datafile_1m_lines_seconds", "datafile_1m_mmap_seconds", "info",
     "(by Get, as the grid)", None),
    ("datafile_1m_getinto_seconds", "datafile_1m_lines_seconds", "datafile_1m_mmap_seconds", "info",
     "(by GetInto, as the export)", None),
    ("datafile_1m_bytes_per_record", None, None, "value", "<= 100 bytes per record", lambda v: v <= 100),
    ("internals_10k_seconds", "py", "internals_10k_zlib_seconds", "anchor", "faster than Python", lambda r: r > 1),
    ("internals_20k_seconds", "py", "internals_20k_zlib_seconds", "anchor", "faster than Python", lambda r: r > 1),
    ("internals_20k_per_10k", None, None, "value", "linear: ratio <= 2.2", lambda v: v <= 2.2),
    ("validate_500k_seconds", "py", "validate_500k_plain_seconds", "limit", "faster than plain C++",
     lambda r: r > 1),
    ("validate_1m_seconds", "py", "validate_1m_plain_seconds", "limit", "faster than plain C++", lambda r: r > 1),
    ("validate_1m_per_500k", None, None, "value", "linear: ratio <= 2.2", lambda v: v <= 2.2),
    ("validate_500k_accepted", "py", "validate_500k_plain_accepted", "same", "same count as both", None),
    ("validate_1m_accepted", "py", "validate_1m_plain_accepted", "same", "same count as both", None),
    ("export_check_200k_per_100k", None, None, "value", "linear: ratio <= 2.2", lambda v: v <= 2.2),
    ("docwindow_200k_first_seconds", "py", None, "info", "(first opening: no goal)", None),
    ("docwindow_200k_seconds", "py", None, "anchor", "time <= 1.3 x plain load", lambda r: r >= 1 / 1.3),
    ("docwindow_200k_memory_bytes", "py", None, "difference", "<= 100 bytes/record more",
     lambda o, a: (o - a) / 200000 <= 100),
    ("receive_pop3_seconds", "receive_pop3_curl_seconds", None, "anchor", "time <= 1.5 x curl",
     lambda r: r >= 1 / 1.5),
    ("receive_pop3_500_seconds", None, None, "info", "(500 messages: no goal)", None),
    ("receive_pop3_1000_per_500", None, None, "value", "linear: ratio <= 2.2", lambda v: v <= 2.2),
    ("receive_imap_seconds", "receive_imap_curl_seconds", None, "anchor", "time <= 1.5 x curl",
     lambda r: r >= 1 / 1.5),
    ("receive_imap_500_seconds", None, None, "info", "(500 messages: no goal)", None),
    ("receive_imap_1000_per_500", None, None, "value", "linear: ratio <= 2.2", lambda v: v <= 2.2),
    ("subject_2600k_seconds", None, None, "value", "under 1 s", lambda v: v < 1.0),
    ("subject_2600k_per_1300k", None, None, "value", "linear: ratio <= 2.2", lambda v: v <= 2.2),
    ("receive_list_256mb_peak_mb", None, None, "value", "peak < 600 MB", lambda v: v < 600),
    ("receive_list_256mb_again_peak_mb", None, None, "value", "peak < 600 MB", lambda v: v < 600),
    ("arbitrary_send_seconds", "py", None, "info", "shown beside the build", None),
    ("arbitrary_send_peak_per_file", None, None, "value", "peak < 6 x the file", lambda v: v < 6),
]


def median_ratio(other, ours, paired):
    """The median of other[i] / ours[i] when the rounds were run side by side (in one
    program, rotated); else, for an anchor run in a process of its own after ours, the
    ratio of the medians."""
    if paired and len(other) > 1 and len(ours) > 1:
        return statistics.median(o / u for o, u in zip(other, ours))
    return statistics.median(other) / statistics.median(ours)


def compare(ours_path, anchors_path):
    ours, anchors = read_lines(ours_path), read_lines(anchors_path)

    def values_of(key, spec):
        if spec is None:
            return None
        return anchors.get(key) if spec == "py" else ours.get(spec)

    if "plain_bytes" in ours:
        print("text: %.1f MB, deflated to %.1f MB" % (ours["plain_bytes"][0] / 2**20,
                                                      ours["deflated_bytes"][0] / 2**20))
    print("%-30s %9s %9s %8s %9s %8s  %-30s %s" % ("measure", "ours", "anchor", "a/ours", "limit", "l/ours",
                                                   "goal", ""))
    failed = False
    for key, anchor_spec, limit_spec, judged, goal, test in GOALS:
        if key not in ours:
            continue
        mine = ours[key]
        anchor, limit = values_of(key, anchor_spec), values_of(key, limit_spec)
        def number(value):
            return ("%9.0f" if abs(value) >= 1e5 else "%9.3f") % value

        cells = [number(statistics.median(mine))]
        ratios = {}
        for name, other, spec in (("anchor", anchor, anchor_spec), ("limit", limit, limit_spec)):
            if other:
                ratios[name] = median_ratio(other, mine, spec != "py")
                cells += [number(statistics.median(other)), "%8.2f" % ratios[name]]
            else:
                cells += ["%9s" % "", "%8s" % ""]
        if judged == "same":
            ok = all(other and other[0] == mine[0] for other in (anchor, limit) if other is not None)
        elif judged == "info":
            ok = True
        elif judged == "difference":
            ok = bool(anchor) and test(statistics.median(mine), statistics.median(anchor))
        elif judged == "value":
            ok = test(statistics.median(mine))
        else:
            ok = judged in ratios and test(ratios[judged])
        failed |= not ok
        verdict = "" if judged == "info" else "ok" if ok else "MISSED"
        print("%-30s %s  %-30s %s" % (key, " ".join(cells), goal, verdict))
    print("(times: medians of the rounds; a/ours and l/ours: the anchor's and the limit's time over")
    print(" ours, the median of the per-round ratios where the rounds ran side by side in one")
    print(" program, else the ratio of the medians; above 1 means faster than them)")
    return 1 if failed else 0


def windows(program, small, large):
    """The messages and journal windows opened in fresh processes, five rounds, the two
    stores' sizes alternating in a rotated order: the median open times, the ratio of the
    larger store's to the smaller's (the median of the per-round ratios), the peak memory
    and the rows that drawing read after a scroll to the end. Returns 1 when a goal fails."""
    def run(folder, kind):
        output = subprocess.run([program, "open", folder, kind], capture_output=True, text=True, check=True).stdout
        return {key: float(value) for key, value in (line.split() for line in output.splitlines())}

    print()
    print("| window | rows | open (s) | memory before / peak (MB) | rows read scrolling | goal |")
    print("|---|---|---|---|---|---|")
    failed = 0
    for kind in ("messages", "journal"):
        runs = {small: [], large: []}
        for round_number in range(5):
            for folder in ((small, large) if round_number % 2 == 0 else (large, small)):
                runs[folder].append(run(folder, kind))
        ratio = statistics.median(b["open_seconds"] / a["open_seconds"] for a, b in zip(runs[small], runs[large]))
        reads = [r["rows_read_scrolling"] for folder in runs for r in runs[folder]]
        ok = ratio <= 2.2 and max(reads) < 100
        failed |= not ok
        for folder in (small, large):
            first = runs[folder][0]
            verdict = "ratio %.2f <= 2.2, reads < 100: %s" % (ratio, "ok" if ok else "MISSED") if folder == large else ""
            print("| %s | %d | %.3f | %.1f / %.1f | %d | %s |" % (
                kind, first["rows"], statistics.median(r["open_seconds"] for r in runs[folder]),
                first["rss_before_kb"] / 1024, max(r["peak_kb"] for r in runs[folder]) / 1024,
                max(r["rows_read_scrolling"] for r in runs[folder]), verdict))
    return failed


def reply_window(program, folder, megabytes):
    """The reply-list window over a file with one huge field (made by `make-reply`), in a
    fresh process: the memory beyond what the process held before, once the window is
    drawn and once the record dialog has shown the record. Returns 1 when it passes 8
    times the field's size."""
    def run(*arguments):
        output = subprocess.run([program, *arguments], capture_output=True, text=True, check=True).stdout
        return {key: float(value) for key, value in (line.split() for line in output.splitlines())}

    field = run("make-reply", folder, megabytes)["field_kb"]
    result = run("open", folder, "replies")
    drawn, viewed = (result[key] - result["rss_before_kb"] for key in ("drawn_peak_kb", "peak_kb"))
    ok = max(drawn, viewed) <= 8 * field
    print()
    print("| reply window, one field of | drawn: memory beyond before (MB) | record dialog (MB) | goal |")
    print("|---|---|---|---|")
    print("| %.0f MB | %.1f | %.1f | at most 8 times the field: %s |" % (
        field / 1024, drawn / 1024, viewed / 1024, "ok" if ok else "MISSED"))
    return int(not ok)


def main():
    command = sys.argv[1]
    if command == "text":
        make_text(sys.argv[2], int(sys.argv[3]))
    elif command == "salary":
        make_salary(sys.argv[2], int(sys.argv[3]))
    elif command == "zip":
        zip_anchor(sys.argv[2])
    elif command == "datafile":
        datafile_anchor(sys.argv[2], sys.argv[3])
    elif command == "reply-window":
        sys.exit(reply_window(sys.argv[2], sys.argv[3], sys.argv[4]))
    elif command == "messages":
        make_messages(sys.argv[2], int(sys.argv[3]))
    elif command == "internals":
        internals_anchor(sys.argv[2], sys.argv[3])
    elif command == "etalon":
        make_etalon(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif command == "validate":
        validate_anchor(sys.argv[2], sys.argv[3])
    elif command == "windows":
        sys.exit(windows(sys.argv[2], sys.argv[3], sys.argv[4]))
    elif command == "report":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
