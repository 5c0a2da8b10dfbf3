#!/usr/bin/python3
"""SMTP server of the tests (aiosmtpd).

Every accepted message is stored exactly as it came (the DATA bytes after the
transparency dots are removed) into the new/ folder of a Maildir, owned by the mail
user that dovecot runs as, so that dovecot serves it by POP3 and IMAP. Beside the
Maildir, a file of the same name in the envelope folder records the envelope:

    from <sender>
    to <recipient>          (one line per recipient)
    login <user>            (when the client authenticated)

AUTH PLAIN and LOGIN are offered without TLS (the client under test may log in);
only the configured user and password (or the accounts given as USER:PASSWORD) are
accepted, and logging in is not required.
aiosmtpd's own command line cannot offer AUTH without TLS, hence this small runner.
With a certificate and its key, the port also offers STARTTLS, and --tls-port
listens with TLS from the start.

    smtp_maildir.py --port N --maildir DIR --envelopes DIR --uid U --gid G
                    [--user NAME --password SECRET] [--account NAME:SECRET ...]
                    [--refuse ADDRESS ...]
                    [--tls-cert FILE --tls-key FILE [--tls-port N]]
"""

import argparse
import asyncio
import itertools
import os
import signal
import ssl
import sys
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def to_bytes(text):
    return text.encode("utf-8", "surrogateescape")


class Handler:
    def __init__(self, maildir, envelopes, uid, gid, refused=()):
        self.maildir = maildir
        self.envelopes = envelopes
        self.uid = uid
        self.gid = gid
        self.refused = {address.lower() for address in refused}
        self.counter = itertools.count(1)

    def unique_name(self):
        # Maildir names sort by their leading time, as dovecot numbers new messages.
        now = time.time_ns() // 1000
        return "%d.M%06dP%dQ%d.smtp" % (now // 1000000, now % 1000000, os.getpid(),
                                         next(self.counter))

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.refused:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        name = self.unique_name()
        self.write_envelope(name, session, envelope)
        self.deliver(name, envelope.original_content)
        return "250 OK: stored as " + name

    def write_envelope(self, name, session, envelope):
        lines = [b"from " + to_bytes(envelope.mail_from or "")]
        lines += [b"to " + to_bytes(address) for address in envelope.rcpt_tos]
        if session.authenticated and isinstance(session.auth_data, LoginPassword):
            lines.append(b"login " + session.auth_data.login)
        with open(os.path.join(self.envelopes, name), "wb") as file:
            file.write(b"\n".join(lines) + b"\n")

    def deliver(self, name, content):
        temporary = os.path.join(self.maildir, "tmp", name)
        with open(temporary, "wb") as file:
            file.write(content)
        if os.geteuid() == 0:
            os.chown(temporary, self.uid, self.gid)
        os.rename(temporary, os.path.join(self.maildir, "new", name))


def make_authenticator(accounts):
    """accounts: the accepted passwords by user name, as bytes."""
    def authenticate(server, session, envelope, mechanism, auth_data):
        accepted = (isinstance(auth_data, LoginPassword) and auth_data.login in accounts
                    and accounts[auth_data.login] == auth_data.password)
        if not accepted:
            return AuthResult(success=False, handled=False)   # answered 535 by aiosmtpd
        return AuthResult(success=True, auth_data=auth_data)
    return authenticate


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--maildir", required=True)
    parser.add_argument("--envelopes", required=True)
    parser.add_argument("--uid", type=int, required=True)
    parser.add_argument("--gid", type=int, required=True)
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    parser.add_argument("--account", action="append", default=[])
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--tls-port", type=int)
    args = parser.parse_args()

    tls = None
    if args.tls_cert:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(args.tls_cert, args.tls_key)

    handler = Handler(args.maildir, args.envelopes, args.uid, args.gid, args.refuse)
    accounts = dict(to_bytes(account).split(b":", 1) for account in args.account)
    if args.user is not None:
        accounts[to_bytes(args.user)] = to_bytes(args.password)
    authenticator = make_authenticator(accounts)

    def factory(starttls=None):
        # A fixed host name: the default looks the machine's name up in the DNS.
        return SMTP(handler, hostname="localhost", auth_require_tls=False,
                    authenticator=authenticator, data_size_limit=None, tls_context=starttls)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    servers = [loop.run_until_complete(loop.create_server(lambda: factory(tls), "127.0.0.1", args.port))]
    if args.tls_port:
        servers.append(loop.run_until_complete(
            loop.create_server(factory, "127.0.0.1", args.tls_port, ssl=tls)))
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    print("SMTP server listening on 127.0.0.1:%d" % args.port, file=sys.stderr, flush=True)
    loop.run_forever()
    for server in servers:
        server.close()


if __name__ == "__main__":
    main()
