#!/usr/bin/env python3
"""Hidden in the tray, the monitor must outlive the boxes of its scheduled sends.

    tst_TrayScheduledSend.py PROGRAM HELPER

Runs the real program under Xvfb with trayer as the notification area. The
program hides into the tray by its menu (表示 -> タスクトレイに入れる); the
scheduler then sends at the next minute to 127.0.0.1:25, which refuses, so the
box "Error" opens. Once the operator has closed it, the program must still be
running (it has no visible window left then), the tray icon must bring the
window back, and ファイル -> 終了 must end the program with status 0.

The scheduler looks at the clock every 59.9 s, so the run takes about 70 s.
"""
import datetime
import sys
import time

import desktop
from desktop import check, log, wait_until

# The first tick comes 59.9 s after the start; it falls into the minute after
# the start when the start is neither in the first 0.1 s nor (the program takes
# a moment to start) in the last few seconds of a minute.
EARLIEST_START_SECOND = 1
LATEST_START_SECOND = 56


def test():
    program, helper = sys.argv[1:3]
    desktop.require_port_refused()

    with desktop.Desktop(program, helper, tray=True) as x:
        now = datetime.datetime.now()
        if not EARLIEST_START_SECOND <= now.second < LATEST_START_SECOND:
            into_minute = now.second + now.microsecond / 1e6
            time.sleep((EARLIEST_START_SECOND + 0.2 - into_minute) % 60)
            now = datetime.datetime.now()
        send_at = now.replace(second=0, microsecond=0) + datetime.timedelta(minutes=1)
        # Both hours, so that a start at hh:59 sends at the next hour's minute 00.
        desktop.write_check_ini(x.folder)
        desktop.write_smtp_ini(x.folder, "127.0.0.1")
        desktop.write_sendtime_ini(x.folder, {now.hour, send_at.hour}, send_at.minute)

        main = x.start_program()
        started = time.monotonic()
        log(f"the program should send at {send_at:%H:%M}")

        # 表示(&V) -> タスクトレイに入れる(&T), by the keyboard.
        x.menu(main, "alt+v", "t")
        icon = wait_until("the tray icon inside trayer", x.tray_icon_window, 10)
        wait_until("the main window to be hidden", lambda: not x.is_viewable(main), 10)
        log(f"hidden in the tray, icon window {icon}")

        # The tick at about 59.9 s falls into the send minute.
        box = x.wait_window("^Error$", max(5.0, 80 - (time.monotonic() - started)))
        log(f"box \"Error\" after {time.monotonic() - started:.1f} s")
        check(not x.is_viewable(main), "the main window came back with the box")
        x.answer_box(box)

        x.assert_alive_for(3, "when its box closed while the window was in the tray")
        log("still running with the box closed")

        # A click on the icon brings the window back.
        x.click(wait_until("the tray icon", x.tray_icon_window, 5))
        wait_until("the main window to be shown again", lambda: x.is_viewable(main), 10)
        log("the tray icon brought the window back")

        x.quit_by_menu(main)


if __name__ == "__main__":
    desktop.run_main(test)
