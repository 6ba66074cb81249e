"""The names that the Wine run (tests/windows/windows_e2e.py) takes from the
shared end-to-end harness (tests/e2e/harness.py) while it runs without pytest:
a Desktop that is a `with` block, ending everything started in it when left
(the last started first), and run_main, which turns the outcome into the
exit code that CTest reads.
"""
import datetime
import os
import shutil
import signal
import subprocess
import sys
import tempfile

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402
from harness import log, number_line, stop, wait_until, write_lines  # noqa: E402,F401

SKIP_CODE = harness.SKIP_CODE
Failure = pytest.fail.Exception


class Skip(Exception):
    """The machine cannot run the test (not a fault of the program)."""


def check(condition, message):
    if not condition:
        pytest.fail(message)


def run_main(test):
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


def minute_after(seconds):
    """The start of the first minute that begins more than `seconds` from now."""
    later = datetime.datetime.now() + datetime.timedelta(seconds=seconds)
    return later.replace(second=0, microsecond=0) + datetime.timedelta(minutes=1)


def write_sendtime_ini(folder, hours, minute, encoding="utf-8"):
    write_lines(folder, "sendtime.ini",
                [number_line(int(h in hours)) for h in range(24)] + [f"{minute:02d}"], encoding)


class Desktop(harness.Desktop):
    def __init__(self):
        self.ends = []  # what undoes each start, run last first

    def __enter__(self):
        try:
            runtime = tempfile.mkdtemp(prefix="tolvane-x11-runtime-")
            self.ends.append(lambda: shutil.rmtree(runtime, ignore_errors=True))
            xvfb = harness.start_xvfb()
            self.ends.append(xvfb.stop)
            super().__init__(xvfb.new_display_var, runtime)
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        while self.ends:
            self.ends.pop()()
        return False

    def spawn(self, command, **options):
        """Starts a process that is ended with the desktop."""
        process = subprocess.Popen(command, **options)
        self.ends.append(lambda: stop(process))
        return process

    def find_window(self, title_pattern, visible=True):
        return super().find_window(title_pattern)

    def wait_window(self, title_pattern, timeout, interval=0.1):
        return wait_until(f"a window titled {title_pattern}",
                          lambda: self.find_window(title_pattern), timeout, interval)
