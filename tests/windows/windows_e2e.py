#!/usr/bin/env python3
"""The Windows program run for real under Wine, as on a Japanese Windows.

    windows_e2e.py --installer EXE --program-dir DIR --emulator EMULATOR
                   --prefix PREFIX --net NET_EXE --figures WIN_FIGURES_EXE
                   --sink SMTP_SINK_PY --work FOLDER

The installer, run silently, puts the program into a folder with a Japanese
name (/D=): the installed set of files DIR and the uninstaller. The monitor
started there mails a test send answered by key; tolvane-check.exe beside it
judges the same checks; a test send goes over STARTTLS with a login typed
into the mail settings dialog. The installer run again ends the running
monitor, upgrades it in its folder and starts it anew; a new session starts
it from the Startup folder; the silent uninstall removes the program and
leaves the settings files.

Then a service installation (/SERVICE), into another folder with a Japanese
name, with its settings in C:\ProgramData\Tolvane: the service Tolvane sends
the scheduled report with no window running; stopped while that mail is under
way, it keeps the report, and started again it sends it; the window on the
service's folder leaves the scheduling to the service; the events reach the
event log (Wine prints them on its eventlog channel); an upgrade restarts the
service, the uninstaller deletes it and keeps the settings.

The run has an X desktop of its own (tests/x11/desktop.py) and starts the
prefix's Wine server under it. Text is in code page 932: the emulator's locale
is ja_JP.UTF-8, the settings files are written in Shift-JIS, the fixture
net.exe lists in Shift-JIS, and the report must arrive in Shift-JIS with the
figures that Windows gives (WIN_FIGURES_EXE). The program dials port 25 of
127.0.0.93, where smtp_sink.py serves; the run is skipped when it is taken.
"""
import argparse
import datetime
import glob
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "x11"))
import desktop  # noqa: E402
from desktop import Failure, Skip, check, log, number_line, wait_until, write_lines  # noqa: E402

CODEC = "cp932"
# A loopback address of its own, so that other tests that serve on port 25 of
# another loopback address at the same time do not stand in the way.
SMTP_ADDRESS = "127.0.0.93"
SERVICES = ["Print Spooler", "タスク スケジューラ", "Windows Update", "DHCP Client"]
# Two found, one not: the NG details list each.
WATCHED = ["   タスク スケジューラ", "   Print Spooler", "   イベント ログ"]
SMTP = [SMTP_ADDRESS, "tolvane@monitor.example", "admin@example.org", "サーバー状態報告"]
# The figures of the report's details, what win_figures.exe calls each, and
# how far it may move on a busy machine between the program's query and the
# readings taken before and after it.
DETAILS = re.compile(r"\r\n\[ディスク容量\]\r\nC:ドライブ --- (\d+) MBの空き\r\n"
                     r"C:ドライブ --- (\d+) MBの空き\r\n\r\n\[メモリ情報\]\r\n"
                     r"物理メモリ使用率 --- (\d+) % 使用中\r\n物理メモリ空き   --- (\d+) MBの空き\r\n"
                     r"スワップメモリ空き --- (\d+) MBの空き\r\n")
READINGS = [("drive_c_mb", 256), ("drive_c_mb", 256), ("load_percent", 10),
            ("free_physical_mb", 1024), ("free_swap_mb", 1024)]
# The service ticks a minute after it starts; its scheduled send is set for
# the first minute that begins this long after the settings are written.
SERVICE_SENDS_AFTER = 75
SERVICE = "Tolvane"


def casefold_path(folder, *names):
    """The path below `folder` that `names` mean on Windows, where case does not count."""
    for name in names:
        entries = os.listdir(folder) if os.path.isdir(folder) else []
        folder = os.path.join(folder, next((e for e in entries if e.lower() == name.lower()), name))
    return folder


def installation(prefix):
    """The installer's default folder, its menu folder and its Startup shortcut
    in the prefix; `users` is missing before the first start."""
    users = os.path.join(os.path.abspath(prefix), "drive_c", "users")
    user = os.path.join(users, os.environ.get("USER") or "root")
    if not os.path.isdir(user) and os.path.isdir(users):
        candidates = [d for d in os.listdir(users) if d not in ("Public", "Default")]
        check(len(candidates) == 1, f"which user folder of Wine? {candidates}")
        user = os.path.join(users, candidates[0])
    programs = casefold_path(user, "AppData", "Roaming", "Microsoft", "Windows",
                             "Start Menu", "Programs")
    return (os.path.join(user, "AppData", "Local", "Programs", "Tolvane"),
            os.path.join(programs, "Tolvane"), casefold_path(programs, "Startup", "Tolvane.lnk"))


def forget_installation(prefix):
    """What an earlier run left: the settings files stay on uninstalling."""
    folder, menu, startup = installation(prefix)
    shutil.rmtree(folder, ignore_errors=True)
    shutil.rmtree(menu, ignore_errors=True)
    if os.path.exists(startup):
        os.remove(startup)


def files_under(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder)
                  for d, _, files in os.walk(folder) for f in files)


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def write_settings(folder, net, send_hours, send_minute):
    """The settings files, net.exe and its listing, as an operator's Windows has them."""
    # Slot 1 on C: with a limit that every drive passes, slot 2 on C: with one
    # that none does (its NG line carries the figure); slot 3 off; memory on.
    check_lines = [number_line(v) for v in (1, 1, 0, 2, 2, 25, 1, 2147483647, 0, 1, 1, 32767)]
    write_lines(folder, "check.ini", check_lines + WATCHED, CODEC)
    write_lines(folder, "smtp.ini", SMTP + [number_line(1), number_line(1)], CODEC)
    desktop.write_sendtime_ini(folder, send_hours, send_minute, CODEC)
    shutil.copy(net, os.path.join(folder, "net.exe"))
    write_lines(folder, "net-start.txt", ["次のサービスが開始されています:", ""] +
                ["   " + name for name in SERVICES] + ["", "コマンドは正常に終了しました。"],
                CODEC)


class Run:
    def __init__(self, options, x):
        self.options = options
        self.x = x
        self.work = os.path.abspath(self.options.work)
        self.sinks = {}
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        self.start_wine()
        self.start_sink()

    # --- Wine and the SMTP server ---------------------------------------------

    def wine_environment(self):
        env = dict(os.environ)
        env["TOLVANE_WINEPREFIX"] = os.path.abspath(self.options.prefix)
        env["TOLVANE_WINE_DISPLAY"] = self.x.display
        # The program must find everything it loads in its own folder.
        for name in ("TOLVANE_WINE_DLL_DIRS", "WINEPATH", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        return env

    def stop_wine(self):
        env = dict(os.environ, WINEPREFIX=os.path.abspath(self.options.prefix))
        server = "/usr/lib/wine/wineserver64"
        if not os.access(server, os.X_OK):
            server = shutil.which("wineserver") or "wineserver"
        subprocess.run([server, "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)

    def wine(self, *arguments, wait=True, capture=True, timeout=300):
        """Runs a Windows program. Its output is read only with `capture`: what
        a program leaves running in the background (as wineboot and an
        installer do) holds the pipes open for as long as it runs."""
        command = [self.options.emulator] + list(arguments)
        output = subprocess.PIPE if capture and wait else subprocess.DEVNULL
        if not wait:
            return self.x.spawn(command, env=self.wine_environment(), stdin=subprocess.DEVNULL,
                                stdout=output, stderr=output)
        return subprocess.run(command, env=self.wine_environment(), stdin=subprocess.DEVNULL,
                              stdout=output, stderr=output, timeout=timeout)

    def start_wine(self):
        # The prefix's first Wine server of this run starts under this run's
        # display, or later programs have no window driver; it ends before
        # the display does.
        self.stop_wine()
        self.x.ends.append(self.stop_wine)
        booted = self.wine("wineboot", "--init", capture=False, timeout=240)
        check(booted.returncode == 0, "wineboot failed")

    def install(self, *arguments):
        installed = self.wine(self.options.installer, "/S", *arguments, capture=False,
                              timeout=240)
        check(installed.returncode == 0, "the installer failed")

    def start_sink(self, port=25, arguments=(), folder="mail"):
        probe = socket.socket()
        try:
            probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            probe.bind((SMTP_ADDRESS, port))
        except OSError as error:
            raise Skip(f"port {port} of {SMTP_ADDRESS} is taken ({error.strerror}); "
                       "the program mails there")
        finally:
            probe.close()
        self.mail_folder = os.path.join(self.work, folder)
        os.makedirs(self.mail_folder)
        self.sinks[port] = sink = self.x.spawn([sys.executable, self.options.sink, self.mail_folder, SMTP_ADDRESS,
                             str(port)] + list(arguments),
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        check(sink.stdout.readline().strip() == str(port).encode(),
              "the SMTP server did not start")

    # --- windows and keys --------------------------------------------------------

    def key(self, window, key):
        # Wine takes keys sent to its window; it has no window manager to give focus.
        self.x.x(["xdotool", "key", "--window", window, key])

    def keys(self, window, *keys):
        for key in keys:
            self.key(window, key)
            time.sleep(0.2)

    def main_window(self, seconds):
        return self.x.wait_window("^Tolvane$", seconds, 0.5)

    def quit_program(self):
        """Closes the main window as its close box does (Alt+F4): the program ends."""
        self.key(self.main_window(10), "alt+F4")
        wait_until("the program to end on Alt+F4",
                   lambda: not self.x.find_window("^Tolvane$", visible=True), 30, 0.5)

    def test_send(self, main):
        """The operator's test send: Alt+E on the main window, Return on the question."""
        time.sleep(1)  # a window that has just come up may miss its first keys
        self.key(main, "alt+e")
        self.key(self.x.wait_window("^テスト送信$", 30, 0.5), "Return")

    # --- what arrives ----------------------------------------------------

    def figures(self):
        shown = self.wine(self.options.figures)
        check(shown.returncode == 0, "win_figures failed")
        return {k: int(v) for k, v in (line.split() for line in shown.stdout.decode().splitlines())}

    def mail(self, number, seconds, before, subject=SMTP[3]):
        """Waits for mail `number` and checks it: the envelope, the text in
        Shift-JIS with the services that net.exe listed, and the figures, which
        must lie where Windows put them around the send, within what a busy
        machine moves meanwhile. Returns when it came and the report's body."""
        record = os.path.join(self.mail_folder, f"{number}.json")
        wait_until(f"mail {number}", lambda: os.path.exists(record), seconds, 0.5)
        arrived = datetime.datetime.now()
        after = self.figures()
        with open(record, encoding="utf-8") as envelope_file:
            envelope = json.load(envelope_file)
        check(envelope["helo"] == "monitor.example", "HELO or EHLO %r" % envelope["helo"])
        check(envelope["mail_from"] == SMTP[1], "MAIL FROM %r" % envelope["mail_from"])
        check(envelope["rcpt_tos"] == [SMTP[2]], "RCPT TO %r" % envelope["rcpt_tos"])
        with open(os.path.join(self.mail_folder, f"{number}.data"), "rb") as data:
            content = data.read()
        try:
            text = content.decode(CODEC)
        except UnicodeDecodeError as error:
            raise Failure(f"the report is not in Shift-JIS ({error}): {content[:400]!r}")
        parts = ["From: %s\r\nTo: %s\r\nSubject: %s\r\n" % (SMTP[1], SMTP[2], subject),
                 "\r\n[サービス動作チェック]\r\n" + "".join(
                     name + (" --- OK\r\n" if name[3:] in SERVICES else " --- NG\r\n")
                     for name in WATCHED),
                 "\r\n[動作中のサービス]\r\n" + "".join(f"   {s}\r\n" for s in SERVICES)]
        for part in parts:
            check(part in text, f"the report lacks {part!r}:\n{text}")
        details = DETAILS.search(text)
        check(details is not None, f"the report's details:\n{text}")
        figures = [int(figure) for figure in details.groups()]
        for figure, (reading, drift) in zip(figures, READINGS):
            low = min(before[reading], after[reading]) - drift
            high = max(before[reading], after[reading]) + drift
            check(low <= figure <= high, f"{figure} is not the system's {reading} ({low} to {high})")
        log(f"mail {number} as expected: {figures}")
        return arrived, text.split("\r\n\r\n", 1)[1]

    def check_program(self, folder, body):
        """tolvane-check.exe from the program's folder, its output a pipe (the
        ANSI code page): CRITICAL for the service that does not run, the body
        of the report as mailed (figures aside), and the metrics file in
        UTF-8 without a BOM or a CR."""
        def run(*arguments):
            done = self.wine(os.path.join(folder, "tolvane-check.exe"), *arguments, timeout=120)
            check(done.returncode == 2, f"exit {done.returncode}, not 2: {done.stdout!r}")
            return done.stdout.decode(CODEC)

        line = run("--prom", windows_path(folder) + "\\tolvane.prom")
        check(re.fullmatch(r"TOLVANE CRITICAL - .*service 'イベント ログ' not running \| .* "
                           r"services_not_running=1;;0;0;3\r\n", line), f"status line: {line!r}")
        digits = re.compile(r"\d+")
        report = run("--report")
        check(digits.sub("#", report + "\r\n") == digits.sub("#", body),
              f"the report's body:\n{report!r}\nthe mail's:\n{body!r}")
        with open(os.path.join(folder, "tolvane.prom"), "rb") as metrics:
            data = metrics.read()
        check(data.startswith(b"# HELP ") and b"\r" not in data, f"metrics file: {data[:200]!r}")
        for sample in ("tolvane_check_success 1", 'tolvane_service_running{service="イベント ログ"} 0'):
            check(f"\n{sample}\n" in data.decode("utf-8"), f"metrics file lacks {sample}")
        check(not glob.glob(os.path.join(folder, "tolvane-check-*.dat")), "a capture was left")
        log("tolvane-check as the monitor")

    def login_over_starttls(self, folder):
        """The provider's submission port: STARTTLS proposed in place of 25,
        a login and the fingerprint of the server's own certificate, typed
        into the mail settings dialog as an operator would."""
        relay = os.path.join(self.work, "relay")
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
        self.start_sink(587, ["--starttls", relay + ".pem", relay + ".key",
                              "--login", "tolvane:pass 1 word"], "mail-tls")
        self.keys(self.main_window(30), "alt+m")
        dialog = self.x.wait_window("^メール送信設定$", 30, 0.5)
        # From the server box back along the tab order to the port: the retry
        # box, the fingerprint, the login box (name and password are off), the
        # security list; then the security (its port proposed), the login.
        self.keys(dialog, *["shift+Tab"] * 5, "Tab", "Down", "Tab", "space", "Tab")
        for text in ("tolvane", "pass 1 word", fingerprint):
            self.x.x(["xdotool", "type", "--window", dialog, "--delay", "30", text])
            self.key(dialog, "Tab")
        self.key(dialog, "Return")
        wait_until("the dialog to close",
                   lambda: not self.x.find_window("^メール送信設定$", visible=True), 30, 0.5)
        with open(os.path.join(folder, "smtp.ini"), encoding=CODEC, newline="") as smtp:
            lines = smtp.read().split("\r\n")
        check(lines[6:10] == [" 587 ", " 1 ", fingerprint, " 0 "],
              "smtp.ini lines 7 to 10: %r" % lines[6:10])
        with open(os.path.join(folder, "smtpauth.ini"), "rb") as login:
            check(b"pass 1 word" not in login.read(), "the password stands in clear")
        before = self.figures()
        self.test_send(self.main_window(10))
        # The dialog showed no subject: the stored one has characters that its
        # filter refuses, and it had accepted none since the start.
        self.mail(1, 60, before, subject="")
        with open(os.path.join(self.mail_folder, "commands"), encoding="utf-8") as seen:
            check(seen.read().split("\n")[0] == "AUTH PLAIN", "no login before the mail")
        log("mailed over STARTTLS with a login")

    # --- the run -------------------------------------------------------------

    def start_monitor(self, folder):
        """Starts the monitor with nothing scheduled; returns the process and its window."""
        write_settings(folder, self.options.net, set(), 0)
        program = self.wine(os.path.join(folder, "tolvane.exe"), wait=False)
        return program, self.main_window(90)

    def run(self):
        # A folder name in Japanese, as operators' folders may have.
        folder = os.path.join(self.work, "監視", "Tolvane")
        self.install("/D=" + windows_path(folder))
        default, menu, startup = installation(self.options.prefix)
        shipped = files_under(self.options.program_dir)
        check(files_under(folder) == sorted(shipped + ["uninstall.exe"]),
              "installed files: %r, shipped %r" % (files_under(folder), shipped))
        for link in (os.path.join(menu, "Tolvane.lnk"), startup):
            check(os.path.isfile(link), "no shortcut %s" % link)
        # Each program names itself and its maker in its version resource.
        for program in ("tolvane.exe", "tolvane-service.exe", "tolvane-check.exe"):
            data = open(os.path.join(folder, program), "rb").read()
            check(all(text.encode("utf-16-le") in data
                      for text in ("OriginalFilename", program, "Velmora")),
                  "%s has no version resource" % program)

        before = self.figures()
        program, main = self.start_monitor(folder)
        self.test_send(main)
        _, body = self.mail(1, 60, before)
        self.check_program(folder, body)
        # One scheduler for the folder: beside the window, which holds its
        # lock, the program without a window ends at once and says why.
        second = self.wine(os.path.join(folder, "tolvane-service.exe"), timeout=60)
        check(second.returncode == 3 and b"another program" in second.stderr,
              "tolvane-service beside the window: %r" % second.stderr[-300:])

        self.login_over_starttls(folder)
        settings = {name: open(os.path.join(folder, name), "rb").read()
                    for name in ("check.ini", "smtp.ini", "sendtime.ini", "smtpauth.ini")}

        # An upgrade over the running monitor, into the folder of the first
        # installation: the monitor is ended before its files are replaced,
        # and started again afterwards.
        self.install()
        program.wait(30)
        self.main_window(60)
        check(not os.path.exists(default), "the upgrade went to the default folder")
        log("the installer ended the running monitor and started it again")
        self.quit_program()

        # A new session, as at log-on: Wine's start-up runs what the Startup
        # folder holds, and the monitor comes up by itself.
        self.start_wine()
        self.main_window(90)
        self.quit_program()

        for name in ("net.exe", "net-start.txt", "tolvane.prom"):
            os.remove(os.path.join(folder, name))
        # A capture left behind by a program that was stopped midway.
        with open(os.path.join(folder, "runnings.dat"), "wb") as capture:
            capture.write(b"left over\r\n")

        # The uninstaller copies itself aside and returns at once.
        removed = self.wine(os.path.join(folder, "uninstall.exe"), "/S", capture=False,
                            timeout=120)
        check(removed.returncode == 0, "the uninstaller failed")
        wait_until("the uninstaller to finish",
                   lambda: not os.path.exists(os.path.join(folder, "uninstall.exe")), 60, 0.5)
        time.sleep(1)
        left = sorted(os.listdir(folder))
        check(left == sorted(settings), "left after uninstalling: %r" % left)
        for name, content in settings.items():
            check(open(os.path.join(folder, name), "rb").read() == content, name + " changed")
        for link in (menu, startup):
            check(not os.path.exists(link), "still there: %s" % link)
        query = subprocess.run([self.options.emulator, "reg", "query",
                                "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolvane"],
                               env=self.wine_environment(), capture_output=True, check=False)
        check(query.returncode != 0, "the uninstall entry is still in the registry")
        log("installed, mailed, upgraded, uninstalled; settings kept")
        self.service_installation()

    # --- the service -----------------------------------------------------------

    def start_services(self):
        """A new session whose Wine server stays until the run ends (services
        end with it) and whose services write Wine's eventlog channel, where
        ReportEventW prints each event, into services.log."""
        self.stop_wine()
        server = "/usr/lib/wine/wineserver64"
        if not os.access(server, os.X_OK):
            server = shutil.which("wineserver") or "wineserver"
        subprocess.run([server, "-p"], env=dict(os.environ, WINEPREFIX=os.path.abspath(
            self.options.prefix)), check=True)
        self.services_log = os.path.join(self.work, "services.log")
        env = dict(self.wine_environment(), TOLVANE_WINEDEBUG="+eventlog")
        with open(self.services_log, "wb") as services_log:
            booted = subprocess.run([self.options.emulator, "wineboot"], env=env,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=services_log, timeout=240)
        check(booted.returncode == 0, "wineboot failed")

    def events(self):
        """The ids of the events that the service wrote, in order, and Wine's lines of them."""
        with open(self.services_log, encoding="utf-8", errors="replace") as services_log:
            lines = [line for line in services_log if "ReportEventW" in line]
        ids = [int(i, 16) for i in re.findall(r"ReportEventW \(\w+,0x\w+,0x\w+,0x(\w+),",
                                              "".join(lines))]
        return ids, "".join(lines)

    def service_state(self):
        query = self.wine("sc", "query", SERVICE, timeout=60)
        state = re.search(rb"STATE\s*:\s*\d+\s+(\w+)", query.stdout)
        return state.group(1).decode() if state else "GONE"

    def status_file(self, data):
        with open(os.path.join(data, "tolvane.status"), encoding=CODEC, newline="") as status:
            return status.read().split("\r\n")[:5]

    def service_installation(self):
        self.start_services()
        # What a run that failed midway left.
        for command in (("net", "stop", SERVICE), ("sc", "delete", SERVICE),
                        ("reg", "delete", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion"
                         "\\Uninstall\\Tolvane", "/f")):
            self.wine(*command, timeout=60)
        data = os.path.join(self.options.prefix, "drive_c", "ProgramData", "Tolvane")
        shutil.rmtree(data, ignore_errors=True)
        os.makedirs(data)
        # Retry on; the scheduled report goes to a server that takes the
        # connection and says nothing, so the mail is under way at the stop.
        target = desktop.minute_after(SERVICE_SENDS_AFTER)
        write_settings(data, self.options.net, {target.hour}, target.minute)
        write_lines(data, "smtp.ini", SMTP + [number_line(1)] * 2 + [
            number_line(25), number_line(0), "", number_line(1)], CODEC)
        desktop.stop(self.sinks[25])
        silent = socket.socket()
        self.x.ends.append(silent.close)
        silent.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        silent.bind((SMTP_ADDRESS, 25))
        silent.listen(1)

        folder = os.path.join(self.work, "監視サービス", "Tolvane")
        self.install("/SERVICE", "/D=" + windows_path(folder))
        check(os.path.isfile(os.path.join(folder, "tolvane-service.exe")), "not installed")
        started = self.wine("net", "start", timeout=60).stdout.decode(CODEC, "replace")
        check(re.search(r"^\s+Tolvane\r?$", started, re.M), f"net start lists:\n{started}")
        check(self.status_file(data)[:2] == ["service", "running"], "status file at the start")
        check(not self.x.find_window("^Tolvane$", visible=True), "a window runs")

        silent.settimeout((target - datetime.datetime.now()).total_seconds() + 90)
        connection, _ = silent.accept()
        self.x.ends.append(connection.close)
        check(target <= datetime.datetime.now() <= target + datetime.timedelta(seconds=65),
              f"the scheduled send came at {datetime.datetime.now():%H:%M:%S}, "
              f"not in the minute {target:%H:%M}")
        # Wine's net returns once the service was asked; it has ended when
        # the manager says it stopped.
        stopping = time.monotonic()
        check(self.wine("net", "stop", SERVICE, timeout=60).returncode == 0, "net stop failed")
        wait_until("the service to stop", lambda: self.service_state() == "STOPPED", 30, 0.2)
        took = time.monotonic() - stopping
        check(took <= 5, f"the service took {took:.1f} s to stop")
        kept = glob.glob(os.path.join(data, "outbox", "*.eml"))
        check(len(kept) == 1, f"kept reports: {kept}")
        status = self.status_file(data)
        check(status[:2] == ["service", "stopped"] and status[4] == "1", f"status file {status}")
        connection.close()
        silent.close()

        # The window on the service's folder, as the Start menu starts it,
        # leaves the lock to the service: the service starts beside it.
        menu = casefold_path(self.options.prefix, "drive_c", "ProgramData", "Microsoft", "Windows",
                             "Start Menu", "Programs", "Tolvane", "Tolvane.lnk")
        check(os.path.isfile(menu), "no Start menu entry for all users")
        program = self.wine(os.path.join(folder, "tolvane.exe"), "--dir",
                            "C:\\ProgramData\\Tolvane", wait=False)
        self.main_window(90)
        self.start_sink(folder="mail-service")
        before = self.figures()
        check(self.wine("net", "start", SERVICE, timeout=60).returncode == 0, "net start failed")
        self.mail(1, 90, before)
        wait_until("the outbox to empty", lambda: not glob.glob(os.path.join(data, "outbox", "*.eml")),
                   30, 0.5)
        wait_until("the status file to say the report went",
                   lambda: self.status_file(data)[3:5] == ["送信完了", "0"], 30, 0.5)
        self.quit_program()
        desktop.stop(program)
        ids, lines = self.events()
        # Started, the report kept at the stop, stopped; started, sent.
        expected = [0x40000001, 0x80000005, 0x40000002, 0x40000001, 0x40000003]
        check(ids == expected, f"events {[hex(i) for i in ids]}:\n{lines}")
        log("the service sent the scheduled report after a stop and a start")

        # An upgrade stays a service installation and starts the service again.
        self.install()
        check(self.service_state() == "RUNNING", "the service after the upgrade")
        check(not os.path.exists(installation(self.options.prefix)[0]), "upgraded per user")

        removed = self.wine(os.path.join(folder, "uninstall.exe"), "/S", capture=False, timeout=120)
        check(removed.returncode == 0, "the uninstaller failed")
        wait_until("the uninstaller to finish",
                   lambda: not os.path.exists(os.path.join(folder, "uninstall.exe")), 60, 0.5)
        check(self.service_state() == "GONE", "the service is still there")
        left = set(os.listdir(data))
        check({"check.ini", "sendtime.ini", "smtp.ini"} <= left and
              not {"tolvane.status", "tolvane.lock", "runnings.dat"} & left,
              f"left in the settings folder: {sorted(left)}")
        log("service installed, upgraded and uninstalled")


def main():
    parser = argparse.ArgumentParser()
    for name in ("installer", "program-dir", "emulator", "prefix", "net", "figures", "sink",
                 "work"):
        parser.add_argument("--" + name, required=True)
    options = parser.parse_args()

    def scenario():
        forget_installation(options.prefix)
        with desktop.Desktop() as x:
            Run(options, x).run()

    desktop.run_main(scenario)


if __name__ == "__main__":
    main()
