"""Setting up the demo bank's folder (build/demo/ unless told otherwise).

From the demo profiles file examples/velton.ini it makes, once, a client key and a bank
key for every profile (GnuPG key folders, or key folders of our Verba stand-in made with
its key tool), and on every start:

    velton.ini       the profiles file the program runs on: the template's profiles with
                     their key folders and bank keys, data folders and the demo bank's
                     ports filled in. Made from the template the first time; later only
                     the ports that moved and the demo's keys, where the profile names
                     others, are written into the template's own profiles; every other
                     byte stays as the user left it (a profile the user added is left
                     alone)
    data/<profile>/  each demo profile's data folder, its user's only (made once)
    salary.txt       the demo salary list (a copy of examples/salary.txt, made once)
    clients.json     what the bank knows of each client of the template's profiles:
                     prefix, addresses, transport, cipher and keys
    mail/            dovecot's configuration and mailboxes (POP3 and IMAP), the bank's
                     own mailbox that the SMTP server fills
    http/            lighttpd's configuration and the bank script's folder

Every demo password is "demo". No key leaves the folder; no private key is committed.
"""

import grp
import json
import os
import pwd
import re
import shutil
import subprocess

PASSWORD = "demo"
DEFAULT_PORTS = {"pop3": 1110, "imap": 1143, "smtp": 2525, "http": 8480}
# Key numbers of the Verba stand-in: the bank's (the profile key BankVerbaKey), the client's.
VERBA_BANK = 586
VERBA_CLIENT = 101
# Dovecot refuses root as the mail user: run as root, the mailboxes belong to nobody.
ROOT_MAIL_UID = 65534
ROOT_MAIL_GID = 65534


class SetupError(Exception):
    pass


def run(arguments, data=None):
    result = subprocess.run(arguments, input=data, capture_output=True)
    if result.returncode != 0:
        raise SetupError("%s failed:\n%s" % (" ".join(arguments),
                                               result.stderr.decode("utf-8", "replace")))
    return result.stdout


def write_atomic(path, data, mode=None):
    """Replaces the file; with a mode the new file has exactly that mode."""
    temporary = path + ".tmp"
    with open(temporary, "wb") as file:
        if mode is not None:
            os.fchmod(file.fileno(), mode)
        file.write(data)
        file.flush()
        os.fsync(file.fileno())
    os.replace(temporary, path)


def fill_template(path, values):
    with open(path, encoding="utf-8") as file:
        text = file.read()
    for name, value in values.items():
        text = text.replace("@%s@" % name, str(value))
    return text.encode("utf-8")


# ---- The profiles file: CP1251 INI, sections and keys compared ignoring case ----

class IniFile:
    """The lines of an INI file, for reading keys and rewriting them in place. Every line
    keeps its own line end and every byte (one that CP1251 leaves unassigned too); lines
    written here end with CR LF."""

    def __init__(self, data):
        text = data.decode("cp1251", "surrogateescape")
        self.lines, self.ends = [], []
        for line in re.findall(r"[^\n]*\n|[^\n]+$", text):
            content = line.rstrip("\r\n")
            self.lines.append(content)
            self.ends.append(line[len(content):])
        self.changed = False

    def sections(self):
        return [name for name, _, _ in self._sections()]

    def _sections(self):
        """(name, first line, end line) of every section."""
        found = []
        for index, line in enumerate(self.lines):
            match = re.match(r"\s*\[([^\]]*)\]", line)
            if match:
                if found:
                    found[-1][2] = index
                found.append([match.group(1).strip(), index, len(self.lines)])
        return [tuple(entry) for entry in found]

    def _find(self, section, key):
        """(line of the key or None, line before which a new key goes) in the section;
        None when the section is absent."""
        for name, start, end in self._sections():
            if name.lower() != section.lower():
                continue
            for index in range(start + 1, end):
                line = self.lines[index]
                if "=" in line and not line.lstrip().startswith(";") and \
                        line.split("=", 1)[0].strip().lower() == key.lower():
                    return index, end
            return None, end
        return None

    def read(self, section, key):
        found = self._find(section, key)
        if found is None or found[0] is None:
            return None
        value = self.lines[found[0]].split("=", 1)[1].strip()
        return value[1:-1] if len(value) >= 2 and value[0] == value[-1] == '"' else value

    def value(self, section, key, default=""):
        """The profile's value, else the Common section's, else the default."""
        for name in (section, "Common"):
            found = self.read(name, key)
            if found is not None:
                return found
        return default

    def write(self, section, key, value):
        """Stores the value in the profile's own section, unless the profile has it
        already (from that section or from Common)."""
        value = str(value)
        if self.value(section, key, None) == value:
            return
        self.changed = True
        found = self._find(section, key)
        line = "%s=%s" % (key, value)
        if found is None:
            self._insert(len(self.lines), ["", "[%s]" % section, line])
        elif found[0] is not None:
            self.lines[found[0]] = line
        else:
            # At the end of the section, before its trailing blank lines.
            index = found[1]
            while self.lines[index - 1].strip() == "":
                index -= 1
            self._insert(index, [line])

    def _insert(self, index, lines):
        self.lines[index:index] = lines
        self.ends[index:index] = ["\r\n"] * len(lines)

    def bytes(self):
        # A last line without a line end gets one when a line follows it.
        ends = [end or "\r\n" for end in self.ends[:-1]] + self.ends[-1:]
        return "".join(line + end for line, end in zip(self.lines, ends)).encode("cp1251", "surrogateescape")


# ---- Keys ----

def gpg(home, *arguments, data=None):
    return run(["gpg", "--homedir", home, "--batch"] + list(arguments), data)


def make_gpg_key(home, name):
    """A key pair without passphrase in a new key folder; returns its fingerprint."""
    os.makedirs(home, mode=0o700, exist_ok=True)
    os.chmod(home, 0o700)
    gpg(home, "--pinentry-mode", "loopback", "--passphrase", "", "--quick-gen-key",
        "%s <%s>" % (name, name.lower().replace(" ", ".") + "@localhost"), "ed25519", "sign", "never")
    fingerprint = gpg_fingerprint(home)
    gpg(home, "--pinentry-mode", "loopback", "--passphrase", "", "--quick-add-key", fingerprint,
        "cv25519", "encr", "never")
    return fingerprint


def gpg_fingerprint(home):
    listing = gpg(home, "--list-secret-keys", "--with-colons").decode("ascii", "replace")
    fingerprints = re.findall(r"^fpr:+([0-9A-F]{40}):", listing, re.M)
    if not fingerprints:
        raise SetupError("No key in " + home)
    return fingerprints[0]


def stop_gpg_agent(home):
    subprocess.run(["gpgconf", "--homedir", home, "--kill", "gpg-agent"], capture_output=True)


def gpg_keys(folder, section):
    """The client's and the bank's key folders of a profile, made when missing."""
    client, bank = os.path.join(folder, "client"), os.path.join(folder, "bank")
    if not os.path.exists(os.path.join(bank, "done")):
        shutil.rmtree(folder, ignore_errors=True)
        make_gpg_key(client, "Client " + section)
        make_gpg_key(bank, "Bank for " + section)
        gpg(client, "--import", data=gpg(bank, "--export"))
        gpg(bank, "--import", data=gpg(client, "--export"))
        open(os.path.join(bank, "done"), "w").close()
    keys = {"client_home": client, "client_key": gpg_fingerprint(client),
            "bank_home": bank, "bank_key": gpg_fingerprint(bank)}
    for home in (client, bank):
        stop_gpg_agent(home)
    return keys


def verba_keys(folder, tool):
    """The client's and the bank's key folders of our Verba stand-in, made when missing."""
    client, bank = os.path.join(folder, "client"), os.path.join(folder, "bank")
    if not os.path.exists(os.path.join(bank, "done")):
        shutil.rmtree(folder, ignore_errors=True)
        for party, number in ((bank, VERBA_BANK), (client, VERBA_CLIENT)):
            run([tool, "keygen", str(number), os.path.join(party, "sec"), os.path.join(party, "pub")])
        for source, target, number in ((bank, client, VERBA_BANK), (client, bank, VERBA_CLIENT)):
            name = "%04d.pub" % number
            shutil.copyfile(os.path.join(source, "pub", name), os.path.join(target, "pub", name))
        open(os.path.join(bank, "done"), "w").close()
    return {"client_sec": os.path.join(client, "sec") + "/", "client_pub": os.path.join(client, "pub") + "/",
            "bank_sec": os.path.join(bank, "sec") + "/", "bank_pub": os.path.join(bank, "pub") + "/",
            "client_number": VERBA_CLIENT, "bank_number": VERBA_BANK}


# ---- The demo folder ----

def mail_accounts():
    """The users dovecot runs as and the owner of the mailboxes: the package's users and
    nobody when run as root, the running user otherwise."""
    if os.geteuid() == 0:
        return {"LOGIN_USER": "dovenull", "INTERNAL_USER": "dovecot", "INTERNAL_GROUP": "dovecot",
                "MAIL_UID": ROOT_MAIL_UID, "MAIL_GID": ROOT_MAIL_GID}
    user = pwd.getpwuid(os.geteuid()).pw_name
    group = grp.getgrgid(os.getegid()).gr_name
    return {"LOGIN_USER": user, "INTERNAL_USER": user, "INTERNAL_GROUP": group,
            "MAIL_UID": os.geteuid(), "MAIL_GID": os.getegid()}


def make_maildir(path, accounts):
    for folder in ("new", "cur", "tmp"):
        os.makedirs(os.path.join(path, folder), exist_ok=True)
    if os.geteuid() == 0:
        for folder, _, files in os.walk(os.path.dirname(path.rstrip("/"))):
            os.chown(folder, accounts["MAIL_UID"], accounts["MAIL_GID"])
            for name in files:
                os.chown(os.path.join(folder, name), accounts["MAIL_UID"], accounts["MAIL_GID"])


def set_up_mail(demo, servers, ports, clients):
    root = os.path.join(demo, "mail") + "/"
    accounts = mail_accounts()
    os.makedirs(root, exist_ok=True)
    os.chmod(root, 0o755)   # dovecot's helpers reach the mailboxes and sockets
    users = [client["user"] for client in clients if client["transport"] == "mail"]
    write_atomic(root + "passwd", "".join("%s:{PLAIN}%s\n" % (user, PASSWORD) for user in users).encode())
    for user in users:
        make_maildir(root + "home/%s/Maildir" % user, accounts)
    os.makedirs(root + "bank/Maildir", exist_ok=True)
    for folder in ("new", "cur", "tmp"):
        os.makedirs(root + "bank/Maildir/" + folder, exist_ok=True)
    os.makedirs(root + "envelopes", exist_ok=True)
    values = dict(accounts, ROOT=root, SSL="ssl = no", POP3_PORT=ports["pop3"], IMAP_PORT=ports["imap"],
                  POP3S_PORT=0, IMAPS_PORT=0)
    write_atomic(root + "dovecot.conf", fill_template(os.path.join(servers, "dovecot.conf"), values))


def set_up_http(demo, servers, ports, clients):
    root = os.path.join(demo, "http") + "/"
    os.makedirs(root + "www/cgi-bin", exist_ok=True)
    os.makedirs(root + "bank", exist_ok=True)
    script = root + "www/cgi-bin/zem-export.pl"
    if os.path.lexists(script):
        os.remove(script)
    os.symlink(os.path.join(servers, "cgi-bin", "zem-export.pl"), script)
    users = sorted({client["user"] for client in clients if client["transport"] == "http"})
    write_atomic(root + "bank/users", "".join("%s\t%s\n" % (user, PASSWORD) for user in users).encode())
    write_atomic(root + "lighttpd.conf",
                 fill_template(os.path.join(servers, "lighttpd.conf"), {"ROOT": root, "PORT": ports["http"]}))


def client_of(ini, section, keys):
    """What the bank knows of the profile's client."""
    transport = "http" if ini.value(section, "SendType", "SMTP").upper() == "HTTP" else "mail"
    return {"section": section, "prefix": ini.value(section, "Prefix").upper(),
            "caption": ini.value(section, "Caption", section),
            "email": ini.value(section, "EMail"), "bank_email": ini.value(section, "BankEMail"),
            "user": ini.value(section, "SendUser") or ini.value(section, "RecvUser"),
            "transport": transport, "cipher": ini.value(section, "CipherType", "PGP").upper(),
            "etalon_types": ini.value(section, "Salary.EtalonTypes"),
            "keys": keys}


def write_keys(ini, section, client):
    """The profile's key folders and the bank's key, as the demo made them."""
    keys = client["keys"]
    if client["cipher"] == "VERBA":
        ini.write(section, "VerbaSecPath", keys["client_sec"])
        ini.write(section, "VerbaPubPath", keys["client_pub"])
        ini.write(section, "BankVerbaKey", "%04d" % keys["bank_number"])
    else:
        ini.write(section, "PgpKeyPath", keys["client_home"] + "/")
        ini.write(section, "BankPgpKey", keys["bank_key"][-16:])


def write_places(ini, section, demo):
    """The profile's data folder and salary list in the demo folder."""
    ini.write(section, "DataPath", os.path.join(demo, "data", section.lower()) + "/")
    ini.write(section, "Salary.FileName", os.path.join(demo, "salary.txt"))


def write_ports(ini, section, ports):
    """The demo bank's ports, where the profile names others."""
    http_host = "127.0.0.1:%d" % ports["http"]
    if ini.value(section, "SendType", "SMTP").upper() == "HTTP":
        ini.write(section, "SendHost", http_host)
    else:
        ini.write(section, "SendPort", ports["smtp"])
    receive = ini.value(section, "RecvType", "POP3").upper()
    if receive == "HTTP":
        ini.write(section, "RecvHost", http_host)
    else:
        ini.write(section, "RecvPort", ports["imap" if receive == "IMAP4" else "pop3"])


def make_private_folders(path, below):
    """Makes the folder and those missing above it up to `below`, each for its user
    only whatever the umask; folders that exist stay as they are."""
    parent = os.path.dirname(path.rstrip("/"))
    if parent != below.rstrip("/") and not os.path.isdir(parent):
        make_private_folders(parent, below)
    if not os.path.isdir(path):
        os.mkdir(path, 0o700)
        os.chmod(path, 0o700)


def demo_sections(ini, template):
    """The profiles of the file that the template brought, each once."""
    own = {name.lower() for name in template.sections()} - {"common"}
    found = []
    for section in ini.sections():
        if section.lower() in own and section.lower() not in (name.lower() for name in found):
            found.append(section)
    return found


def keys_of(demo, tool, ini, section):
    """The profile's keys, made when missing."""
    folder = os.path.join(demo, "keys", section.lower())
    if ini.value(section, "CipherType", "PGP").upper() == "VERBA":
        return verba_keys(folder, tool)
    return gpg_keys(folder, section)


def set_up(demo, source, tool, ports):
    """Makes what is missing in the demo folder and writes into the profiles file what
    the demo must: everything at the first start, later the ports and keys that the
    profiles do not name already, and only into the template's own profiles."""
    demo = os.path.abspath(demo)
    servers = os.path.join(source, "tests", "servers")
    os.makedirs(os.path.join(demo, "log"), exist_ok=True)
    os.chmod(demo, 0o755)
    target = os.path.join(demo, "velton.ini")
    with open(os.path.join(source, "examples", "velton.ini"), "rb") as file:
        template = IniFile(file.read())
    first = not os.path.exists(target)
    ini = template
    if not first:
        with open(target, "rb") as file:
            ini = IniFile(file.read())
    if not os.path.exists(os.path.join(demo, "salary.txt")):
        shutil.copyfile(os.path.join(source, "examples", "salary.txt"), os.path.join(demo, "salary.txt"))

    clients = []
    for section in demo_sections(ini, template):
        client = client_of(ini, section, keys_of(demo, tool, ini, section))
        write_keys(ini, section, client)
        if first:
            write_places(ini, section, demo)
            make_private_folders(os.path.join(demo, "data", section.lower()), demo)
        write_ports(ini, section, ports)
        clients.append(client)
    os.chmod(os.path.join(demo, "keys"), 0o700)

    # The profiles file holds the passwords: made for its user only, and a mode the user
    # gave it is kept.
    if first or ini.changed:
        mode = os.stat(target).st_mode & 0o7777 if os.path.exists(target) else 0o600
        write_atomic(target, ini.bytes(), mode)
    set_up_mail(demo, servers, ports, clients)
    set_up_http(demo, servers, ports, clients)
    write_atomic(os.path.join(demo, "clients.json"),
                 json.dumps({"ports": ports, "tool": tool, "clients": clients}, ensure_ascii=False,
                            indent=1).encode("utf-8"))
