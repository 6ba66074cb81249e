"""A virtual X desktop for end-to-end runs of the real program, on Linux and
under Wine (tests/windows/windows_e2e.py): Xvfb on a free display, optionally
trayer as the notification area, and the program copied into a scratch
application folder. Windows are found and driven with xdotool and xwininfo,
as an operator would: keys go to the window that has the focus.

Every wait is bounded; everything started is ended when the Desktop's `with`
block is left, however it is left, the last started first.
"""
import ctypes
import ctypes.util
import datetime
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# CTest counts a test that exits with this code as skipped (SKIP_RETURN_CODE).
SKIP_CODE = 77


class Skip(Exception):
    """The machine cannot run the test (not a fault of the program)."""


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def log(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", flush=True)


def wait_until(what, condition, timeout, interval=0.1):
    """Polls condition() until it returns something true; returns that value.
    Raises Failure naming `what` when `timeout` seconds pass first."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def minute_after(seconds):
    """The start of the first minute that begins more than `seconds` from now."""
    later = datetime.datetime.now() + datetime.timedelta(seconds=seconds)
    return later.replace(second=0, microsecond=0) + datetime.timedelta(minutes=1)


def run_main(test):
    """Runs test() and turns its outcome into the exit code CTest reads."""
    # A termination (CTest's time-out) unwinds the stack, so that everything
    # started is ended on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    try:
        test()
    except Skip as reason:
        log(f"SKIPPED: {reason}")
        sys.exit(SKIP_CODE)
    except Failure as fault:
        log(f"FAILED: {fault}")
        sys.exit(1)
    log("PASSED")


# --- settings files -------------------------------------------------------

def number_line(value):
    return f"-{-value} " if value < 0 else f" {value} "


def write_lines(folder, name, lines, encoding="utf-8"):
    """A settings file: CR LF after each line, in the system's code page."""
    with open(os.path.join(folder, name), "w", encoding=encoding, newline="") as out:
        out.write("".join(line + "\r\n" for line in lines))


def write_check_ini(folder):
    # Drive C: (the root folder) and the memory, limits 0, no service: the
    # report asks the system for each.
    write_lines(folder, "check.ini", [number_line(v) for v in (1, 0, 0, 2, 0, 0, 0, 0, 0, 1, 0, 0)])


def write_smtp_ini(folder, port):
    """To 127.0.0.1:`port`, in clear, with failed scheduled reports kept."""
    write_lines(folder, "smtp.ini", ["127.0.0.1", "tolvane@monitor.example", "admin@example.org",
                                     "Status report", number_line(0), number_line(0),
                                     number_line(port), number_line(0), "", number_line(1)])


def write_sendtime_ini(folder, hours, minute, encoding="utf-8"):
    write_lines(folder, "sendtime.ini",
                [number_line(1 if h in hours else 0) for h in range(24)] + [f"{minute:02d}"],
                encoding)


# --- the desktop ----------------------------------------------------------

# Looked up before any fork: a child then only calls it.
_prctl = ctypes.CDLL(None, use_errno=True).prctl
PR_SET_PDEATHSIG = 1


def _end_with_parent():
    """In a child before exec: the kernel ends it when the test process dies,
    even by SIGKILL, so no Xvfb or program is left behind."""
    _prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def spawn(command, **options):
    return subprocess.Popen(command, preexec_fn=_end_with_parent, **options)


def require_tools(*names):
    missing = [n for n in names if shutil.which(n) is None]
    if missing:
        raise Failure(f"missing {', '.join(missing)}: scripts/setup.sh installs them")


def start_xvfb():
    """Starts Xvfb on a free display; returns the process and the display name."""
    # Xvfb picks the display and writes its number, with a line end, once it
    # accepts clients; an empty read means that it died.
    xvfb = spawn(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                  "-noreset"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    ready, _, _ = select.select([xvfb.stdout], [], [], 20)
    number = xvfb.stdout.readline().strip() if ready else b""
    if not number:
        stop(xvfb)
        raise Failure("Xvfb did not tell its display within 20 s")
    return xvfb, ":" + number.decode()


class Desktop:
    """The program and its helper are copied into a scratch folder, `folder`;
    without them only the X server (and trayer) are started."""

    def __init__(self, program=None, helper=None, tray=False):
        self.sources = [path for path in (program, helper) if path]
        self.want_tray = tray
        self.ends = []               # what undoes each start, run last first
        self.folder = None
        self.display = None
        self.program = None
        self.env = None

    # -- set-up and clean-up --

    def __enter__(self):
        require_tools("Xvfb", "xdotool", "xwininfo", *(["trayer"] if self.want_tray else []))
        try:
            self._start_xvfb()
            if self.want_tray:
                self._start_trayer()
            if self.sources:
                self.folder = self.scratch_folder("tolvane-x11-")
                for source in self.sources:
                    shutil.copy2(source, self.folder)
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        while self.ends:
            self.ends.pop()()
        return False

    def scratch_folder(self, prefix):
        folder = tempfile.mkdtemp(prefix=prefix)
        self.ends.append(lambda: shutil.rmtree(folder, ignore_errors=True))
        return folder

    def spawn(self, command, **options):
        """Starts a process that is ended with the desktop."""
        process = spawn(command, **options)
        self.ends.append(lambda: stop(process))
        return process

    def _start_xvfb(self):
        xvfb, self.display = start_xvfb()
        self.ends.append(lambda: stop(xvfb))
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "DBUS_", "WAYLAND_", "XDG_SESSION"))}
        env["DISPLAY"] = self.display
        env["QT_QPA_PLATFORM"] = "xcb"
        # No session bus: Qt then embeds its tray icon in the X notification area.
        env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:"
        env.setdefault("LANG", "C.UTF-8")
        env["XDG_RUNTIME_DIR"] = self.scratch_folder("tolvane-x11-runtime-")
        self.env = env
        log(f"Xvfb on {self.display}")

    def _start_trayer(self):
        trayer = self.spawn(["trayer", "--edge", "top", "--align", "right",
                             "--widthtype", "pixel", "--width", "200",
                             "--heighttype", "pixel", "--height", "32",
                             "--SetDockType", "true", "--expand", "false"],
                            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until("trayer to own the notification area selection",
                   lambda: trayer.poll() is not None or self.tray_owner(), 15)
        check(trayer.poll() is None, f"trayer ended with {trayer.returncode}")
        self.trayer = trayer
        log("trayer owns _NET_SYSTEM_TRAY_S0")

    def tray_owner(self):
        """The window that owns the notification area selection, or 0."""
        return selection_owner(self.display, b"_NET_SYSTEM_TRAY_S0")

    def start_program(self):
        # Standard error goes to a file: a pipe nobody reads could fill and
        # stop the program.
        self.stderr_path = os.path.join(self.scratch_folder("tolvane-x11-err-"), "stderr")
        with open(self.stderr_path, "wb") as stderr:
            self.program = self.spawn([os.path.join(self.folder, "tolvane")], cwd=self.folder,
                                      env=self.env, stdout=subprocess.DEVNULL, stderr=stderr)
        window = wait_until("the main window", lambda: self.program_ended_check() or
                            self.find_window("^Tolvane$", visible=True), 20)
        log(f"main window {window}")
        return window

    def program_ended_check(self):
        if self.program and self.program.poll() is not None:
            raise Failure(f"the program ended ({describe_exit(self.program.returncode)})"
                          f"{self.program_stderr()}")
        return None

    def program_stderr(self):
        if self.program.poll() is None:
            return ""
        with open(self.stderr_path, encoding="utf-8", errors="replace") as stderr:
            text = stderr.read().strip()
        return f"; its standard error:\n{text}" if text else ""

    # -- X queries --

    def x(self, command, ok_codes=(0,), timeout=10):
        try:
            result = subprocess.run(command, env=self.env, capture_output=True, text=True,
                                    timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"{' '.join(command)} did not finish in {timeout} s")
        check(result.returncode in ok_codes,
              f"{' '.join(command)} failed ({result.returncode}): {result.stderr.strip()}")
        return result.stdout

    def find_window(self, title_pattern, visible=False):
        """A window whose title matches, or None: the program's when it was
        started here, else any (the newest)."""
        command = ["xdotool", "search", "--all"]
        if visible:
            command.append("--onlyvisible")
        if self.program:
            command += ["--pid", str(self.program.pid)]
        windows = self.x(command + ["--name", title_pattern], ok_codes=(0, 1)).split()
        return windows[-1] if windows else None

    def wait_window(self, title_pattern, timeout, interval=0.1):
        """Waits for a visible window; fails at once if the program ends."""
        return wait_until(f"a window titled {title_pattern}",
                          lambda: self.program_ended_check() or
                          self.find_window(title_pattern, visible=True), timeout, interval)

    def wait_window_gone(self, window, timeout):
        wait_until(f"window {window} to close",
                   lambda: self.program.poll() is not None or not self.is_viewable(window),
                   timeout)

    def is_viewable(self, window):
        out = self.x(["xwininfo", "-id", window], ok_codes=(0, 1))
        return re.search(r"Map State:\s*IsViewable", out) is not None

    def children(self, window):
        """Ids of all windows below `window`, as xwininfo lists them."""
        out = self.x(["xwininfo", "-id", window, "-tree"], ok_codes=(0, 1))
        return {hex(int(m, 16)) for m in re.findall(r"^\s+(0x[0-9a-f]+)", out, re.M)}

    def tray_icon_window(self):
        """The program's window that sits inside trayer, or None."""
        inside = set()
        for window in self.x(["xdotool", "search", "--class", "trayer"], ok_codes=(0, 1)).split():
            inside |= self.children(hex(int(window)))
        mine = self.x(["xdotool", "search", "--pid", str(self.program.pid)], ok_codes=(0, 1))
        for window in mine.split():
            if hex(int(window)) in inside and self.is_viewable(window):
                return window
        return None

    # -- input --

    def focus(self, window):
        self.x(["xdotool", "windowfocus", "--sync", window])

    def keys(self, window, *keys):
        """Gives `window` the focus and types the keys (real key events)."""
        self.focus(window)
        self.x(["xdotool", "key", "--clearmodifiers", *keys])

    def answer_box(self, box, key="Return"):
        """Presses `key` on a box that has just opened, and waits until it closes."""
        self.keys(box, key)
        self.wait_window_gone(box, 10)

    def click(self, window):
        """A click with the left button a few pixels inside `window`."""
        self.x(["xdotool", "mousemove", "--sync", "--window", window, "4", "4", "click", "1"])

    # -- the program's end --

    def assert_alive_for(self, seconds, after):
        """Fails when the program ends within `seconds`."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if self.program.poll() is not None:
                raise Failure(f"the program ended {after} "
                              f"({describe_exit(self.program.returncode)}){self.program_stderr()}")
            time.sleep(0.05)

    def visible_windows(self):
        return set(self.x(["xdotool", "search", "--all", "--onlyvisible", "--pid",
                           str(self.program.pid)], ok_codes=(0, 1)).split())

    def menu(self, main_window, menu_key, item_key):
        """Opens a menu of the main window by its Alt key and picks an item."""
        before = self.visible_windows()
        self.keys(main_window, menu_key)
        wait_until(f"the menu of {menu_key} to open",
                   lambda: self.program_ended_check() or self.visible_windows() - before, 10)
        self.x(["xdotool", "key", item_key])

    def quit_by_menu(self, main_window):
        """ファイル(&F) -> 終了(&X); the program must end with status 0."""
        self.menu(main_window, "alt+f", "x")
        try:
            code = self.program.wait(10)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end within 10 s of ファイル -> 終了")
        check(code == 0, f"the program ended with {describe_exit(code)} after 終了")


def selection_owner(display, selection):
    """The owner of an X selection (0 when none), asked through Xlib itself:
    no command-line tool tells it."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XGetSelectionOwner.restype = ctypes.c_ulong
    x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    connection = x11.XOpenDisplay(display.encode())
    check(connection, f"cannot open display {display}")
    try:
        return x11.XGetSelectionOwner(connection, x11.XInternAtom(connection, selection, 0))
    finally:
        x11.XCloseDisplay(connection)


def describe_exit(code):
    if code is not None and code < 0:
        return f"signal {signal.Signals(-code).name}"
    return f"exit status {code}"


def stop(process):
    if process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(5)
