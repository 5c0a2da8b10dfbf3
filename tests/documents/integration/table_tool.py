"""A reader and writer of the program's table files of its own, for the tests and the
benchmark, built on struct, re and zlib alone.

    table_tool.py read FILE MEMOS    checks the file and prints one line per record: its
                                     MEMOS memo fields, then the fields of its line, each
                                     as hexadecimal byte pairs ("EF DB"), "|" between them
    table_tool.py write FILE MEMOS   writes the records given on standard input, one JSON
                                     list of texts (UTF-8) per line

Text is CP1251 in the file. The file: with no memo fields, one
packed block of the table text; with memo fields, two children, each a 4-byte
little-endian length and its bytes: the packed table text and the packed memo area. A
packed block is raw deflate data followed by the CRC-32 of the plain bytes. The table text
is one line per record ended by CR LF, fields separated by ";", and ";", CR, LF, "#" and
NUL written as "#" and two hexadecimal digits. The memo area holds MEMOS children per
record in record order.

A structural fault (a cut length word, deflate data or CRC, a wrong CRC, bytes left over,
a memo count that does not fit the records, a bad escape) ends the program with status 1
and a message.
"""

import json
import os
import re
import struct
import sys
import zlib

ENCODING = "cp1251"
ESCAPE = re.compile(rb"[;\r\n#\x00]")
UNESCAPE = re.compile(rb"#([0-9A-Fa-f]{2})")
BAD_ESCAPE = re.compile(rb"#(?![0-9A-Fa-f]{2})")


class Damaged(Exception):
    pass


def unpack(block):
    """The plain bytes of a packed block that fills `block` exactly."""
    inflater = zlib.decompressobj(-15)
    plain = inflater.decompress(block)
    if not inflater.eof:
        raise Damaged("deflate data cut short")
    rest = inflater.unused_data
    if len(rest) != 4:
        raise Damaged("%d bytes after the deflate data instead of the CRC" % len(rest))
    if struct.unpack("<I", rest)[0] != zlib.crc32(plain):
        raise Damaged("CRC mismatch")
    return plain


def pack(plain):
    deflater = zlib.compressobj(-1, zlib.DEFLATED, -15, 8, 0)
    return deflater.compress(plain) + deflater.flush() + struct.pack("<I", zlib.crc32(plain))


def children(data):
    found, at = [], 0
    while at < len(data):
        if at + 4 > len(data):
            raise Damaged("length word cut short")
        length = struct.unpack_from("<I", data, at)[0]
        at += 4
        if at + length > len(data):
            raise Damaged("child of %d bytes with %d left" % (length, len(data) - at))
        found.append(data[at:at + length])
        at += length
    return found


def multi_stream(parts):
    return b"".join(struct.pack("<I", len(part)) + part for part in parts)


def unescape(field):
    if BAD_ESCAPE.search(field):
        raise Damaged("bad escape in %r" % field)
    return UNESCAPE.sub(lambda match: bytes([int(match.group(1), 16)]), field)


def escape(value):
    return ESCAPE.sub(lambda match: b"#%02X" % match.group()[0], value)


def load(path, memos):
    """The records of a table file, each a list of byte strings: memos, then line fields."""
    with open(path, "rb") as f:
        data = f.read()
    if memos == 0:
        text, area = unpack(data), b""
    else:
        parts = children(data)
        if len(parts) != 2:
            raise Damaged("%d children instead of 2" % len(parts))
        text, area = unpack(parts[0]), unpack(parts[1])
    lines = text.split(b"\r\n")
    if lines.pop() != b"":
        raise Damaged("the table text does not end with CR LF")
    values = children(area)
    if len(values) != len(lines) * memos:
        raise Damaged("%d memos for %d records" % (len(values), len(lines)))
    return [values[r * memos:(r + 1) * memos] + [unescape(f) for f in line.split(b";") if line]
            for r, line in enumerate(lines)]


def save(path, records, memos):
    """Writes the records under a temporary name, flushed, then renamed over the file."""
    text = b"".join(b";".join(escape(f) for f in record[memos:]) + b"\r\n" for record in records)
    if memos == 0:
        data = pack(text)
    else:
        area = multi_stream(value for record in records for value in record[:memos])
        data = multi_stream([pack(text), pack(area)])
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())
    os.replace(temporary, path)


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("read", "write"):
        sys.exit(__doc__)
    command, path, memos = sys.argv[1], sys.argv[2], int(sys.argv[3])
    try:
        if command == "read":
            for record in load(path, memos):
                print("|".join(" ".join("%02X" % b for b in field) for field in record))
        else:
            lines = sys.stdin.buffer.read().decode("utf-8").splitlines()
            save(path, [[f.encode(ENCODING) for f in json.loads(line)] for line in lines if line.strip()], memos)
    except Damaged as fault:
        sys.stderr.write("damaged: %s\n" % fault)
        sys.exit(1)


if __name__ == "__main__":
    main()
