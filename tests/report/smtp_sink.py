#!/usr/bin/env python3
"""An SMTP server on a loopback address for the delivery tests.

    smtp_sink.py FOLDER [ADDRESS PORT] [--starttls|--tls CERT KEY]
                 [--login NAME:PASSWORD] [--login-only]

Listens on ADDRESS and PORT (127.0.0.1 and a free port when not given; a
program that always mails to port 25 gets a loopback address of its own),
prints the port number on a line of its own, and serves until its standard
input closes. Every message it accepts becomes FOLDER/N.json: the HELO
argument, the envelope and the message text as the client meant it
(dot-stuffing undone), as UTF-8; and FOLDER/N.data, that text in the bytes
that the client sent, for a client whose code page is not UTF-8. Every AUTH
and MAIL command it sees is a line of FOLDER/commands.

With --starttls it offers STARTTLS with the certificate CERT and key KEY and
takes no mail before it; with --tls it speaks TLS from the first byte. With
--login it takes mail only after a login with that name and password (PLAIN
and LOGIN offered; only LOGIN with --login-only).
"""
import argparse
import asyncio
import json
import logging
import os
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult


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


class RecordingSMTP(SMTP):
    """Notes the commands that matter to the tests: a login, a sender."""

    def note(self, line):
        with open(os.path.join(self.event_handler.folder, "commands"), "a") as out:
            out.write(line + "\n")

    async def smtp_AUTH(self, arg):
        self.note("AUTH " + arg.split()[0].upper() if arg else "AUTH")
        await super().smtp_AUTH(arg)

    async def smtp_MAIL(self, arg):
        self.note("MAIL")
        await super().smtp_MAIL(arg)


async def main():
    # The login over TLS from the first byte draws a warning meant for clear
    # connections, and the login's data one about its future; neither is the
    # test's concern.
    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("address", nargs="?", default="127.0.0.1")
    parser.add_argument("port", nargs="?", default="0")
    parser.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--login")
    parser.add_argument("--login-only", action="store_true")
    args = parser.parse_args()

    context = None
    if args.starttls or args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*(args.starttls or args.tls))
    options = {"hostname": "sink.test"}
    if args.starttls:
        options.update(tls_context=context, require_starttls=True)
    if args.login:
        name, password = args.login.split(":", 1)

        def authenticator(server, session, envelope, mechanism, data):
            # A refusal is answered with 535.
            return AuthResult(success=(data.login.decode(), data.password.decode())
                              == (name, password), handled=False)

        # TLS from the first byte is as safe for the password as STARTTLS.
        options.update(authenticator=authenticator, auth_required=True,
                       auth_require_tls=not args.tls)
        if args.login_only:
            options["auth_exclude_mechanism"] = ["PLAIN"]

    loop = asyncio.get_running_loop()
    handler = Sink(args.folder)
    server = await loop.create_server(
        lambda: RecordingSMTP(handler, **options), args.address, int(args.port),
        ssl=context if args.tls else None)
    print(server.sockets[0].getsockname()[1], flush=True)
    await loop.run_in_executor(None, sys.stdin.read)
    server.close()
    await server.wait_closed()


if __name__ == "__main__":
    asyncio.run(main())
