#!/usr/bin/env python3
"""An SMTP server on a loopback address for the delivery tests.

    smtp_sink.py FOLDER [ADDRESS PORT]

Listens on ADDRESS and PORT (127.0.0.1 and a free port when not given; a
program that always mails to port 25 gets a loopback address of its own),
prints the port number on a line of its own, and serves until its standard
input closes. Every message it accepts becomes FOLDER/N.json: the HELO
argument, the envelope and the message text as the client meant it
(dot-stuffing undone), as UTF-8; and FOLDER/N.data, that text in the bytes
that the client sent, for a client whose code page is not UTF-8.
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
            "content": envelope.original_content.decode("utf-8", "replace"),
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


async def main(folder, address="127.0.0.1", port="0"):
    loop = asyncio.get_running_loop()
    handler = Sink(folder)
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="sink.test"), address, int(port))
    print(server.sockets[0].getsockname()[1], flush=True)
    await loop.run_in_executor(None, sys.stdin.read)
    server.close()
    await server.wait_closed()


if __name__ == "__main__":
    asyncio.run(main(*sys.argv[1:4]))
