#!/usr/bin/env python3
"""The server closes while the box of its failing reply is open: no crash.

    tst_FailingReplyBox.py PROGRAM HELPER

Runs the real program under Xvfb against a scripted SMTP server on
127.0.0.1:25 (the port the program always dials) that refuses the recipient
with 550. The program answers with QUIT and shows the box "ERROR"; only once
that box is on the screen does the server send "221 bye" and close, so the
close reaches the program inside the box's own event loop. Then the operator
presses OK. Twenty test sends in one run; the program must survive every one,
the server must have seen the dialogue up to QUIT each time, and 終了 must end
the program with status 0. About 40 s.
"""
import queue
import socket
import sys
import threading
import time

import desktop
from desktop import Failure, check, log, wait_until

ROUNDS = 20
# How long the box stays open after the close before the operator presses OK.
BOX_OPEN_AFTER_CLOSE = 0.3
# The server answers QUIT once told to, or by itself after this long.
QUIT_HOLD = 2.0


class Session:
    def __init__(self):
        self.commands = []
        self.quit_seen = threading.Event()
        self.release_quit = threading.Event()
        self.closed = threading.Event()


class ScriptedServer:
    """220, then 250 to HELO and MAIL, 550 to RCPT; QUIT is answered with 221
    and a close when the test releases it. Each connection is one Session."""

    def __init__(self, listener):
        self.listener = listener
        self.sessions = queue.Queue()
        self.stopping = False
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def stop(self):
        self.stopping = True
        self.listener.close()
        self.thread.join(5)

    def _serve(self):
        self.listener.settimeout(0.2)
        while not self.stopping:
            try:
                connection, _ = self.listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            session = Session()
            self.sessions.put(session)
            with connection:
                try:
                    self._talk(connection, session)
                except OSError:
                    pass  # the program may close first; the transcript tells
            session.closed.set()

    def _talk(self, connection, session):
        connection.settimeout(30)
        reader = connection.makefile("rb")
        connection.sendall(b"220 hi\r\n")
        replies = {"HELO": b"250 hello\r\n", "MAIL": b"250 ok\r\n",
                   "RCPT": b"550 no such user\r\n"}
        for raw in reader:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            session.commands.append(line)
            verb = line.split(" ", 1)[0].upper()
            if verb == "QUIT":
                session.quit_seen.set()
                session.release_quit.wait(QUIT_HOLD)
                connection.sendall(b"221 bye\r\n")
                return
            connection.sendall(replies.get(verb, b"503 bad sequence of commands\r\n"))


def press_test_send(x, main):
    """テスト送信(&E), pressed again until its question box opens: the button is
    disabled for a moment after a send."""
    def opened():
        x.program_ended_check()
        x.keys(main, "alt+e")
        try:
            return wait_until("the box テスト送信", lambda: x.find_window("^テスト送信$", True), 1)
        except Failure:
            return None
    return wait_until("the button テスト送信 to open its box", opened, 15, interval=0)


def test():
    program, helper = sys.argv[1:3]
    server = ScriptedServer(desktop.listen_on_port())
    try:
        with desktop.Desktop(program, helper) as x:
            desktop.write_check_ini(x.folder)
            desktop.write_smtp_ini(x.folder, "127.0.0.1")
            main = x.start_program()

            for round_ in range(1, ROUNDS + 1):
                x.answer_box(press_test_send(x, main))  # Yes is the default
                try:
                    session = server.sessions.get(timeout=20)
                except queue.Empty:
                    raise Failure(f"round {round_}: the program did not connect")
                box = x.wait_window("^ERROR$", 20)
                check(session.quit_seen.wait(5),
                      f"round {round_}: no QUIT after the 550; the server got "
                      f"{session.commands}")
                session.release_quit.set()
                check(session.closed.wait(5), f"round {round_}: the server did not close")
                time.sleep(BOX_OPEN_AFTER_CLOSE)
                check(x.is_viewable(box), f"round {round_}: the box closed by itself")
                x.answer_box(box)
                x.assert_alive_for(0.3, f"in round {round_} when OK closed the box \"ERROR\"")
                check(session.commands == ["HELO monitor.example",
                                           "MAIL FROM: tolvane@monitor.example",
                                           "RCPT TO: admin@example.org", "QUIT"],
                      f"round {round_}: the server got {session.commands}")
                other = x.find_window("^(Error|ERROR)$", visible=True)
                check(other is None, f"round {round_}: another box opened after OK")
                log(f"round {round_}: survived")

            x.quit_by_menu(main)
    finally:
        server.stop()


if __name__ == "__main__":
    desktop.run_main(test)
