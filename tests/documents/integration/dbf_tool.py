"""A dBase III reader and writer of its own for the tests, built on struct alone.

    dbf_tool.py write FILE    writes the fixture table (CP866)
    dbf_tool.py read FILE     checks the file's structure and prints one line per record:
                              live or deleted, then the fields decoded by type, "|" between

A structural fault (lengths that do not add up, a missing terminator or end-of-file
byte, a bad deletion mark or field value) ends the program with status 1 and a message.
"""

import datetime
import struct
import sys

ENCODING = "cp866"

# name, type, length, decimals
FIELDS = [
    ("NAME", b"C", 12, 0),
    ("SUM", b"N", 10, 2),
    ("PAID", b"D", 8, 0),
    ("FLAG", b"L", 1, 0),
    ("NOTE", b"M", 10, 0),
    ("COUNT", b"N", 3, 0),
]

RECORDS = [
    (b" ", ["Иванов", "1500.50", "20150131", "T", "17", "3"]),
    (b"*", ["Уволенный", "1.00", "20140101", "F", "", ""]),
    (b" ", ["Петрова", "", "", "?", "", "12"]),
]


def fail(message):
    sys.stderr.write(message + "\n")
    sys.exit(1)


def encode_field(value, ftype, length):
    data = value.encode(ENCODING)
    if ftype in (b"N", b"M"):
        return data.rjust(length, b" ")
    return data.ljust(length, b" ")


def write(path):
    record_length = 1 + sum(length for _, _, length, _ in FIELDS)
    header_length = 32 + 32 * len(FIELDS) + 1
    # Reserved bytes that are not zero, which a save must keep.
    header = struct.pack("<B3BIHH2xB17x", 0x83, 125, 6, 15, len(RECORDS), header_length, record_length, 0x77)
    descriptors = b""
    for name, ftype, length, decimals in FIELDS:
        descriptors += struct.pack("<11sc4xBBxxB11x", name.encode("ascii"), ftype, length, decimals, 0x55)
    body = b""
    for mark, values in RECORDS:
        body += mark + b"".join(encode_field(v, f[1], f[2]) for v, f in zip(values, FIELDS))
    with open(path, "wb") as f:
        f.write(header + descriptors + b"\r" + body + b"\x1a")


def decode_field(raw, ftype):
    text = raw.decode(ENCODING)
    stripped = text.strip(" ")
    if ftype == b"C":
        return text.rstrip(" ")
    if ftype == b"N":
        if stripped and not all(c in "-0123456789." for c in stripped):
            fail("bad number %r" % text)
        return stripped
    if ftype == b"D":
        if not stripped:
            return ""
        return datetime.datetime.strptime(stripped, "%Y%m%d").date().isoformat()
    if ftype == b"L":
        if text not in ("T", "F", "Y", "N", "t", "f", "y", "n", "?", " "):
            fail("bad logical %r" % text)
        return {"T": "True", "Y": "True", "F": "False", "N": "False"}.get(text.upper(), "?")
    if ftype == b"M":
        if stripped and not stripped.isdigit():
            fail("bad memo block %r" % text)
        return stripped
    return text


def read(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 33:
        fail("file too short")
    version, count, header_length, record_length = struct.unpack_from("<B3xIHH", data, 0)
    if version not in (0x03, 0x83):
        fail("bad version %#x" % version)
    field_count = (header_length - 33) // 32
    if header_length != 32 + 32 * field_count + 1 or data[header_length - 1] != 0x0D:
        fail("bad header length %d" % header_length)
    fields = []
    for i in range(field_count):
        name, ftype, length, decimals = struct.unpack_from("<11sc4xBB14x", data, 32 + 32 * i)
        fields.append((name.rstrip(b"\0").decode("ascii"), ftype, length, decimals))
    if record_length != 1 + sum(f[2] for f in fields):
        fail("record length %d does not match the fields" % record_length)
    end = header_length + count * record_length
    if len(data) != end + 1 or data[end] != 0x1A:
        fail("file size %d, expected %d and an end-of-file byte" % (len(data), end + 1))
    out = []
    for r in range(count):
        at = header_length + r * record_length
        mark = data[at:at + 1]
        if mark not in (b" ", b"*"):
            fail("bad deletion mark %r" % mark)
        values = []
        at += 1
        for _, ftype, length, _ in fields:
            values.append(decode_field(data[at:at + length], ftype))
            at += length
        out.append(("live" if mark == b" " else "deleted") + "|" + "|".join(values))
    sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8"))


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("read", "write"):
        fail(__doc__)
    (write if sys.argv[1] == "write" else read)(sys.argv[2])


if __name__ == "__main__":
    main()
