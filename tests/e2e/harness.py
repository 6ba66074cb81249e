"""The shared fixtures of the end-to-end runs of the real programs: the Linux
desktop run (tests/x11), the Debian package run (tests/platform/linux) and
the run under Wine. A pytest plugin: `python3 -m pytest -p harness RUN.py`
with this folder on PYTHONPATH (add_e2e_test in tests/CMakeLists.txt).

Fixtures
  app_folder   a scratch folder (pathlib.Path) with a copy of each file given
               by --app-file. A run whose program lives elsewhere (unpacked
               from a package, installed) overrides it by a fixture of this
               name; the settings writers below take any folder.
  launch       launch(command, cwd=None, env=None) -> Program: the process,
               its standard error kept in a file (journal()), wait_for(...)
               that fails at once when it ends, end() that asks it to end;
               whatever still runs when the test ends is ended.
  desktop      a Desktop: Xvfb on a free display and its environment (env),
               with the window helpers, all through xdotool and xwininfo, so
               that they serve Wine's windows as well: find_window,
               wait_window, wait_gone, is_viewable, keys, write (text),
               click, menu, answer_box. Keys go to the focused window, or
               with keys_to_window set to the window itself (Wine has no
               window manager to give the focus).
  smtp_sink    smtp_sink(address="127.0.0.1", port=0, serving=True, **smtp)
               -> Sink: an aiosmtpd server in this process on a port of its
               own (skips the test when the address cannot be had). Until
               serve() the port is bound and refuses connections. Each mail
               taken is a record in `messages` (helo, mail_from, rcpt_tos,
               data: the bytes as sent, authenticated); `hold`, a predicate
               on those bytes, leaves a mail unanswered (in `held`) as a
               server that hangs would. **smtp goes to aiosmtpd's SMTP
               (tls_context, require_starttls, authenticator, ...).

Settings files: write_check_ini, write_smtp_ini, write_sendtime_ini (any
code page). schedule_send() writes sendtime.ini for the minute that begins
next, once the program is up: its scheduler reads the changed file at its
next tick, and as ticks come 59.9 s apart one falls into every minute after
its start, so the report goes within that minute, and no program has to be
started again for a later one.

A run whose every case is skipped exits with 77, which CTest counts as
skipped.
"""
import asyncio
import datetime
import os
import re
import shutil
import signal
import socket
import subprocess
import time
import types

import pytest
from aiosmtpd.controller import Controller
from pyvirtualdisplay import Display

SKIP_CODE = 77


def log(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", flush=True)


def wait_until(what, condition, timeout, interval=0.1, program=None):
    """Polls condition() until it gives something true, and returns that.
    Fails naming `what` when `timeout` seconds pass first, and at once when
    `program` (a Program) ends."""
    deadline = time.monotonic() + timeout
    while True:
        if program:
            program.check_running(f"while waiting for {what}")
        if value := condition():
            return value
        if time.monotonic() >= deadline:
            pytest.fail(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


# --- settings files ---------------------------------------------------------

def number_line(value):
    return f"-{-value} " if value < 0 else f" {value} "


def write_lines(folder, name, lines, encoding="utf-8"):
    """A settings file: CR LF after each line, in the system's code page."""
    with open(os.path.join(folder, name), "w", encoding=encoding, newline="") as out:
        out.write("".join(line + "\r\n" for line in lines))


def write_check_ini(folder, drive_c_limit=0):
    """Drive C: (the root folder) with its limit in MB, and the memory (the
    swap limit -1: a machine without swap passes); no services."""
    write_lines(folder, "check.ini", [number_line(v) for v in
                                      (1, 0, 0, 2, 0, 0, drive_c_limit, 0, 0, 1, 0, -1)])


def write_smtp_ini(folder, address, port, subject="Status report"):
    """To `address`:`port` in clear, with the details, failed reports kept."""
    write_lines(folder, "smtp.ini", [address, "tolvane@monitor.example", "admin@example.org",
                                     subject, number_line(1), number_line(1), number_line(port),
                                     number_line(0), "", number_line(1)])


def write_sendtime_ini(folder, send_at=None, alert_minutes=0, encoding="utf-8"):
    """A send at the minute `send_at` (a datetime), or none."""
    hours = [number_line(int(send_at is not None and h == send_at.hour)) for h in range(24)]
    write_lines(folder, "sendtime.ini",
                hours + [f"{send_at.minute if send_at else 0:02d}", number_line(alert_minutes)],
                encoding)


def schedule_send(folder, alert_minutes=0, encoding="utf-8"):
    """Schedules a send for the minute that begins next; returns how many
    seconds its mail may take (the minute's tick comes within it)."""
    now = datetime.datetime.now()
    send_at = (now + datetime.timedelta(minutes=1)).replace(second=0, microsecond=0)
    write_sendtime_ini(folder, send_at, alert_minutes, encoding)
    log(f"a send scheduled at {send_at:%H:%M}")
    return (send_at - now).total_seconds() + 80


# --- programs ---------------------------------------------------------------

def describe_exit(code):
    return f"signal {signal.Signals(-code).name}" if code < 0 else f"exit status {code}"


class Program:
    def __init__(self, command, stderr_path, cwd=None, env=None):
        self.command = command
        self.stderr_path = stderr_path
        with open(stderr_path, "wb") as stderr:
            self.process = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                            stdout=subprocess.DEVNULL, stderr=stderr)
        self.pid = self.process.pid

    def journal(self):
        with open(self.stderr_path, encoding="utf-8", errors="replace") as stderr:
            return stderr.read()

    def check_running(self, when="meanwhile"):
        code = self.process.poll()
        if code is not None:
            pytest.fail(f"{os.path.basename(self.command[0])} ended {when} "
                        f"({describe_exit(code)}); its standard error:\n{self.journal()}")

    def wait_for(self, what, condition, timeout):
        return wait_until(what, condition, timeout, program=self)

    def end(self, within=10, signal_number=signal.SIGTERM):
        """Asks the program to end; returns its exit status."""
        if self.process.poll() is None:
            self.process.send_signal(signal_number)
        try:
            return self.process.wait(within)
        except subprocess.TimeoutExpired:
            pytest.fail(f"{self.command[0]} did not end within {within} s of "
                        f"{signal.Signals(signal_number).name}")


@pytest.fixture
def launch(tmp_path):
    started = []

    def start(command, cwd=None, env=None):
        program = Program(command, tmp_path / f"stderr.{len(started) + 1}", cwd, env)
        started.append(program)
        return program

    yield start
    for program in reversed(started):
        stop(program.process)


def stop(process):
    """Ends a process that still runs: SIGTERM, then SIGKILL after 5 s."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def pytest_addoption(parser):
    parser.addoption("--app-file", action="append", default=[],
                     help="a file of the program's folder (app_folder)")


@pytest.fixture
def app_folder(request, tmp_path):
    folder = tmp_path / "app"
    folder.mkdir()
    for path in request.config.getoption("--app-file"):
        shutil.copy2(path, folder)
    return folder


# --- the X desktop -----------------------------------------------------------

class Desktop:
    def __init__(self, display, runtime_folder, keys_to_window=False):
        self.display = display
        self.keys_to_window = keys_to_window
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "DBUS_", "WAYLAND_", "XDG_SESSION"))}
        env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb",
                   # No session bus: Qt embeds its tray icon in the X
                   # notification area.
                   DBUS_SESSION_BUS_ADDRESS="disabled:")
        env.setdefault("LANG", "C.UTF-8")
        env["XDG_RUNTIME_DIR"] = str(runtime_folder)
        self.env = env

    def x(self, command, ok_codes=(0,), timeout=10):
        """Runs an X tool on this display; returns what it prints."""
        result = subprocess.run(command, env=self.env, capture_output=True, text=True,
                                timeout=timeout)
        assert result.returncode in ok_codes, \
            f"{' '.join(command)} failed ({result.returncode}): {result.stderr.strip()}"
        return result.stdout

    def windows(self, *criteria):
        return self.x(["xdotool", "search", *criteria], ok_codes=(0, 1)).split()

    def find_window(self, title_pattern, program=None):
        """A visible window whose title matches (the program's, when given),
        the newest; or None."""
        found = self.windows("--all", "--onlyvisible",
                             *(["--pid", str(program.pid)] if program else []),
                             "--name", title_pattern)
        return found[-1] if found else None

    def wait_window(self, title_pattern, timeout, program=None):
        """Waits for find_window; fails at once when `program` ends."""
        return wait_until(f"a window titled {title_pattern}",
                          lambda: self.find_window(title_pattern, program), timeout,
                          program=program)

    def is_viewable(self, window):
        out = self.x(["xwininfo", "-id", window], ok_codes=(0, 1))
        return re.search(r"Map State:\s*IsViewable", out) is not None

    def wait_gone(self, window, timeout=10):
        wait_until(f"window {window} to close", lambda: not self.is_viewable(window), timeout)

    def _aim(self, window):
        """The xdotool options that send input to `window`."""
        if self.keys_to_window:
            return ["--window", window]
        self.x(["xdotool", "windowfocus", "--sync", window])
        return ["--clearmodifiers"]

    def keys(self, window, *keys):
        """Real key events into `window`."""
        self.x(["xdotool", "key", *self._aim(window), *keys])

    def write(self, window, text):
        """Types `text` into the widget of `window` that has the focus."""
        self.x(["xdotool", "type", *self._aim(window), text])

    def answer_box(self, box, key="Return"):
        """Presses `key` on a box that has opened, and waits until it closes."""
        self.keys(box, key)
        self.wait_gone(box)

    def click(self, window):
        """The left button a few pixels inside `window`."""
        self.x(["xdotool", "mousemove", "--sync", "--window", window, "4", "4", "click", "1"])

    def menu(self, main_window, program, menu_key, item_key):
        """Opens a menu of the main window by its Alt key and picks an item
        (the open menu takes the key)."""
        def mine():
            return set(self.windows("--all", "--onlyvisible", "--pid", str(program.pid)))

        before = mine()
        self.keys(main_window, menu_key)
        program.wait_for(f"the menu of {menu_key}", lambda: mine() - before, 10)
        self.x(["xdotool", "key", item_key])


def start_xvfb():
    """Xvfb on a free display, started (pyvirtualdisplay's Display)."""
    missing = [tool for tool in ("Xvfb", "xdotool", "xwininfo") if not shutil.which(tool)]
    if missing:
        pytest.fail(f"missing {', '.join(missing)}: scripts/setup.sh installs them")
    xvfb = Display(size=(1024, 768), color_depth=24, extra_args=["-noreset"],
                   manage_global_env=False).start()
    log(f"Xvfb on {xvfb.new_display_var}")
    return xvfb


@pytest.fixture
def desktop(tmp_path):
    xvfb = start_xvfb()
    runtime = tmp_path / "runtime"
    runtime.mkdir(mode=0o700)
    yield Desktop(xvfb.new_display_var, runtime)
    xvfb.stop()


# --- the SMTP server ---------------------------------------------------------

class Sink:
    def __init__(self, address, port, **smtp):
        self.messages = []
        self.held = []
        self.hold = None
        self.smtp = dict(server_hostname="sink.test", **smtp)
        self.controller = None
        # Bound but not listening until serve(): a connection is refused.
        self.socket = socket.socket()
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            self.socket.bind((address, port))
        except OSError as error:
            self.socket.close()
            pytest.skip(f"cannot have port {port} of {address} ({error.strerror})")
        self.address, self.port = self.socket.getsockname()

    async def handle_DATA(self, server, session, envelope):
        data = envelope.original_content
        if self.hold and self.hold(data):
            self.held.append(data)
            await asyncio.Event().wait()  # until the client goes
        self.messages.append(types.SimpleNamespace(
            helo=session.host_name, mail_from=envelope.mail_from, rcpt_tos=envelope.rcpt_tos,
            data=data, authenticated=session.authenticated))
        return "250 OK"

    def serve(self):
        sink = self

        class OnSocket(Controller):
            def _create_server(self):
                return self.loop.create_server(self._factory_invoker, sock=sink.socket)

        self.controller = OnSocket(self, hostname=self.address, port=self.port, **self.smtp)
        self.controller.start()
        return self

    def wait(self, count, timeout, program=None):
        """Waits until `count` mails have come; returns the last of them."""
        wait_until(f"mail {count} at the SMTP server", lambda: len(self.messages) >= count,
                   timeout, program=program)
        return self.messages[count - 1]

    def close(self):
        if self.controller:
            self.controller.stop()
        self.socket.close()


@pytest.fixture
def smtp_sink():
    sinks = []

    def make(address="127.0.0.1", port=0, serving=True, **smtp):
        sink = Sink(address, port, **smtp)
        sinks.append(sink)
        return sink.serve() if serving else sink

    yield make
    for sink in sinks:
        sink.close()


# --- the run's outcome -------------------------------------------------------

_outcomes = set()


def pytest_configure(config):
    # CTest's time-out ends a run with SIGTERM: the fixtures still end what
    # they started.
    signal.signal(signal.SIGTERM, lambda *_: pytest.exit("terminated", 1))


def pytest_runtest_logreport(report):
    if report.when == "call" or report.outcome != "passed":
        _outcomes.add(report.outcome)


def pytest_sessionfinish(session, exitstatus):
    if exitstatus == 0 and _outcomes == {"skipped"}:
        session.exitstatus = SKIP_CODE
