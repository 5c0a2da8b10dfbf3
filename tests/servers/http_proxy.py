#!/usr/bin/python3
"""HTTP proxy of the tests.

Appends the request line and the header lines of every request to the record file (each
request ends with an empty line), then forwards the request to the host and port of its
absolute URL and passes the answer back.

    http_proxy.py --port N --record FILE
"""

import argparse
import http.client
import http.server
import urllib.parse

HOP_BY_HOP = {"connection", "keep-alive", "proxy-authorization", "proxy-authenticate",
              "proxy-connection", "te", "trailer", "transfer-encoding", "upgrade", "expect",
              "content-length"}


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    # HTTP/1.1 answers "100 Continue" to a client that waits for it before the body.
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        self.close_connection = True
        self.record()
        body = self.read_body()
        url = urllib.parse.urlsplit(self.path)
        if url.scheme != "http" or not url.hostname:
            return self.answer(400, b"Absolute http URL expected\n")
        try:
            status, headers, data = self.forward(url, body)
        except OSError as error:
            return self.answer(502, str(error).encode("utf-8") + b"\n")
        self.answer(status, data, headers)

    def record(self):
        lines = [self.requestline] + ["%s: %s" % item for item in self.headers.items()]
        block = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1", "replace")
        with open(self.server.record_path, "ab") as file:
            file.write(block)

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
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, format, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--record", required=True)
    args = parser.parse_args()
    server = http.server.HTTPServer(("127.0.0.1", args.port), ProxyHandler)
    server.record_path = args.record
    open(args.record, "ab").close()
    server.serve_forever()


if __name__ == "__main__":
    main()
