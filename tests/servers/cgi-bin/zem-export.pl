#!/usr/bin/python3
"""Stand-in of the bank's exchange script /cgi-bin/zem-export.pl, run by lighttpd.

Form fields: action (put, list, get, del), user1, pwd1, file, prefix, uid. A "put" comes
as multipart form data, the others as a urlencoded body (values percent-decoded; text
is kept byte for byte). Every request must name a known user with the right password.

    put   stores the posted form; answers "OK"
    list  answers "<HTML><BODY>" + uid "<BR>" for each waiting message + "</BODY></HTML>"
    get   answers the message's bytes (message/rfc822)
    del   removes the message (uid looked up in every prefix of the user); answers "OK"

Data, in the folder named by the environment variable ZEM_BANK_DIR:

    users                 "user<TAB>password" lines (written by the test)
    put/N/                one posted form: for its part i (from 1) the files i.name,
                          i.headers (raw header lines) and i.body (raw content);
                          the folder appears whole (written as put/.put-*, then renamed)
    mail/xUSER/xPREFIX/UID  messages waiting for the client; USER and PREFIX hex-coded
    requests.log          per request: the status, a blank, the fields without "file",
                          urlencoded; the password "pwd1" as "****", as the program's
                          own log has it
    log-passwords         when present: the log has the passwords as they came (a test
                          that looks at what reached the bank)
    fail-ACTION           when present: the status to answer instead ("500 Broken"), with
                          an error page longer than 2048 bytes
    reply-ACTION          when present: the body of a successful answer, in place of the
                          usual one
    replace-ACTION        when present: a path, a line feed and bytes; while handling the
                          action the script puts the bytes at that path (a new file renamed
                          over whatever stands there)
"""

import os
import re
import sys
import tempfile
import urllib.parse

BANK = os.environ.get("ZEM_BANK_DIR", "")
LOGGED_FIELDS = ("action", "user1", "pwd1", "prefix", "uid")
HIDDEN = "****"
REASONS = {200: "OK", 400: "Bad Request", 403: "Forbidden", 404: "Not Found"}


def bank_path(*parts):
    return os.path.join(BANK, *parts)


def folder_name(text):
    return "x" + text.encode("latin-1").hex().upper()


def read_file(path):
    with open(path, "rb") as file:
        return file.read()


def write_file(path, data):
    with open(path, "wb") as file:
        file.write(data)


def answer(status, body=b"", content_type="text/plain"):
    """The reply as (status line, content type, body)."""
    if isinstance(status, int):
        status = "%d %s" % (status, REASONS.get(status, "Error"))
    return status, content_type, body


def write_reply(status, content_type, body):
    out = sys.stdout.buffer
    out.write(b"Status: " + status.encode("latin-1") + b"\r\n")
    out.write(b"Content-Type: " + content_type.encode("latin-1") + b"\r\n")
    out.write(b"Content-Length: %d\r\n\r\n" % len(body))
    out.write(body)
    out.flush()


# ---- Reading the request ----

def boundary_of(content_type):
    match = re.search(r'boundary=(?:"([^"]+)"|([^;\s]+))', content_type, re.I)
    if not match:
        return None
    return (match.group(1) or match.group(2)).encode("latin-1")


def multipart_parts(body, boundary):
    """The parts of a multipart body as (name, raw headers, raw content)."""
    parts = []
    for chunk in (b"\r\n" + body).split(b"\r\n--" + boundary)[1:]:
        if chunk.startswith(b"--"):
            break
        headers, _, content = chunk[2:].partition(b"\r\n\r\n")
        match = re.search(rb'content-disposition:[^\r\n]*?\bname="([^"]*)"', headers, re.I)
        name = match.group(1).decode("latin-1") if match else ""
        parts.append((name, headers, content))
    return parts


def read_request():
    length = int(os.environ.get("CONTENT_LENGTH") or 0)
    body = sys.stdin.buffer.read(length) if length > 0 else b""
    content_type = os.environ.get("CONTENT_TYPE", "")
    boundary = boundary_of(content_type) if content_type.lower().startswith("multipart/") else None
    if boundary:
        parts = multipart_parts(body, boundary)
        fields = [(name, content.decode("latin-1")) for name, _, content in parts]
        return fields, parts
    fields = urllib.parse.parse_qsl(body.decode("latin-1"), keep_blank_values=True,
                                    encoding="latin-1")
    return fields, []


def field(fields, name):
    for key, value in fields:
        if key == name:
            return value
    return None


def log_request(status, fields):
    whole = os.path.exists(bank_path("log-passwords"))
    logged = ["%s=%s" % (urllib.parse.quote(key, safe=""),
                         HIDDEN if key == "pwd1" and not whole else urllib.parse.quote(value, safe="", encoding="latin-1"))
              for key, value in fields if key in LOGGED_FIELDS]
    line = "%d %s\n" % (status, "&".join(logged))
    with open(bank_path("requests.log"), "ab") as file:
        file.write(line.encode("latin-1"))


# ---- The bank's side ----

def password_ok(user, password):
    try:
        lines = read_file(bank_path("users")).decode("latin-1").splitlines()
    except FileNotFoundError:
        return False
    return any(line == user + "\t" + password for line in lines)


def error_page(status):
    """A page of about 3 KB, as web servers and load balancers send with an error status."""
    line = "<p>The server cannot handle the request (%s). Please try again later.</p>\n" % status
    return ("<html><head><title>%s</title></head><body>\n" % status + line * 40 + "</body></html>\n").encode("latin-1")


def failure_for(action):
    try:
        return read_file(bank_path("fail-" + action)).decode("latin-1").strip()
    except FileNotFoundError:
        return None


def store_put(parts):
    """Writes the parts into a folder of their own, then gives it the next number, so
    that a reader of put/ never sees a form half written."""
    folder = bank_path("put")
    os.makedirs(folder, exist_ok=True)
    staging = tempfile.mkdtemp(prefix=".put-", dir=folder)
    for index, (name, headers, content) in enumerate(parts, 1):
        write_file(os.path.join(staging, "%d.name" % index), name.encode("latin-1"))
        write_file(os.path.join(staging, "%d.headers" % index), headers)
        write_file(os.path.join(staging, "%d.body" % index), content)
    number = 1
    while True:
        target = os.path.join(folder, str(number))
        if not os.path.exists(target):
            try:
                os.rename(staging, target)   # fails onto a form stored meanwhile
                return
            except OSError:
                pass
        number += 1


def uid_key(uid):
    return (0, int(uid), "") if uid.isdigit() else (1, 0, uid)


def waiting_uids(user, prefix):
    folder = bank_path("mail", folder_name(user), folder_name(prefix))
    try:
        return sorted(os.listdir(folder), key=uid_key)
    except FileNotFoundError:
        return []


def message_path(user, prefix, uid):
    """The stored message, in the prefix's folder or (no prefix) in any of the user's."""
    if not re.fullmatch(r"[A-Za-z0-9_-]+", uid or ""):
        return None
    user_folder = bank_path("mail", folder_name(user))
    if prefix is not None:
        prefixes = [folder_name(prefix)]
    elif os.path.isdir(user_folder):
        prefixes = sorted(os.listdir(user_folder))
    else:
        prefixes = []
    for name in prefixes:
        path = os.path.join(user_folder, name, uid)
        if os.path.isfile(path):
            return path
    return None


def replace_file_for(action):
    """Does what another program on the client's machine does meanwhile, when the test
    asked for it: puts its own file at a path."""
    try:
        path, _, data = read_file(bank_path("replace-" + action)).partition(b"\n")
    except FileNotFoundError:
        return
    staging = path + b".replacing"
    write_file(staging, data)
    os.replace(staging, path)


def handle(fields, parts):
    action = field(fields, "action") or ""
    replace_file_for(action)
    failure = failure_for(action)
    if failure:
        return answer(int(failure) if failure.isdigit() else failure, error_page(failure), "text/html")
    user = field(fields, "user1") or ""
    if not password_ok(user, field(fields, "pwd1") or ""):
        return answer(403, b"Wrong user or password\n")
    if action == "put":
        if field(fields, "file") is None:
            return answer(400, b"No file\n")
        store_put(parts)
        return answer(200, b"OK\n")
    if action == "list":
        uids = waiting_uids(user, field(fields, "prefix") or "")
        listing = "<HTML><BODY>" + "".join(uid + "<BR>" for uid in uids) + "</BODY></HTML>"
        return answer(200, listing.encode("latin-1"), "text/html")
    if action in ("get", "del"):
        prefix = field(fields, "prefix") if action == "get" else None
        path = message_path(user, prefix, field(fields, "uid"))
        if path is None:
            return answer(404, b"No such message\n")
        if action == "get":
            return answer(200, read_file(path), "message/rfc822")
        os.remove(path)
        return answer(200, b"OK\n")
    return answer(400, b"Unknown action\n")


def replaced_body(action, reply):
    """The reply with the body the test set for the action, when it succeeded."""
    try:
        body = read_file(bank_path("reply-" + action))
    except FileNotFoundError:
        return reply
    status, content_type, _ = reply
    return (status, content_type, body) if status.startswith("200") else reply


def main():
    fields, parts = read_request()
    reply = replaced_body(field(fields, "action") or "", handle(fields, parts))
    # Logged before the reply: the web server may end the script once it has the reply.
    log_request(int(reply[0].split()[0]), fields)
    write_reply(*reply)


if __name__ == "__main__":
    main()
