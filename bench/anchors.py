#!/usr/bin/env python3
"""Outside anchors for the benchmarks, and the report that sets both side by side.

  anchors.py text FILE MEGABYTES   writes the CP1251 delimited test text
  anchors.py salary FILE RECORDS   writes a salary list of that many records
  anchors.py compress FILE         Python's zlib, raw deflate with the program's settings
  anchors.py zip FILE              Python's zipfile in memory, same members as bench_zip
  anchors.py gpg HOME KEY PLAIN SEALED WORK
                                   gpg run directly with the GnuPG back end's options
  anchors.py datafile FILE FILE    Python's csv: load, walk every field, save (100k, 200k)
  anchors.py messages FILE ROWS    writes a message store of that many rows (memos of 1.5 KB)
  anchors.py internals FILE FILE   a Python table reader and writer: load, walk, append, save
  anchors.py etalon DIR ROWS RECORDS
                                   writes DIR/list.txt (a reference list of ROWS rows) and
                                   DIR/records.txt (RECORDS salary records, most in the list)
  anchors.py validate DIR DIR      Python with a dict: the stored list of each DIR loaded,
                                   its records checked and looked up (20k/200k, 40k/400k)
  anchors.py report OURS ANCHORS   compares the "key value" lines of both against the goals
"""
import csv
import io
import os
import random
import re
import subprocess
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


def best(runs, body):
    spent = []
    for _ in range(runs):
        start = time.perf_counter()
        body()
        spent.append(time.perf_counter() - start)
    return min(spent)


def report(key, value):
    print("%s %.6f" % (key, value))


def compress(path):
    data = open(path, "rb").read()
    result = {}

    def deflate():
        c = zlib.compressobj(-1, zlib.DEFLATED, -15, 8, 0)
        result["deflated"] = c.compress(data) + c.flush()

    def inflate():
        d = zlib.decompressobj(-15)
        result["inflated"] = d.decompress(result["deflated"]) + d.flush()

    report("deflate_seconds", best(3, deflate))
    report("inflate_seconds", best(3, inflate))
    assert result["inflated"] == data


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

    report(prefix + "_save_seconds", best(3, save))
    report(prefix + "_load_seconds", best(3, load))
    assert len(archive["loaded"]) == len(members)


def zip_anchor(path):
    data = open(path, "rb").read()
    measure_zip("zip_large", [("DATAFILE.000", data)])
    measure_zip("zip_small", [("FILE%d.TXT" % i, data[i * 1024:(i + 1) * 1024]) for i in range(1000)])


def gpg_anchor(home, bank_key, plain, sealed, work):
    """The command line of the GnuPG back end, from a file into a file; the status
    channel goes to /dev/null."""
    status = os.open(os.devnull, os.O_WRONLY)
    options = ["gpg", "--homedir", home, "--recipient", bank_key, "--always-trust", "--batch",
               "--pinentry-mode", "error", "--status-fd", str(status)]

    def run(operation, source, target):
        with open(source, "rb") as src, open(target, "wb") as dst:
            subprocess.run(options + operation, stdin=src, stdout=dst, stderr=subprocess.DEVNULL,
                           pass_fds=(status,), check=True)

    report("gpg_encrypt_seconds", best(3, lambda: run(["--sign", "--encrypt"], plain, work + "/anchor.gpg")))
    report("gpg_decrypt_seconds", best(3, lambda: run(["--decrypt"], sealed, work + "/anchor.plain")))
    assert open(work + "/anchor.plain", "rb").read() == open(plain, "rb").read()
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
        report(key, best(5, lambda: load_walk_save(source, target)))
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
    """What bench_internals does with TMessages, with the Python reader and writer."""
    records = table_tool.load(source, 3)
    total = 0
    for record in records:
        for field in record:
            total += len(field)
    memo = (("Уважаемый клиент! Сообщаем, что список на зачисление принят банком.\r\n" * 30)
            .encode("cp1251")[:MEMO_SIZE])
    records.append([memo, memo, memo, "Выписка за месяц".encode("cp1251"), b"01/02/2024 10:00:00",
                    b"02/02/2024 09:30:00"])
    table_tool.save(target, records, 3)
    return total


def internals_anchor(small, large):
    for key, source in (("internals_10k_seconds", small), ("internals_20k_seconds", large)):
        target = source + ".py-saved"
        report(key, best(5, lambda: internals_load_walk_append_save(source, target)))
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
    for size, folder in (("20k", small), ("40k", large)):
        result = {}
        report("validate_%s_seconds" % size, best(3, lambda: result.update(n=validate_with_dict(folder))))
        report("validate_%s_accepted" % size, result["n"])


def read_lines(path):
    values = {}
    for line in open(path):
        key, value = line.split()
        values[key] = float(value)
    return values


# (key, how the goal reads, test on (ours, anchor)); times in seconds, so a throughput of
# at least 0.85 of the anchor's is a time of at most anchor / 0.85.
GOALS = [
    ("deflate_seconds", "throughput >= 0.85 x zlib", lambda o, a: a / o >= 0.85),
    ("inflate_seconds", "throughput >= 0.85 x zlib", lambda o, a: a / o >= 0.85),
    ("zip_large_save_seconds", "time <= 1.2 x zipfile", lambda o, a: o <= 1.2 * a),
    ("zip_large_load_seconds", "time <= 1.2 x zipfile", lambda o, a: o <= 1.2 * a),
    ("zip_small_save_seconds", "faster than zipfile", lambda o, a: o < a),
    ("zip_small_load_seconds", "faster than zipfile", lambda o, a: o < a),
    ("multistream_growths_seconds", "under 2 s", lambda o, a: o < 2.0),
    ("gpg_encrypt_seconds", "time <= 1.1 x gpg direct", lambda o, a: o <= 1.1 * a),
    ("gpg_decrypt_seconds", "time <= 1.1 x gpg direct", lambda o, a: o <= 1.1 * a),
    ("datafile_100k_seconds", "at least 5 x faster than csv", lambda o, a: a / o >= 5),
    ("datafile_200k_seconds", "at least 5 x faster than csv", lambda o, a: a / o >= 5),
    ("datafile_200k_per_100k", "linear: ratio <= 2.2", lambda o, a: o <= 2.2),
    ("internals_10k_seconds", "at least 3 x faster than Python", lambda o, a: a / o >= 3),
    ("internals_20k_seconds", "at least 3 x faster than Python", lambda o, a: a / o >= 3),
    ("internals_20k_per_10k", "linear: ratio <= 2.2", lambda o, a: o <= 2.2),
    ("validate_20k_seconds", "faster than a Python dict", lambda o, a: o < a),
    ("validate_40k_seconds", "faster than a Python dict", lambda o, a: o < a),
    ("validate_40k_per_20k", "linear: ratio <= 2.2", lambda o, a: o <= 2.2),
    ("validate_scan_20k_seconds", "faster than a plain scan", lambda o, a: o < a),
    ("validate_20k_accepted", "same count as Python", lambda o, a: o == a),
    ("validate_40k_accepted", "same count as Python", lambda o, a: o == a),
    ("export_check_200k_per_100k", "linear: ratio <= 2.2", lambda o, a: o <= 2.2),
    ("docwindow_200k_seconds", "time <= 1.3 x plain load", lambda o, a: o <= 1.3 * a),
    ("docwindow_200k_memory_bytes", "<= 100 bytes/record more", lambda o, a: (o - a) / 200000 <= 100),
    ("receive_pop3_seconds", "time <= 1.5 x curl one by one", lambda o, a: o <= 1.5 * a),
    ("receive_pop3_1000_per_500", "linear: ratio <= 2.2", lambda o, a: o <= 2.2),
    ("receive_imap_seconds", "time <= 1.5 x curl one by one", lambda o, a: o <= 1.5 * a),
    ("receive_imap_1000_per_500", "linear: ratio <= 2.2", lambda o, a: o <= 2.2),
    ("subject_2600k_seconds", "under 1 s", lambda o, a: o < 1.0),
    ("subject_2600k_per_1300k", "linear: ratio <= 2.2", lambda o, a: o <= 2.2),
    ("arbitrary_send_seconds", "shown beside the build", lambda o, a: True),
    ("arbitrary_send_peak_per_file", "peak < 6 x the file", lambda o, a: o < 6),
]


def compare(ours_path, anchors_path):
    ours, anchors = read_lines(ours_path), read_lines(anchors_path)
    if "plain_bytes" in ours:
        print("text: %.1f MB, deflated to %.1f MB" % (ours["plain_bytes"] / 2**20,
                                                      ours["deflated_bytes"] / 2**20))
    print("%-30s %10s %10s %8s  %-27s %s" % ("measure", "ours s", "anchor s", "ratio", "goal", ""))
    failed = False
    for key, goal, test in GOALS:
        if key not in ours:
            continue
        anchor = anchors.get(key, float("nan"))
        ok = test(ours[key], anchor)
        failed |= not ok
        ratio = anchor / ours[key] if key in anchors else float("nan")
        print("%-30s %10.3f %10.3f %8.2f  %-27s %s" % (key, ours[key], anchor, ratio, goal,
                                                       "ok" if ok else "MISSED"))
    print("(ratio = anchor time / our time: above 1 means faster than the anchor)")
    return 1 if failed else 0


def main():
    command = sys.argv[1]
    if command == "text":
        make_text(sys.argv[2], int(sys.argv[3]))
    elif command == "compress":
        compress(sys.argv[2])
    elif command == "salary":
        make_salary(sys.argv[2], int(sys.argv[3]))
    elif command == "zip":
        zip_anchor(sys.argv[2])
    elif command == "gpg":
        gpg_anchor(*sys.argv[2:7])
    elif command == "datafile":
        datafile_anchor(sys.argv[2], sys.argv[3])
    elif command == "messages":
        make_messages(sys.argv[2], int(sys.argv[3]))
    elif command == "internals":
        internals_anchor(sys.argv[2], sys.argv[3])
    elif command == "etalon":
        make_etalon(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif command == "validate":
        validate_anchor(sys.argv[2], sys.argv[3])
    elif command == "report":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
