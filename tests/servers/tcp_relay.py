#!/usr/bin/python3
"""A loopback relay of the tests that records what clients send.

Every connection to --port is passed on to --target on 127.0.0.1, both ways, byte for
byte; the bytes each client sends are appended to the --record file before they are
passed on, so the file holds everything that reached the server.

    tcp_relay.py --port N --target M --record FILE
"""

import argparse
import asyncio
import signal
import sys


async def pump(reader, writer, record=None):
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            if record is not None:
                record.write(data)
                record.flush()
            writer.write(data)
            await writer.drain()
    except ConnectionError:
        pass
    finally:
        writer.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--target", type=int, required=True)
    parser.add_argument("--record", required=True)
    args = parser.parse_args()
    record = open(args.record, "ab")

    async def relay(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", args.target)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, record),
                             pump(server_reader, client_writer))

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(asyncio.start_server(relay, "127.0.0.1", args.port))
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    print("relay 127.0.0.1:%d -> %d" % (args.port, args.target), file=sys.stderr, flush=True)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
