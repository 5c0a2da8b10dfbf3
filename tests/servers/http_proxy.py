#!/usr/bin/python3
"""HTTP proxy of the tests, behaving as an office proxy with Basic authentication.

Appends the request line and the header lines of every request to the record file (each
request ends with an empty line). A request whose Proxy-Authorization does not carry one
of the accounts gets 407 with a Proxy-Authenticate header and an error page longer than
2048 bytes, as squid's; any other is forwarded to the host and port of its absolute URL
and the answer passed back. Connections are kept alive between requests. A CONNECT with
the credentials of an account opens a tunnel to its host and port (a client that speaks
TLS to the server), which lasts as long as both ends keep it.

    http_proxy.py --port N --record FILE [--account USER:PASSWORD ...]
"""

import argparse
import base64
import http.client
import http.server
import select
import socket
import socketserver
import urllib.parse

HOP_BY_HOP = {"connection", "keep-alive", "proxy-authorization", "proxy-authenticate",
              "proxy-connection", "te", "trailer", "transfer-encoding", "upgrade", "expect",
              "content-length"}


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    # HTTP/1.1 answers "100 Continue" to a client that waits for it before the body.
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        self.record()
        body = self.read_body()
        if not self.authorized():
            return self.answer(407, refusal_page(), [("Proxy-Authenticate", 'Basic realm="Office proxy"'),
                                                     ("Content-Type", "text/html")])
        url = urllib.parse.urlsplit(self.path)
        if url.scheme != "http" or not url.hostname:
            return self.answer(400, b"Absolute http URL expected\n")
        try:
            status, headers, data = self.forward(url, body)
        except OSError as error:
            return self.answer(502, str(error).encode("utf-8") + b"\n")
        self.answer(status, data, headers)

    def do_CONNECT(self):
        self.record()
        if not self.authorized():
            return self.answer(407, refusal_page(), [("Proxy-Authenticate", 'Basic realm="Office proxy"'),
                                                     ("Content-Type", "text/html")])
        host, _, port = self.path.rpartition(":")
        try:
            server = socket.create_connection((host, int(port)), timeout=60)
        except (OSError, ValueError) as error:
            return self.answer(502, str(error).encode("utf-8") + b"\n")
        self.send_response(200, "Connection established")
        self.end_headers()
        self.close_connection = True
        with server:
            tunnel(self.connection, server)

    def record(self):
        lines = [self.requestline] + ["%s: %s" % item for item in self.headers.items()]
        block = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1", "replace")
        with open(self.server.record_path, "ab") as file:
            file.write(block)

    def authorized(self):
        scheme, _, credentials = (self.headers.get("Proxy-Authorization") or "").partition(" ")
        if scheme.lower() != "basic":
            return False
        try:
            account = base64.b64decode(credentials, validate=True).decode("latin-1")
        except ValueError:
            return False
        return account in self.server.accounts

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else None

    def forward(self, url, body):
        target = urllib.parse.urlunsplit(("", "", url.path or "/", url.query, ""))
        connection = http.client.HTTPConnection(url.hostname, url.port or 80, timeout=60)
        try:
            connection.putrequest(self.command, target, skip_host=True,
                                  skip_accept_encoding=True)
            for name, value in self.headers.items():
                if name.lower() not in HOP_BY_HOP:
                    connection.putheader(name, value)
            if body is not None:
                connection.putheader("Content-Length", str(len(body)))
            connection.endheaders(body)
            response = connection.getresponse()
            data = response.read()
            headers = [(name, value) for name, value in response.getheaders()
                       if name.lower() not in HOP_BY_HOP]
            return response.status, headers, data
        finally:
            connection.close()

    def answer(self, status, data, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, format, *args):
        pass


def tunnel(client, server):
    """Passes the bytes both ways until one end closes."""
    ends = {client: server, server: client}
    while True:
        readable, _, _ = select.select(list(ends), [], [])
        for source in readable:
            data = source.recv(65536)
            if not data:
                return
            ends[source].sendall(data)


def refusal_page():
    """An error page of about 3 KB, as a real proxy sends with its 407."""
    advice = "<p>Sorry, you are not currently allowed to request this page until you have authenticated yourself.</p>\n"
    return ("<html><head><title>ERROR: Cache Access Denied</title></head><body>\n"
            + advice * 25 + "</body></html>\n").encode("ascii")


class ProxyServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--record", required=True)
    parser.add_argument("--account", action="append", default=[])
    args = parser.parse_args()
    server = ProxyServer(("127.0.0.1", args.port), ProxyHandler)
    server.record_path = args.record
    server.accounts = set(args.account)
    open(args.record, "ab").close()
    server.serve_forever()


if __name__ == "__main__":
    main()
