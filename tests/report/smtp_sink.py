#!/usr/bin/env python3
"""An SMTP server on 127.0.0.1 for the delivery tests.

    smtp_sink.py FOLDER [ADDRESS [PORT]]

Listens on ADDRESS (default 127.0.0.1), port PORT (default: a free port),
prints the port number on a line of its own, and serves until its standard input closes. Every message it accepts
becomes FOLDER/N.json, the HELO argument and the envelope, and FOLDER/N.data,
the message text as the client meant it (dot-stuffing undone) in the bytes it
sent: the client's code page is the reader's to apply.
"""
import asyncio
import json
import os
import sys

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        record = {
            "helo": session.host_name,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
        }
        # Written aside and renamed, so a reader never sees half a file; the
        # record last, so that its presence means both are there.
        partial = os.path.join(self.folder, f"{self.count}.partial")
        with open(partial, "wb") as out:
            out.write(envelope.original_content)
        os.replace(partial, os.path.join(self.folder, f"{self.count}.data"))
        with open(partial, "w", encoding="utf-8", newline="") as out:
            json.dump(record, out, ensure_ascii=False)
        os.replace(partial, os.path.join(self.folder, f"{self.count}.json"))
        return "250 OK"


async def main(folder, address, port):
    loop = asyncio.get_running_loop()
    handler = Sink(folder)
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="sink.test"), address, port)
    print(server.sockets[0].getsockname()[1], flush=True)
    await loop.run_in_executor(None, sys.stdin.read)
    server.close()
    await server.wait_closed()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1], sys.argv[2] if len(sys.argv) > 2 else "127.0.0.1",
                     int(sys.argv[3]) if len(sys.argv) > 3 else 0))
