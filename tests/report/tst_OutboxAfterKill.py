#!/usr/bin/env python3
"""A report kept in the outbox survives the program's death and arrives once.

    tst_OutboxAfterKill.py PROGRAM HELPER SINK

Runs the real program offscreen in a scratch application folder, with retries
on and a mail server port where nothing listens. The scheduled send at the
next minute fails, and the report is kept in outbox/. The program is killed
(SIGKILL) while the report waits; then a real SMTP server (SINK, on aiosmtpd)
comes up on that port and the program is started again: the report must
arrive once, as composed with its Date header, and outbox/ must be empty.

The scheduler looks at the clock every 59.9 s, so the run takes about 90 s.
"""
import datetime
import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "x11"))
import desktop  # noqa: E402
from desktop import check, log, number_line, wait_until, write_lines  # noqa: E402


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start(program, folder):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    return desktop.spawn([program], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                         stderr=open(os.path.join(folder, "stderr.txt"), "ab"))


def test():
    program, helper, sink = sys.argv[1:4]
    with tempfile.TemporaryDirectory() as folder:
        for file in (program, helper):
            shutil.copy(file, folder)
        port = free_port()
        desktop.write_check_ini(folder)
        write_lines(folder, "smtp.ini", [
            "127.0.0.1", "tolvane@monitor.example", "admin@example.org", "Status report",
            number_line(0), number_line(0), number_line(port), number_line(0), "",
            number_line(1)])
        # The first tick comes 59.9 s after the window: its minute is that of
        # a minute from now, unless now is too near the start or end of one.
        now = datetime.datetime.now()
        if not 2 <= now.second < 55:
            time.sleep((62 - now.second) % 60)
        send_at = datetime.datetime.now() + datetime.timedelta(seconds=60)
        write_lines(folder, "sendtime.ini",
                    [number_line(1 if h == send_at.hour else 0) for h in range(24)]
                    + [f"{send_at.minute:02d}"])
        outbox = os.path.join(folder, "outbox")
        kept = lambda: glob.glob(os.path.join(outbox, "*.eml"))  # noqa: E731

        monitor = start(os.path.join(folder, os.path.basename(program)), folder)
        try:
            log(f"waiting for the send at {send_at:%H:%M} to fail")
            wait_until("the report kept in outbox/", kept, 100)
            check(len(kept()) == 1, f"not one report kept: {kept()}")
        finally:
            monitor.send_signal(signal.SIGKILL)
            monitor.wait()
        with open(kept()[0], "rb") as file:
            text = file.read().decode("utf-8")
        check("\r\nDate: " in text, "the kept report has no Date header")

        received = os.path.join(folder, "received")
        os.mkdir(received)
        server = desktop.spawn(["/usr/bin/python3", sink, received, "127.0.0.1", str(port)],
                               stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        monitor = None
        try:
            check(server.stdout.readline().strip() == str(port).encode(),
                  "the SMTP server did not start")
            log("the server is up; the program starts again")
            monitor = start(os.path.join(folder, os.path.basename(program)), folder)
            wait_until("the kept report delivered",
                       lambda: os.path.exists(os.path.join(received, "1.data")), 60)
            wait_until("outbox/ empty", lambda: not kept(), 10)
            # A second copy would follow within the outbox's next looks.
            time.sleep(20)
            check(not os.path.exists(os.path.join(received, "2.data")), "the report came twice")
            # The text and the CR LF that ends it on the wire.
            with open(os.path.join(received, "1.data"), "rb") as file:
                check(file.read().decode("utf-8") == text + "\r\n",
                      "the report changed on the way")
        finally:
            if monitor:
                monitor.terminate()
                monitor.wait()
            server.stdin.close()
            server.wait(timeout=10)


if __name__ == "__main__":
    desktop.run_main(test)
