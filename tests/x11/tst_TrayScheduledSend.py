"""Hidden in the tray, the monitor must outlive the boxes of its scheduled
sends; a report that it kept must survive its death and arrive once.

The real program runs under Xvfb with trayer as the notification area, with
failed scheduled reports kept and a mail server port that refuses. Hidden
into the tray by its menu (表示 -> タスクトレイに入れる), its scheduled send
at the next minute fails: the box "Error" opens and the report is kept in
outbox/. With the box closed the program has no visible window left and
must still run: the tray icon brings the window back. There a test send,
answered Yes, fails the same way. The program, ended by its menu, started
again and killed (SIGKILL) while the report waits, is started once more when
an SMTP server serves the port: the kept report must arrive once, as
composed with its Date header, and leave outbox/; ファイル -> 終了 ends the
program with status 0. Every box is a real one, with an event loop of its own.
"""
import shutil
import signal

import pytest
from Xlib import X
from Xlib.display import Display

from harness import schedule_send, write_check_ini, write_sendtime_ini, write_smtp_ini


def tray_owner(desktop):
    """The window that owns the notification area selection, or X.NONE."""
    x = Display(desktop.display)
    try:
        return x.get_selection_owner(x.intern_atom("_NET_SYSTEM_TRAY_S0"))
    finally:
        x.close()


def tray_icon(desktop, program):
    """The program's visible window inside trayer, or None."""
    inside = set()
    for trayer in desktop.windows("--class", "trayer"):
        tree = desktop.x(["xwininfo", "-id", trayer, "-tree"], ok_codes=(0, 1))
        inside |= {int(w, 16) for w in tree.split() if w.startswith("0x")}
    return next((w for w in desktop.windows("--pid", str(program.pid))
                 if int(w) in inside and desktop.is_viewable(w)), None)


@pytest.fixture
def tray(desktop, launch):
    if not shutil.which("trayer"):
        pytest.fail("missing trayer: scripts/setup.sh installs it")
    trayer = launch(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                     "--width", "200", "--heighttype", "pixel", "--height", "32",
                     "--SetDockType", "true", "--expand", "false"], env=desktop.env)
    trayer.wait_for("trayer to own the notification area",
                    lambda: tray_owner(desktop) != X.NONE, 15)


def test_tray_scheduled_send(desktop, tray, launch, app_folder, smtp_sink):
    sink = smtp_sink(serving=False)
    write_check_ini(app_folder)
    write_smtp_ini(app_folder, sink.address, sink.port)
    write_sendtime_ini(app_folder)

    def start():
        program = launch([str(app_folder / "tolvane")], cwd=app_folder, env=desktop.env)
        return program, desktop.wait_window("^Tolvane$", 20, program)

    def quit_by_menu(program, main):
        """ファイル(&F) -> 終了(&X); the program must end with status 0."""
        desktop.menu(main, program, "alt+f", "x")
        assert program.end() == 0, f"the program's end after 終了:\n{program.journal()}"

    program, main = start()
    desktop.menu(main, program, "alt+v", "t")
    program.wait_for("the tray icon inside trayer", lambda: tray_icon(desktop, program), 10)
    program.wait_for("the main window to be hidden", lambda: not desktop.is_viewable(main), 10)
    box = desktop.wait_window("^Error$", schedule_send(app_folder), program)
    assert not desktop.is_viewable(main), "the main window came back with the box"
    desktop.answer_box(box)
    kept = lambda: list((app_folder / "outbox").glob("*.eml"))  # noqa: E731
    assert len(kept()) == 1
    report = kept()[0].read_bytes()
    assert b"\r\nDate: " in report

    # With no window left the program runs on: its icon brings the window back.
    desktop.click(program.wait_for("the tray icon", lambda: tray_icon(desktop, program), 5))
    program.wait_for("the main window shown again", lambda: desktop.is_viewable(main), 10)

    desktop.keys(main, "alt+e")
    desktop.answer_box(desktop.wait_window("^テスト送信$", 10, program))  # Yes, the default
    desktop.answer_box(desktop.wait_window("^Error$", 20, program))

    # Ended by its menu (a coverage build counts what it did), started again
    # and killed while the report waits.
    quit_by_menu(program, main)
    start()[0].end(signal_number=signal.SIGKILL)
    sink.serve()
    program, main = start()
    delivered = sink.wait(1, 60, program)
    program.wait_for("outbox/ empty", lambda: not kept(), 10)
    # The text and the CR LF that ends it on the wire.
    assert delivered.data == report + b"\r\n", "the report changed on the way"
    quit_by_menu(program, main)
    assert len(sink.messages) == 1, "the report came more than once"
