#!/usr/bin/python3
"""The demo bank: the bank's side of the exchange, on this machine's loopback only.

    bank.py setup --dir DEMO --source REPO --tool WBOTHO_TOOL [--ports P,I,S,H|auto]
    bank.py serve --dir DEMO

"setup" prepares the demo folder (prepare.py): keys, the run-time profiles file, the
servers' configurations. "serve" runs, until SIGTERM or SIGINT, the servers the tests use
(dovecot for POP3 and IMAP, the SMTP server into the bank's mailbox, lighttpd with the
bank script stand-in) and the bank itself, which answers every container a client sends:

    FILE_TYPE=QUERY_ETALON  the reference lists named in ETALON_TYPES, built from the
                            demo salary list, one "ETALON" member each
    FILE_TYPE=NEWCLI        a "NewCliReply" reply file: every client added, with an account
    FILE_TYPE=SALARY        a message naming the file, its record count and its totals
    anything else           a message that the file was received

Every container is opened with the bank's key and must carry the client's signature;
every answer container is signed with the bank's key and encrypted for the client's, and
goes in a mail message (subject ZEM_TLB_MESSAGE, the prefix and the title as a KOI8-R
word; a KOI8-R text) into the client's mailbox, or into the bank script's store for a
client that exchanges over HTTP. A container that cannot be opened is answered with a
message saying why. At its first start on a demo folder the bank sends every client the
reference lists its salary list needs, so that an export can be tried before a query.

One bank per demo folder: "serve" holds a lock on DEMO/bank.lock for its life, writes its
process id to DEMO/bank.pid and creates DEMO/bank.ready once every server accepts
connections; it exits with code 10 when another bank holds the lock, and with code 11
when another program took one of its ports before its server could. Its servers die with
it. "--ports auto" lets the set-up take ports that are free at that moment.
"""

import argparse
import base64
import ctypes
import email
import email.policy
import email.utils
import fcntl
import io
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import warnings
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import prepare as demo_setup  # noqa: E402

# The servers and configurations that the tests use, shared by the demo.
SERVERS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "servers")
ALREADY_RUNNING = 10
PORT_TAKEN = 11
POLL_SECONDS = 0.3
START_SECONDS = 15

ETALON_TITLES = {"SAL": "Эталонный список 12-значных счетов клиентов",
                 "NNS": "Эталонный список 20-значных счетов клиентов",
                 "COM": "Эталонный список счетов поставщиков услуг"}


def log(text):
    # A name taken from an arrival may hold bytes that no text encoding can print.
    line = (time.strftime("%H:%M:%S ") + text).encode("utf-8", "backslashreplace").decode("utf-8")
    print(line, flush=True)


class BankError(Exception):
    """A container the bank does not accept; the text goes to the client."""


# ---- Containers ----

def cp1251_text(data, what):
    """The bytes as CP1251 text; a byte that CP1251 leaves unassigned (0x98) refuses them."""
    try:
        return data.decode("cp1251")
    except UnicodeDecodeError as error:
        raise BankError("%s содержит байт 0x%02X, которого нет в кодировке Windows-1251"
                        % (what, data[error.start]))


def read_member(data):
    """The header of a member as a dict (keys upper-cased) and the payload bytes."""
    header, position = {}, 0
    while position < len(data):
        end = data.find(b"\n", position)
        end = len(data) if end < 0 else end + 1
        line = data[position:end].strip(b"\r\n\t ")
        position = end
        if line.upper() == b"<DATA>":
            return header, data[position:]
        if b"=" in line:
            key, value = cp1251_text(line, "заголовок файла").split("=", 1)
            header.setdefault(key.strip().upper(), value.strip())
    return header, b""


def make_member(header, payload=b""):
    lines = "".join("%s=%s\r\n" % item for item in header)
    return lines.encode("cp1251") + (b"<DATA>\r\n" + payload if payload else b"")


def make_archive(members):
    buffer = io.BytesIO()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")   # every member is named DATAFILE.000
        with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
            for member in members:
                archive.writestr("DATAFILE.000", member)
    return buffer.getvalue()


def read_archive(data):
    try:
        with zipfile.ZipFile(io.BytesIO(data)) as archive:
            return [archive.read(info) for info in archive.infolist()]
    except zipfile.BadZipFile as error:
        raise BankError("архив поврежден (%s)" % error)


class GpgSeal:
    """The bank's GnuPG key folder of one client."""

    def __init__(self, keys):
        self.keys = keys

    def _gpg(self, arguments, data):
        return subprocess.run(["gpg", "--homedir", self.keys["bank_home"], "--batch"] + arguments,
                              input=data, capture_output=True)

    def open(self, data):
        result = self._gpg(["--status-fd", "2", "--decrypt"], data)
        signers = [line.split()[-1] for line in result.stderr.decode("latin-1").splitlines()
                   if line.startswith("[GNUPG:] VALIDSIG ")]
        if result.returncode != 0 or self.keys["client_key"] not in signers:
            raise BankError("не удалось расшифровать файл или проверить подпись клиента")
        return result.stdout

    def seal(self, data):
        result = self._gpg(["--always-trust", "--local-user", self.keys["bank_key"],
                            "--recipient", self.keys["client_key"], "--sign", "--encrypt"], data)
        if result.returncode != 0:
            raise RuntimeError("gpg: " + result.stderr.decode("utf-8", "replace"))
        return result.stdout


class VerbaSeal:
    """The bank's key folders of our Verba stand-in for one client, through its key tool."""

    def __init__(self, keys, tool):
        self.keys = keys
        self.tool = tool

    def _run(self, command, number, data):
        with tempfile.TemporaryDirectory() as folder:
            source, target = os.path.join(folder, "in"), os.path.join(folder, "out")
            with open(source, "wb") as file:
                file.write(data)
            result = subprocess.run([self.tool, command, self.keys["bank_sec"], self.keys["bank_pub"],
                                     str(number), source, target], capture_output=True)
            if result.returncode != 0:
                return None, result.stderr.decode("utf-8", "replace")
            with open(target, "rb") as file:
                return file.read(), ""

    def open(self, data):
        plain, _ = self._run("open", self.keys["client_number"], data)
        if plain is None:
            raise BankError("не удалось расшифровать файл или проверить подпись клиента")
        return plain

    def seal(self, data):
        sealed, errors = self._run("seal", self.keys["client_number"], data)
        if sealed is None:
            raise RuntimeError("wbotho-tool: " + errors)
        return sealed


# ---- Mail messages ----

def name_parameter(parameter, name):
    """A file name as a header parameter: quoted when it is plain printable ASCII, else
    encoded in UTF-8 by RFC 2231, so that no character of it can end the parameter."""
    if all(" " <= char <= "~" and char not in '"\\' for char in name):
        return '%s="%s"' % (parameter, name)
    data = name.encode("utf-8", "surrogateescape")
    return "%s*=utf-8''%s" % (parameter, "".join(
        chr(byte) if chr(byte).isalnum() and byte < 128 or chr(byte) in "-._" else "%%%02X" % byte for byte in data))


def mail_message(client, title, text, attachment=None):
    """A message of the bank to the client: the subject the program judges, a KOI8-R text
    and at most one attachment (name, bytes)."""
    encoded_title = base64.b64encode(title.encode("koi8_r", "replace")).decode("ascii")
    body = base64.encodebytes(text.replace("\n", "\r\n").encode("koi8_r", "replace")).decode("ascii")
    head = ["From: " + client["bank_email"], "To: " + client["email"],
            "Date: " + email.utils.formatdate(localtime=True),
            "Subject: ZEM_TLB_MESSAGE %s =?KOI8-R?B?%s?=" % (client["prefix"], encoded_title),
            "Message-ID: " + email.utils.make_msgid(domain="bank.localhost"),
            "MIME-Version: 1.0"]
    text_part = ["Content-Type: text/plain; charset=KOI8-R", "Content-Transfer-Encoding: base64", "", body]
    if attachment is None:
        lines = head + text_part
    else:
        name, data = attachment
        boundary = "=_demo_bank_%d" % time.time_ns()
        lines = head + ['Content-Type: multipart/mixed; boundary="%s"' % boundary, "",
                        "--" + boundary] + text_part + [
                        "--" + boundary,
                        "Content-Type: application/octet-stream; " + name_parameter("name", name),
                        "Content-Transfer-Encoding: base64",
                        "Content-Disposition: attachment; " + name_parameter("filename", name), "",
                        base64.encodebytes(data).decode("ascii"),
                        "--" + boundary + "--", ""]
    return "\r\n".join(line.rstrip("\n").replace("\n", "\r\n") for line in lines).encode("ascii")


def attachments_of(message_bytes):
    message = email.message_from_bytes(message_bytes, policy=email.policy.compat32)
    found = []
    for part in message.walk():
        if not part.is_multipart() and part.get_filename():
            found.append((part.get_filename(), part.get_payload(decode=True) or b""))
    return message, found


# ---- The answers ----

def normalized_name(name):
    return " ".join(word for word in name.split(" ") if word).upper()


def normalized_account(account):
    account = account.strip()
    return account.zfill(12) if account.isdigit() and len(account) < 12 else account


class Answers:
    """What the bank answers to each kind of container."""

    def __init__(self, demo):
        self.demo = demo

    def salary_records(self):
        with open(os.path.join(self.demo, "salary.txt"), "rb") as file:
            lines = file.read().decode("cp1251").splitlines()
        return [line.split(";") for line in lines if line.strip()]

    def etalon_rows(self, code):
        """The list's rows: the key fields of every record of the demo salary list."""
        rows = []
        for fields in self.salary_records():
            if code == "COM":
                key = normalized_account(fields[4]) if len(fields) > 4 and fields[4].strip() else None
                if key and key not in rows:
                    rows.append(key)
            elif len(fields) > 1:
                rows.append(normalized_name(fields[0]) + ";" + normalized_account(fields[1]))
        return "".join(row + "\r\n" for row in rows).encode("cp1251")

    def query(self, client, header, payload):
        return self.reference_lists(client, header.get("ETALON_TYPES", ""))

    def reference_lists(self, client, types, greeting=""):
        """The lists of the types ("SAL,NNS"), one "ETALON" member each, formed today."""
        codes = [code.strip().upper() for code in types.split(",") if code.strip()]
        codes = [code for code in codes if code in ETALON_TITLES]
        if not codes:
            return "Запрос эталонных списков", "В запросе не указаны известные банку эталонные списки.", None
        date = time.strftime("%d/%m/%Y")
        members = [make_member([("FILE_TYPE", "ETALON"), ("PREFIX", client["prefix"]), ("ETALON_TYPE", code),
                                ("ETALON_DATE", date)], self.etalon_rows(code)) for code in codes]
        text = greeting + "Направляем эталонные списки на %s:\n%s\n" % (
            date, "\n".join(ETALON_TITLES[code] for code in codes))
        return "Эталонные списки", text, (client["prefix"] + "ETALON.TLB", make_archive(members))

    def salary(self, client, header, payload):
        name = header.get("FILE_NAME", "")
        records = [line for line in cp1251_text(payload, "список").splitlines() if line.strip()]
        text = ("Список на зачисление %s принят банком.\n"
                "Записей в файле: %d.\n"
                "Зачисление на счета: %s на сумму %s.\n"
                "Внешние платежи: %s на сумму %s.\n") % (
            name, len(records), header.get("TOTAL_COUNT_B", "?"), header.get("TOTAL_SUM_B", "?"),
            header.get("TOTAL_COUNT_E", "?"), header.get("TOTAL_SUM_E", "?"))
        if header.get("FILE_COMMENT"):
            text += "Комментарий: %s\n" % header["FILE_COMMENT"]
        return "Список %s принят" % name, text, None

    def new_clients(self, client, header, payload):
        name = header.get("FILE_NAME", client["prefix"])
        rows = []
        for number, line in enumerate(cp1251_text(payload, "список").splitlines(), 1):
            fields = line.split(";")
            if line.strip() and len(fields) > 1:
                seed = ("%s;%s;%d" % (client["prefix"], name, number)).encode("cp1251", "replace")
                account = "40817810%012d" % (zlib.crc32(seed) * 7919 % 10 ** 12)
                rows.append("%s;%s;%s;Клиент добавлен" % (fields[0], fields[1], account))
        member = make_member([("FILE_TYPE", "NewCliReply"), ("FILE_NAME", name)],
                             "".join(row + "\r\n" for row in rows).encode("cp1251"))
        text = "Список на добавление клиентов %s обработан: добавлено клиентов: %d.\n" % (name, len(rows))
        return "Список добавленных клиентов", text, (name + "R.TLB", make_archive([member]))

    def other(self, client, header, payload):
        name = header.get("FILE_NAME", "")
        text = "Файл %s (%s) получен банком.\n" % (name, header.get("FILE_TYPE", ""))
        return "Файл %s получен" % name, text, None

    def answer(self, client, member):
        header, payload = read_member(member)
        kind = header.get("FILE_TYPE", "").upper()
        if header.get("PREFIX", "").upper() != client["prefix"]:
            raise BankError("префикс %s не принадлежит клиенту" % header.get("PREFIX", ""))
        handler = {"QUERY_ETALON": self.query, "SALARY": self.salary, "NEWCLI": self.new_clients}.get(kind, self.other)
        return handler(client, header, payload)


# ---- The bank ----

class Bank:
    def __init__(self, demo, config):
        self.demo = demo
        self.clients = config["clients"]
        self.tool = config["tool"]
        self.answers = Answers(demo)
        self.done = os.path.join(demo, "bank", "done")
        os.makedirs(self.done, exist_ok=True)

    def seal_of(self, client):
        if client["cipher"] == "VERBA":
            return VerbaSeal(client["keys"], self.tool)
        return GpgSeal(client["keys"])

    def client_by(self, field, value):
        for client in self.clients:
            if client[field].lower() == value.lower():
                return client
        return None

    def greet(self):
        """Once per demo folder, each client that needs reference lists finds them in its
        mailbox: the export's check pass can run before the first query."""
        for client in self.clients:
            mark = os.path.join(self.demo, "bank", "greeted-" + client["prefix"])
            if client["etalon_types"] and not os.path.exists(mark):
                greeting = "Добро пожаловать в демо-банк!\n"
                self.send(client, *self.answers.reference_lists(client, client["etalon_types"], greeting))
                open(mark, "w").close()

    def send(self, client, title, text, container=None):
        """The answer to the client, its container sealed for it."""
        sealed = (container[0], self.seal_of(client).seal(container[1])) if container else None
        self.deliver(client, mail_message(client, title, text, sealed))

    # Incoming.

    def poll(self):
        inbox = os.path.join(self.demo, "mail", "bank", "Maildir", "new")
        for name in sorted(os.listdir(inbox)):
            self.take(os.path.join(inbox, name), self.mail_client)
        puts = os.path.join(self.demo, "http", "bank", "put")
        if os.path.isdir(puts):
            for name in sorted((name for name in os.listdir(puts) if name.isdigit()), key=int):
                self.take(os.path.join(puts, name), self.http_client)

    def mail_client(self, path):
        with open(path, "rb") as file:
            data = file.read()
        sender = email.utils.parseaddr(email.message_from_bytes(data).get("From", ""))[1]
        return self.client_by("email", sender), data

    def http_client(self, path):
        def part(name):
            for index in range(1, 100):
                stem = os.path.join(path, str(index))
                if not os.path.exists(stem + ".name"):
                    return None
                with open(stem + ".name", "rb") as file:
                    if file.read() == name:
                        with open(stem + ".body", "rb") as body:
                            return body.read()
            return None
        user = (part(b"user1") or b"").decode("latin-1")
        client = self.client_by("user", user) if user else None
        return (client if client and client["transport"] == "http" else None), part(b"file") or b""

    def take(self, path, identify):
        """Moves one arrival to the bank's done folder, then answers it: whatever goes
        wrong, nothing is answered twice."""
        kept = os.path.join(self.done, "%d-%s" % (time.time_ns(), os.path.basename(path)))
        os.replace(path, kept)
        try:
            client, message = identify(kept)
            if client is None:
                log("%s: from no known client, left unanswered" % kept)
            else:
                self.answer_message(client, message)
        except Exception as error:   # the bank goes on with the next arrival
            log("%s: %s" % (kept, error))

    def answer_message(self, client, message_bytes):
        """Every attachment is answered: with what its containers ask for, or with the
        refusal that says why it could not be read."""
        _, attachments = attachments_of(message_bytes)
        for name, data in attachments:
            seal = self.seal_of(client)
            try:
                members = read_archive(seal.open(data))
                for member in members:
                    title, text, container = self.answers.answer(client, member)
                    self.send(client, title, text, container)
                    log("%s: %s answered with \"%s\"" % (client["prefix"], name, title))
            except Exception as error:   # the client waits for an answer whatever went wrong
                reason = error if isinstance(error, BankError) else "ошибка обработки файла в банке"
                self.send(client, "Файл %s не принят" % name, "Файл %s не принят банком: %s.\n" % (name, reason))
                log("%s: %s refused: %r" % (client["prefix"], name, error))

    # Outgoing.

    def deliver(self, client, message):
        if client["transport"] == "http":
            self.deliver_http(client, message)
        else:
            self.deliver_mail(client, message)

    def deliver_mail(self, client, message):
        maildir = os.path.join(self.demo, "mail", "home", client["user"], "Maildir")
        name = "%d.M%dP%d.demobank" % (time.time(), time.time_ns() % 10 ** 9, os.getpid())
        temporary = os.path.join(maildir, "tmp", name)
        with open(temporary, "wb") as file:
            file.write(message)
        if os.geteuid() == 0:
            os.chown(temporary, demo_setup.ROOT_MAIL_UID, demo_setup.ROOT_MAIL_GID)
        os.rename(temporary, os.path.join(maildir, "new", name))

    def deliver_http(self, client, message):
        def folder_name(text):
            return "x" + text.encode("latin-1").hex().upper()
        bank = os.path.join(self.demo, "http", "bank")
        folder = os.path.join(bank, "mail", folder_name(client["user"]), folder_name(client["prefix"]))
        os.makedirs(folder, exist_ok=True)
        os.makedirs(os.path.join(bank, "tmp"), exist_ok=True)
        uid = str(time.time_ns())
        temporary = os.path.join(bank, "tmp", uid)
        with open(temporary, "wb") as file:
            file.write(message)
        os.rename(temporary, os.path.join(folder, uid))


# ---- The servers ----

def die_with_parent():
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)   # PR_SET_PDEATHSIG


def accepts(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


class PortTaken(RuntimeError):
    pass


def free_ports(names):
    """Loopback ports that nothing listens on now, all different: bound to port 0
    together, then released for the servers."""
    sockets = []
    try:
        for _ in names:
            handle = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            sockets.append(handle)
            handle.bind(("127.0.0.1", 0))
        return {name: handle.getsockname()[1] for name, handle in zip(names, sockets)}
    finally:
        for handle in sockets:
            handle.close()


def listening_sockets(port):
    """The inodes of the sockets listening on the port, as /proc/PID/fd names them."""
    inodes = set()
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        try:
            with open(table) as file:
                rows = file.read().splitlines()[1:]
        except OSError:
            continue
        for row in rows:
            fields = row.split()
            if fields[3] == "0A" and int(fields[1].rsplit(":", 1)[1], 16) == port:
                inodes.add("socket:[%s]" % fields[9])
    return inodes


def served_by(children, port):
    """One of the servers listens on the port itself: another program may have taken
    it between the choice of the port and the server's bind."""
    inodes = listening_sockets(port)
    for child in children.values():
        folder = "/proc/%d/fd" % child.pid
        try:
            descriptors = os.listdir(folder)
        except OSError:
            continue
        for descriptor in descriptors:
            try:
                if os.readlink(os.path.join(folder, descriptor)) in inodes:
                    return True
            except OSError:
                pass
    return False


# What a server that could not bind its port writes: strerror(EADDRINUSE) as the servers'
# C locale words it, and Python's own wording of it.
PORT_IN_USE = b"address already in use"


def log_files(demo, names):
    """The files the servers write to: their output and dovecot's own log."""
    return [os.path.join(demo, "log", name + ".log") for name in names] + [os.path.join(demo, "mail", "dovecot.log")]


def log_sizes(paths):
    return {path: os.path.getsize(path) if os.path.exists(path) else 0 for path in paths}


def bind_refused(sizes):
    """A server wrote, since the logs had those sizes, that its port was in use: another
    program held it, listening or not (a socket only bound, or one of its connections)."""
    for path, size in sizes.items():
        try:
            with open(path, "rb") as file:
                file.seek(size)
                if PORT_IN_USE in file.read().lower():
                    return True
        except OSError:
            pass
    return False


def start_servers(demo, ports, clients):
    mail, http, logs = (os.path.join(demo, name) for name in ("mail", "http", "log"))
    accounts = demo_setup.mail_accounts()
    commands = {
        "dovecot": ["/usr/sbin/dovecot", "-F", "-c", os.path.join(mail, "dovecot.conf")],
        "smtp": ["/usr/bin/python3", os.path.join(SERVERS, "smtp_maildir.py"), "--port", str(ports["smtp"]),
                 "--maildir", os.path.join(mail, "bank", "Maildir"), "--envelopes", os.path.join(mail, "envelopes"),
                 "--uid", str(accounts["MAIL_UID"]), "--gid", str(accounts["MAIL_GID"])] +
                ["--account=%s:%s" % (client["user"], demo_setup.PASSWORD) for client in clients],
        "lighttpd": ["/usr/sbin/lighttpd", "-D", "-f", os.path.join(http, "lighttpd.conf")],
    }
    children = {}
    sizes = log_sizes(log_files(demo, commands))
    for name, command in commands.items():
        output = open(os.path.join(logs, name + ".log"), "ab")
        # A process group of its own, so that every process of the server can be waited for.
        children[name] = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=output, stderr=output,
                                          preexec_fn=die_with_parent, process_group=0)
        output.close()
    deadline = time.monotonic() + START_SECONDS
    while not all(served_by(children, port) and accepts(port) for port in ports.values()):
        dead = [name for name, child in children.items() if child.poll() is not None]
        if dead or time.monotonic() > deadline:
            stop_servers(children)
            taken = [name for name, port in ports.items() if listening_sockets(port)]
            if taken:
                raise PortTaken("another program listens on the port of %s" % ", ".join(taken))
            if bind_refused(sizes):
                raise PortTaken("another program held a port of the bank when its server bound it")
            raise RuntimeError("the servers did not start (%s); see %s" % (", ".join(dead) or "time-out", logs))
        time.sleep(0.1)
    return children


def live_processes_of_group(group):
    """The processes of the group that have not ended (zombies do not count)."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as file:
                stat = file.read()
        except OSError:
            continue
        state, _, pgrp = stat[stat.rfind(")") + 2:].split()[:3]
        if int(pgrp) == group and state not in "ZX":
            found.append(int(entry))
    return found


def stop_servers(children):
    """Stops the servers and waits until every process of theirs has ended: a server
    started again at once must not meet the sockets of the old one's helpers."""
    for child in children.values():
        if child.poll() is None:
            child.terminate()
    for child in children.values():
        try:
            child.wait(timeout=5)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()
    deadline = time.monotonic() + 5
    for child in children.values():
        try:
            os.killpg(child.pid, signal.SIGKILL)
        except ProcessLookupError:
            continue
        while live_processes_of_group(child.pid) and time.monotonic() < deadline:
            time.sleep(0.05)


def stop_gpg_agents(config):
    for client in config["clients"]:
        for key in ("client_home", "bank_home"):
            if key in client["keys"]:
                demo_setup.stop_gpg_agent(client["keys"][key])


def serve(demo):
    demo = os.path.abspath(demo)
    lock = open(os.path.join(demo, "bank.lock"), "a")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        log("a demo bank already runs on " + demo)
        return ALREADY_RUNNING
    with open(os.path.join(demo, "clients.json"), encoding="utf-8") as file:
        config = json.load(file)
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    signal.signal(signal.SIGINT, lambda *_: stopping.append(True))
    pid_file, ready_file = os.path.join(demo, "bank.pid"), os.path.join(demo, "bank.ready")
    demo_setup.write_atomic(pid_file, b"%d\n" % os.getpid())
    children = {}
    try:
        children = start_servers(demo, config["ports"], config["clients"])
        open(ready_file, "w").close()
        log("demo bank ready: %s" % json.dumps(config["ports"]))
        bank = Bank(demo, config)
        bank.greet()
        while not stopping:
            bank.poll()
            dead = [name for name, child in children.items() if child.poll() is not None]
            if dead:
                raise RuntimeError("%s stopped; see the logs in %s" % (", ".join(dead), os.path.join(demo, "log")))
            time.sleep(POLL_SECONDS)
        log("demo bank stopping")
        return 0
    except PortTaken as error:
        log("demo bank did not start: %s" % error)
        return PORT_TAKEN
    except Exception as error:
        log("demo bank failed: %s" % error)
        return 1
    finally:
        stop_servers(children)
        stop_gpg_agents(config)
        for path in (ready_file, pid_file):
            if os.path.exists(path):
                os.remove(path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=("setup", "serve"))
    parser.add_argument("--dir", required=True)
    parser.add_argument("--source")
    parser.add_argument("--tool")
    parser.add_argument("--ports", help="POP3,IMAP,SMTP,HTTP, or auto")
    args = parser.parse_args()
    if args.command == "serve":
        return serve(args.dir)
    names = ("pop3", "imap", "smtp", "http")
    ports = dict(demo_setup.DEFAULT_PORTS)
    if args.ports == "auto":
        ports = free_ports(names)
    elif args.ports:
        ports = dict(zip(names, (int(port) for port in args.ports.split(","))))
    try:
        demo_setup.set_up(args.dir, args.source, args.tool, ports)
    except demo_setup.SetupError as error:
        print(error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
