#!/usr/bin/env python3
"""Hidden in the tray, the monitor must outlive the boxes of its scheduled
sends; a report that it kept must survive its death and arrive once.

    tst_TrayScheduledSend.py PROGRAM HELPER

Runs the real program under Xvfb with trayer as the notification area, with
failed scheduled reports kept and a mail server port where nothing listens.
The program hides into the tray by its menu (表示 -> タスクトレイに入れる); the
scheduler's send at the next minute fails, so the box "Error" opens and the
report is kept in outbox/. Once the operator has closed the box, the program
must still be running (it has no visible window left then), and the tray
icon must bring the window back. There a test send, answered Yes, fails the
same way. The program, ended by its menu, started again and killed (SIGKILL)
while the report waits, is started once more when a real SMTP server
(report/smtp_sink.py) has come up on the port:
the kept report must arrive once, as composed with its Date header, and leave
outbox/; then ファイル -> 終了 must end the program with status 0. Every box is
a real one, with an event loop of its own.

The scheduler looks at the clock every 59.9 s, so the run takes 60 to 140 s.
"""
import datetime
import glob
import os
import signal
import socket
import subprocess
import sys
import time

import desktop
from desktop import Failure, check, log, wait_until

SINK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "report", "smtp_sink.py")
# The window must be in the tray before the send minute begins: the program
# starts and hides within this many seconds, or it is started again for the
# minute after.
READY_WITHIN = 15


def hidden_in_tray(x):
    """Starts the program and hides it by its menu (表示(&V) -> タスクトレイに入れる(&T))."""
    main = x.start_program()
    x.menu(main, "alt+v", "t")
    icon = wait_until("the tray icon inside trayer", x.tray_icon_window, 10)
    wait_until("the main window to be hidden", lambda: not x.is_viewable(main), 10)
    log(f"hidden in the tray, icon window {icon}")
    return main


def test():
    program, helper = sys.argv[1:3]
    with desktop.Desktop(program, helper, tray=True) as x:
        with socket.socket() as probe:  # a port that refuses once closed
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        desktop.write_check_ini(x.folder)
        desktop.write_smtp_ini(x.folder, port)
        for attempt in (1, 2):
            # A tick comes every 59.9 s from the start, so one falls into
            # every minute after the first tick: also into the send minute.
            send_at = desktop.minute_after(READY_WITHIN)
            desktop.write_sendtime_ini(x.folder, {send_at.hour}, send_at.minute)
            log(f"the program should send at {send_at:%H:%M}")
            main = hidden_in_tray(x)
            if datetime.datetime.now() < send_at:
                break
            log("in the tray only after the send minute began; once more")
            desktop.stop(x.program)
        else:
            raise Failure(f"the program was not in the tray within {READY_WITHIN} s, twice")

        box = x.wait_window("^Error$", (send_at - datetime.datetime.now()).total_seconds() + 65)
        log(f"box \"Error\" at {datetime.datetime.now():%H:%M:%S}")
        check(not x.is_viewable(main), "the main window came back with the box")
        x.answer_box(box)

        x.assert_alive_for(3, "when its box closed while the window was in the tray")
        log("still running with the box closed")
        kept = lambda: glob.glob(os.path.join(x.folder, "outbox", "*.eml"))  # noqa: E731
        check(len(kept()) == 1, f"not one report kept: {kept()}")
        with open(kept()[0], "rb") as file:
            report = file.read()
        check(b"\r\nDate: " in report, "the kept report has no Date header")

        # A click on the icon brings the window back.
        x.click(wait_until("the tray icon", x.tray_icon_window, 5))
        wait_until("the main window to be shown again", lambda: x.is_viewable(main), 10)
        log("the tray icon brought the window back")

        x.keys(main, "alt+e")
        x.answer_box(x.wait_window("^テスト送信$", 10))  # Yes, the default button
        x.answer_box(x.wait_window("^Error$", 20))
        log("the test send failed as the scheduled one did")

        # Ended by its menu (so that a coverage build counts what this run
        # did), started again and killed while the report waits.
        x.quit_by_menu(main)
        x.start_program()
        x.program.send_signal(signal.SIGKILL)
        x.program.wait()
        received = x.scratch_folder("tolvane-x11-mail-")
        server = x.spawn([sys.executable, SINK, received, "127.0.0.1", str(port)],
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        check(server.stdout.readline().strip() == str(port).encode(),
              "the SMTP server did not start")
        log("killed; the server is up; the program starts again")
        main = x.start_program()
        delivered = os.path.join(received, "1.data")
        wait_until("the kept report delivered", lambda: os.path.exists(delivered), 60)
        wait_until("outbox/ empty", lambda: not kept(), 10)
        # A second copy would follow within the outbox's next looks.
        time.sleep(20)
        check(not os.path.exists(os.path.join(received, "2.data")), "the report came twice")
        with open(delivered, "rb") as file:
            # The text and the CR LF that ends it on the wire.
            check(file.read() == report + b"\r\n", "the report changed on the way")
        log("the kept report arrived once")

        x.quit_by_menu(main)


if __name__ == "__main__":
    desktop.run_main(test)
