#!/usr/bin/python3
"""Relay of the tests in front of dovecot's POP3 or IMAP port that refuses one command.

Passes every byte between a client and the server at 127.0.0.1:TARGET, except the
client's command lines that name the refused command: the relay answers those itself
with a refusal ("-ERR ..." for POP3, "TAG NO ..." for IMAP) and they never reach the
server. A POP3 command is the first word of its line, an IMAP command the word after
the tag.

    refusing_relay.py --port N --target PORT --protocol pop3|imap --refuse COMMAND
"""

import argparse
import socket
import socketserver
import threading


class Relay(socketserver.StreamRequestHandler):
    def handle(self):
        server = self.server
        upstream = socket.create_connection(("127.0.0.1", server.target))
        lock = threading.Lock()
        pump = threading.Thread(target=self.pass_replies, args=(upstream, lock), daemon=True)
        pump.start()
        try:
            for line in self.rfile:
                words = line.split()
                at = 0 if server.protocol == "pop3" else 1
                if len(words) > at and words[at].upper() == server.refused:
                    tag = b"-ERR" if server.protocol == "pop3" else words[0] + b" NO"
                    with lock:
                        self.wfile.write(tag + b" Refused by the test\r\n")
                else:
                    upstream.sendall(line)
        except OSError:
            pass
        finally:
            try:
                upstream.shutdown(socket.SHUT_WR)
            except OSError:
                pass
            pump.join(10)
            upstream.close()

    def pass_replies(self, upstream, lock):
        try:
            while True:
                data = upstream.recv(65536)
                if not data:
                    break
                with lock:
                    self.wfile.write(data)
        except OSError:
            pass
        finally:
            try:
                self.connection.shutdown(socket.SHUT_WR)
            except OSError:
                pass


class RelayServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--target", type=int, required=True)
    parser.add_argument("--protocol", choices=("pop3", "imap"), required=True)
    parser.add_argument("--refuse", required=True)
    args = parser.parse_args()
    server = RelayServer(("127.0.0.1", args.port), Relay)
    server.target = args.target
    server.protocol = args.protocol
    server.refused = args.refuse.upper().encode("ascii")
    server.serve_forever()


if __name__ == "__main__":
    main()
