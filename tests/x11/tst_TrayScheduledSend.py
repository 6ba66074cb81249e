#!/usr/bin/env python3
"""Hidden in the tray, the monitor must outlive the boxes of its scheduled sends.

    tst_TrayScheduledSend.py PROGRAM HELPER

Runs the real program under Xvfb with trayer as the notification area. The
program hides into the tray by its menu (表示 -> タスクトレイに入れる); the
scheduler then sends at the next minute to 127.0.0.1:25, which refuses, so the
box "Error" opens. Once the operator has closed it, the program must still be
running (it has no visible window left then), and the tray icon must bring the
window back. There a test send, answered Yes, fails the same way; then
ファイル -> 終了 must end the program with status 0. Every box is a real one,
with an event loop of its own.

The scheduler looks at the clock every 59.9 s, so the run takes 20 to 80 s.
"""
import datetime
import sys

import desktop
from desktop import Failure, check, log, wait_until

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
    desktop.require_port_refused()

    with desktop.Desktop(program, helper, tray=True) as x:
        desktop.write_check_ini(x.folder)
        desktop.write_smtp_ini(x.folder, "127.0.0.1")
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

        # A click on the icon brings the window back.
        x.click(wait_until("the tray icon", x.tray_icon_window, 5))
        wait_until("the main window to be shown again", lambda: x.is_viewable(main), 10)
        log("the tray icon brought the window back")

        x.keys(main, "alt+e")
        x.answer_box(x.wait_window("^テスト送信$", 10))  # Yes, the default button
        x.answer_box(x.wait_window("^Error$", 20))
        log("the test send failed as the scheduled one did")

        x.quit_by_menu(main)


if __name__ == "__main__":
    desktop.run_main(test)
