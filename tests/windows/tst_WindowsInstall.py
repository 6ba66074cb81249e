"""The Windows program installed and run for real under Wine, as on a
Japanese Windows (code page 932: settings files, the fixture net.exe's
listing and the mail in Shift-JIS), on an X desktop of its own: a per-user
installation (test send, tolvane-check, STARTTLS with a login typed into the
dialog, upgrade, start at log-on, uninstall), then a service installation
(the scheduled report with no window, kept at a stop and sent after a start,
the window beside it, the event log, upgrade, uninstall). Both install into
folders with Japanese names. The program dials port 25 of 127.0.0.93; the run
is skipped when it is taken.
"""
import datetime
import os
import re
import shutil
import ssl
import subprocess
import time

import pytest
from aiosmtpd.smtp import AuthResult

from harness import log, number_line, stop, wait_until, write_lines, write_sendtime_ini

CODEC = "cp932"
INSTALLER = os.environ.get("TOLVANE_INSTALLER", "")
PROGRAM_DIR = os.environ.get("TOLVANE_PROGRAM_DIR", "")
EMULATOR = os.environ.get("TOLVANE_EMULATOR", "")
PREFIX = os.path.abspath(os.environ.get("TOLVANE_DESKTOP_PREFIX", "wineprefix-desktop"))
NET = os.environ.get("TOLVANE_NET", "")
# A loopback address of its own, so that other tests that serve on port 25 of
# another loopback address at the same time do not stand in the way.
SMTP_ADDRESS = "127.0.0.93"
SERVICES = ["Print Spooler", "タスク スケジューラ", "Windows Update", "DHCP Client"]
# Two found, one not: the NG details list each.
WATCHED = ["   タスク スケジューラ", "   Print Spooler", "   イベント ログ"]
SMTP = [SMTP_ADDRESS, "tolvane@monitor.example", "admin@example.org", "サーバー状態報告"]
# The details' layout; their figures are checked against the system's in
# tst_WindowsServices.
DETAILS = re.compile(r"\r\n\[ディスク容量\]\r\nC:ドライブ --- \d+ MBの空き\r\n"
                     r"C:ドライブ --- \d+ MBの空き\r\n\r\n\[メモリ情報\]\r\n"
                     r"物理メモリ使用率 --- \d+ % 使用中\r\n物理メモリ空き   --- \d+ MBの空き\r\n"
                     r"スワップメモリ空き --- \d+ MBの空き\r\n")
SERVICE = "Tolvane"


def casefold_path(folder, *names):
    """The path below `folder` that `names` mean on Windows, where case does not count."""
    for name in names:
        entries = os.listdir(folder) if os.path.isdir(folder) else []
        folder = os.path.join(folder, next((e for e in entries if e.lower() == name.lower()), name))
    return folder


def installation():
    """The installer's default folder, its menu folder and its Startup shortcut
    in the prefix; `users` is missing before the first start."""
    users = os.path.join(PREFIX, "drive_c", "users")
    user = os.path.join(users, os.environ.get("USER") or "root")
    if not os.path.isdir(user) and os.path.isdir(users):
        candidates = [d for d in os.listdir(users) if d not in ("Public", "Default")]
        assert len(candidates) == 1, f"which user folder of Wine? {candidates}"
        user = os.path.join(users, candidates[0])
    programs = casefold_path(user, "AppData", "Roaming", "Microsoft", "Windows",
                             "Start Menu", "Programs")
    return (os.path.join(user, "AppData", "Local", "Programs", "Tolvane"),
            os.path.join(programs, "Tolvane"), casefold_path(programs, "Startup", "Tolvane.lnk"))


def files_under(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, files in os.walk(folder) for f in files)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def write_settings(folder, send_at=None):
    """The settings files, net.exe and its listing, as an operator's Windows has them."""
    # Slot 1 on C: with a limit that every drive passes, slot 2 on C: with one
    # that none does (its NG line carries the figure); slot 3 off; memory on.
    check_lines = [number_line(v) for v in (1, 1, 0, 2, 2, 25, 1, 2147483647, 0, 1, 1, 32767)]
    write_lines(folder, "check.ini", check_lines + WATCHED, CODEC)
    write_lines(folder, "smtp.ini", SMTP + [number_line(1), number_line(1)], CODEC)
    write_sendtime_ini(folder, send_at, encoding=CODEC)
    shutil.copy(NET, os.path.join(folder, "net.exe"))
    write_lines(folder, "net-start.txt", ["次のサービスが開始されています:", ""] +
                ["   " + name for name in SERVICES] + ["", "コマンドは正常に終了しました。"],
                CODEC)


def check_report(message, subject=SMTP[3]):
    """The envelope and the text in Shift-JIS with the services that net.exe
    listed and the details; returns the report's body."""
    assert (message.helo, message.mail_from, message.rcpt_tos) == \
        ("monitor.example", SMTP[1], [SMTP[2]])
    text = message.data.decode(CODEC)
    parts = ["From: %s\r\nTo: %s\r\nSubject: %s\r\n" % (SMTP[1], SMTP[2], subject),
             "\r\n[サービス動作チェック]\r\n" + "".join(
                 name + (" --- OK\r\n" if name[3:] in SERVICES else " --- NG\r\n")
                 for name in WATCHED),
             "\r\n[動作中のサービス]\r\n" + "".join(f"   {s}\r\n" for s in SERVICES)]
    for part in parts:
        assert part in text, f"the report lacks {part!r}:\n{text}"
    assert DETAILS.search(text), f"the report's details:\n{text}"
    return text.split("\r\n\r\n", 1)[1]


def status_file(data):
    with open(os.path.join(data, "tolvane.status"), encoding=CODEC, newline="") as status:
        return status.read().split("\r\n")[:5]


class Wine:
    """The desktop prefix's Windows programs on the test's display."""

    def __init__(self, desktop, launch):
        self.desktop = desktop
        self.launch = launch
        self.env = dict(os.environ, TOLVANE_WINEPREFIX=PREFIX,
                        TOLVANE_WINE_DISPLAY=desktop.display)
        # The program must find everything it loads in its own folder.
        for name in ("TOLVANE_WINE_DLL_DIRS", "WINEPATH", "QT_QPA_PLATFORM"):
            self.env.pop(name, None)

    def server(self, option):
        """wineserver -k (ends the prefix's server, if one runs) or -p (starts
        one that stays)."""
        server = "/usr/lib/wine/wineserver64"
        if not os.access(server, os.X_OK):
            server = shutil.which("wineserver") or "wineserver"
        subprocess.run([server, option], env=dict(os.environ, WINEPREFIX=PREFIX),
                       check=option != "-k")

    def run(self, *arguments, capture=True, timeout=300, env=None, stderr=None):
        """Runs a Windows program to its end. Its output is read only with
        `capture`: what a program leaves running in the background (as
        wineboot and an installer do) holds the pipes open for as long as it
        runs."""
        output = subprocess.PIPE if capture else subprocess.DEVNULL
        return subprocess.run([EMULATOR, *arguments], env=env or self.env,
                              stdin=subprocess.DEVNULL, stdout=output,
                              stderr=stderr or output, timeout=timeout)

    def start(self, *arguments):
        return self.launch([EMULATOR, *arguments], env=self.env)

    def boot(self, persistent=False, stderr=None, env=None):
        """A new session: the prefix's first Wine server of it starts under
        the test's display, or later programs have no window driver. A
        persistent one stays until the test ends, and the services with it."""
        self.server("-k")
        if persistent:
            self.server("-p")
        booted = self.run("wineboot", *(() if persistent else ("--init",)), capture=False,
                          timeout=240, env=env, stderr=stderr)
        assert booted.returncode == 0, "wineboot failed"

    def install(self, *arguments):
        installed = self.run(INSTALLER, "/S", *arguments, capture=False, timeout=240)
        assert installed.returncode == 0, "the installer failed"

    def uninstall(self, folder):
        # The uninstaller copies itself aside and returns at once.
        removed = self.run(os.path.join(folder, "uninstall.exe"), "/S", capture=False,
                           timeout=120)
        assert removed.returncode == 0, "the uninstaller failed"
        wait_until("the uninstaller to finish",
                   lambda: not os.path.exists(os.path.join(folder, "uninstall.exe")), 60, 0.5)

    def main_window(self, timeout):
        return self.desktop.wait_window("^Tolvane$", timeout)

    def quit_program(self):
        """Closes the main window as its close box does (Alt+F4): the program ends."""
        self.desktop.keys(self.main_window(10), "alt+F4")
        wait_until("the program to end on Alt+F4",
                   lambda: not self.desktop.find_window("^Tolvane$"), 30, 0.5)

    def keys_to_new_window(self, window, *keys):
        # Wine drops the keys that reach a window in its first moments, and it
        # tells nothing of when the window takes them.
        time.sleep(1)
        self.desktop.keys(window, *keys)

    def test_send(self, main):
        """The operator's test send: Alt+E on the main window, Return on the question."""
        self.keys_to_new_window(main, "alt+e")
        self.desktop.answer_box(self.desktop.wait_window("^テスト送信$", 30), "Return")


@pytest.fixture
def wine(desktop, launch):
    desktop.keys_to_window = True
    wine = Wine(desktop, launch)
    yield wine
    # Before the display ends; the services end with it.
    wine.server("-k")


def login_over_starttls(wine, tmp_path, smtp_sink, folder):
    """The provider's submission port: STARTTLS proposed in place of 25, a
    login and the fingerprint of the server's own certificate, typed into the
    mail settings dialog as an operator would."""
    relay = str(tmp_path / "relay")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                    "/CN=relay", "-keyout", relay + ".key", "-out", relay + ".pem"],
                   check=True, capture_output=True)
    fingerprint = subprocess.run(
        ["openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", relay + ".pem"],
        check=True, capture_output=True, text=True).stdout.strip().split("=", 1)[1]
    # Typed without shifted keys (colons and capitals), which xdotool gets
    # wrong for Wine's windows; the dialog takes the digits alone, in any case.
    fingerprint = fingerprint.replace(":", "").lower()
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(relay + ".pem", relay + ".key")

    def authenticator(server, session, envelope, mechanism, data):
        return AuthResult(success=(data.login, data.password) == (b"tolvane", b"pass 1 word"),
                          handled=False)

    sink = smtp_sink(SMTP_ADDRESS, 587, tls_context=context, require_starttls=True,
                     authenticator=authenticator, auth_required=True, auth_require_tls=True)
    desktop = wine.desktop
    desktop.keys(wine.main_window(30), "alt+m")
    dialog = desktop.wait_window("^メール送信設定$", 30)
    # From the server box back along the tab order to the port: the retry
    # box, the fingerprint, the login box (name and password are off), the
    # security list; then the security (its port proposed), the login.
    wine.keys_to_new_window(dialog, *["shift+Tab"] * 5, "Tab", "Down", "Tab", "space", "Tab")
    for text in ("tolvane", "pass 1 word", fingerprint):
        desktop.write(dialog, text)
        desktop.keys(dialog, "Tab")
    desktop.answer_box(dialog, "Return")
    with open(os.path.join(folder, "smtp.ini"), encoding=CODEC, newline="") as smtp:
        lines = smtp.read().split("\r\n")
    assert lines[6:10] == [" 587 ", " 1 ", fingerprint, " 0 "], "smtp.ini lines 7 to 10"
    with open(os.path.join(folder, "smtpauth.ini"), "rb") as login:
        assert b"pass 1 word" not in login.read(), "the password stands in clear"
    wine.test_send(wine.main_window(10))
    message = sink.wait(1, 60)
    assert message.authenticated, "no login before the mail"
    # The dialog showed no subject: the stored one has characters that its
    # filter refuses, and it had accepted none since the start.
    check_report(message, subject="")
    log("mailed over STARTTLS with a login")


def check_program(wine, folder, body):
    """tolvane-check.exe from the program's folder, its output a pipe (the
    ANSI code page): CRITICAL for the service that does not run, the body of
    the report as mailed (figures aside), and the metrics file in UTF-8
    without a BOM or a CR."""
    def run(*arguments):
        done = wine.run(os.path.join(folder, "tolvane-check.exe"), *arguments, timeout=120)
        assert done.returncode == 2, done.stdout
        return done.stdout.decode(CODEC)

    line = run("--prom", windows_path(folder) + "\\tolvane.prom")
    assert re.fullmatch(r"TOLVANE CRITICAL - .*service 'イベント ログ' not running \| .* "
                        r"services_not_running=1;;0;0;3\r\n", line), line
    digits = re.compile(r"\d+")
    report = run("--report")
    assert digits.sub("#", report + "\r\n") == digits.sub("#", body)
    with open(os.path.join(folder, "tolvane.prom"), "rb") as metrics:
        data = metrics.read()
    assert data.startswith(b"# HELP ") and b"\r" not in data, data[:200]
    for sample in ("tolvane_check_success 1", 'tolvane_service_running{service="イベント ログ"} 0'):
        assert f"\n{sample}\n" in data.decode("utf-8"), f"the metrics file lacks {sample}"
    assert not [n for n in os.listdir(folder) if n.startswith("tolvane-check-")], \
        "a capture was left"


def test_install_mail_upgrade_uninstall(wine, smtp_sink, tmp_path):
    sink = smtp_sink(SMTP_ADDRESS, 25)
    # What an earlier run left: the settings files stay on uninstalling.
    default, menu, startup = installation()
    shutil.rmtree(default, ignore_errors=True)
    shutil.rmtree(menu, ignore_errors=True)
    if os.path.exists(startup):
        os.remove(startup)
    wine.boot()

    # A folder name in Japanese, as operators' folders may have.
    folder = str(tmp_path / "監視" / "Tolvane")
    wine.install("/D=" + windows_path(folder))
    default, menu, startup = installation()
    shipped = files_under(PROGRAM_DIR)
    assert files_under(folder) == sorted(shipped + ["uninstall.exe"])
    for link in (os.path.join(menu, "Tolvane.lnk"), startup):
        assert os.path.isfile(link), "no shortcut"
    # Each program names itself and its maker in its version resource.
    for program in ("tolvane.exe", "tolvane-service.exe", "tolvane-check.exe"):
        with open(os.path.join(folder, program), "rb") as executable:
            data = executable.read()
        for text in ("OriginalFilename", program, "Velmora"):
            assert text.encode("utf-16-le") in data, f"{program} has no version resource"

    write_settings(folder)
    program = wine.start(os.path.join(folder, "tolvane.exe"))
    wine.test_send(wine.main_window(90))
    check_program(wine, folder, check_report(sink.wait(1, 60, program)))
    # One scheduler for the folder: beside the window, which holds its lock,
    # the program without a window ends at once and says why.
    second = wine.run(os.path.join(folder, "tolvane-service.exe"), timeout=60)
    assert second.returncode == 3 and b"another program" in second.stderr, second.stderr[-300:]

    login_over_starttls(wine, tmp_path, smtp_sink, folder)
    settings = {}
    for name in ("check.ini", "smtp.ini", "sendtime.ini", "smtpauth.ini"):
        with open(os.path.join(folder, name), "rb") as kept:
            settings[name] = kept.read()

    # An upgrade over the running monitor, into the folder of the first
    # installation: the monitor is ended before its files are replaced, and
    # started again afterwards.
    wine.install()
    program.process.wait(30)
    wine.main_window(60)
    assert not os.path.exists(default), "the upgrade went to the default folder"
    wine.quit_program()

    # A new session, as at log-on: Wine's start-up runs what the Startup
    # folder holds, and the monitor comes up by itself.
    wine.boot()
    wine.main_window(90)
    wine.quit_program()

    for name in ("net.exe", "net-start.txt", "tolvane.prom"):
        os.remove(os.path.join(folder, name))
    # A capture left behind by a program that was stopped midway.
    write_lines(folder, "runnings.dat", ["left over"])
    wine.uninstall(folder)
    wait_until("only the settings files left",
               lambda: sorted(os.listdir(folder)) == sorted(settings), 10)
    for name, content in settings.items():
        with open(os.path.join(folder, name), "rb") as kept:
            assert kept.read() == content, f"{name} changed"
    for link in (menu, startup):
        assert not os.path.exists(link), "a shortcut is still there"
    query = wine.run("reg", "query",
                     "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolvane")
    assert query.returncode != 0, "the uninstall entry is still in the registry"


def test_service_installation(wine, smtp_sink, tmp_path):
    sink = smtp_sink(SMTP_ADDRESS, 25)
    # A session whose services write Wine's eventlog channel, where
    # ReportEventW prints each event, into services.log.
    services_log = tmp_path / "services.log"
    with open(services_log, "wb") as log_file:
        wine.boot(True, stderr=log_file, env=dict(wine.env, TOLVANE_WINEDEBUG="+eventlog"))

    def state():
        query = wine.run("sc", "query", SERVICE, timeout=60)
        found = re.search(rb"STATE\s*:\s*\d+\s+(\w+)", query.stdout)
        return found.group(1).decode() if found else "GONE"

    # What a run that failed midway left.
    for command in (("net", "stop", SERVICE), ("sc", "delete", SERVICE),
                    ("reg", "delete", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion"
                     "\\Uninstall\\Tolvane", "/f")):
        wine.run(*command, timeout=60)
    data = os.path.join(PREFIX, "drive_c", "ProgramData", "Tolvane")
    shutil.rmtree(data, ignore_errors=True)
    os.makedirs(data)
    # The service ticks a minute after it starts: the send is set for the
    # first minute that begins 75 s from now. Retry on; the server leaves
    # that mail unanswered, so it is under way at the stop.
    target = (datetime.datetime.now() + datetime.timedelta(seconds=75)).replace(
        second=0, microsecond=0) + datetime.timedelta(minutes=1)
    write_settings(data, target)
    write_lines(data, "smtp.ini", SMTP + [number_line(1)] * 2 + [
        number_line(25), number_line(0), "", number_line(1)], CODEC)
    sink.hold = lambda _: True

    folder = str(tmp_path / "監視サービス" / "Tolvane")
    wine.install("/SERVICE", "/D=" + windows_path(folder))
    assert os.path.isfile(os.path.join(folder, "tolvane-service.exe")), "not installed"
    started = wine.run("net", "start", timeout=60).stdout.decode(CODEC, "replace")
    assert re.search(r"^\s+Tolvane\r?$", started, re.M), started
    assert status_file(data)[:2] == ["service", "running"]
    assert not wine.desktop.find_window("^Tolvane$"), "a window runs"

    wait_until("the scheduled report", lambda: sink.held,
               (target - datetime.datetime.now()).total_seconds() + 90, 0.5)
    now = datetime.datetime.now()
    assert target <= now <= target + datetime.timedelta(seconds=65), \
        f"the scheduled send came at {now:%H:%M:%S}, not in the minute {target:%H:%M}"
    # Wine's net returns once the service was asked; it has ended when the
    # manager says it stopped.
    stopping = time.monotonic()
    assert wine.run("net", "stop", SERVICE, timeout=60).returncode == 0, "net stop failed"
    wait_until("the service to stop", lambda: state() == "STOPPED", 30, 0.2)
    assert time.monotonic() - stopping <= 5, "the service took too long to stop"
    outbox = os.path.join(data, "outbox")
    assert len(os.listdir(outbox)) == 1, "the report was not kept"
    status = status_file(data)
    assert status[:2] == ["service", "stopped"] and status[4] == "1", status

    # The window on the service's folder, as the Start menu starts it, leaves
    # the lock to the service: the service starts beside it.
    menu = casefold_path(PREFIX, "drive_c", "ProgramData", "Microsoft", "Windows",
                         "Start Menu", "Programs", "Tolvane", "Tolvane.lnk")
    assert os.path.isfile(menu), "no Start menu entry for all users"
    program = wine.start(os.path.join(folder, "tolvane.exe"), "--dir", "C:\\ProgramData\\Tolvane")
    wine.main_window(90)
    sink.hold = None
    assert wine.run("net", "start", SERVICE, timeout=60).returncode == 0, "net start failed"
    check_report(sink.wait(1, 90, program))
    wait_until("the outbox to empty", lambda: not os.listdir(outbox), 30, 0.5)
    wait_until("the status file to say the report went",
               lambda: status_file(data)[3:5] == ["送信完了", "0"], 30, 0.5)
    wine.quit_program()
    stop(program.process)
    with open(services_log, encoding="utf-8", errors="replace") as lines:
        events = "".join(line for line in lines if "ReportEventW" in line)
    # Started, the report kept at the stop, stopped; started, sent.
    assert [int(i, 16) for i in re.findall(r"ReportEventW \(\w+,0x\w+,0x\w+,0x(\w+),", events)] \
        == [0x40000001, 0x80000005, 0x40000002, 0x40000001, 0x40000003], events

    # An upgrade stays a service installation and starts the service again.
    wine.install()
    assert state() == "RUNNING", "the service after the upgrade"
    assert not os.path.exists(installation()[0]), "upgraded per user"
    wine.uninstall(folder)
    assert state() == "GONE", "the service is still there"
    left = set(os.listdir(data))
    assert {"check.ini", "sendtime.ini", "smtp.ini"} <= left and \
        not {"tolvane.status", "tolvane.lock", "runnings.dat"} & left, sorted(left)
