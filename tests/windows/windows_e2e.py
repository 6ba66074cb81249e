#!/usr/bin/env python3
"""The Windows program run for real under Wine, as on a Japanese Windows.

    windows_e2e.py send --program-dir DIR [common options]
        The program from DIR (the installed set of files, nothing more) in an
        application folder of its own: a test send answered by key, and the
        send that sendtime.ini schedules at the next minute.
    windows_e2e.py installer --installer EXE [common options]
        The installer run silently; the installed program started from the
        installed folder mails a test send, then one over STARTTLS with a
        login typed into the mail settings dialog; the installer run again
        ends the running monitor and starts it anew; the silent uninstall
        removes the program and leaves the settings files.

Common options: --emulator (cmake/wine-emulator.sh) --prefix (a Wine prefix
for programs with windows) --net (the fixture net.exe) --figures
(win_figures.exe) --sink (smtp_sink.py) --work (a scratch folder).

Each run has an X desktop of its own (tests/x11/desktop.py, the harness of
the Linux end-to-end tests) and starts the prefix's Wine server under it. Text
is in code page 932: the emulator's locale is ja_JP.UTF-8, the settings files
are written in Shift-JIS, the fixture net.exe lists in Shift-JIS, and the
report must arrive in Shift-JIS. The program dials port 25 of 127.0.0.93,
where smtp_sink.py serves; the run is skipped when the port is taken there.
"""
import argparse
import datetime
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
SMTP_PORT = 25
# A loopback address of its own, so that other tests that serve on port 25 of
# another loopback address at the same time do not stand in the way.
SMTP_ADDRESS = "127.0.0.93"
SERVICES = ["Print Spooler", "タスク スケジューラ", "Windows Update", "DHCP Client"]
# Two found, one not: the NG details list each.
WATCHED = ["   タスク スケジューラ", "   Print Spooler", "   Tolvane Missing"]
SMTP = [SMTP_ADDRESS, "tolvane@monitor.example", "admin@example.org", "サーバー状態報告"]
# Slot 1 on C: with a limit that every drive passes, slot 2 on C: with one that
# none does (its NG line carries the figure); slot 3 off.
DRIVE_LIMITS = [1, 2147483647, 0]
PHYSICAL_LIMIT, SWAP_LIMIT = 1, 32767
# How far a figure of a busy machine may move between the program's query and
# the readings taken before and after it.
DRIVE_DRIFT_MB = 256
MEMORY_DRIFT_MB = 1024
LOAD_DRIFT = 10
# The program must show its window before the minute of the scheduled send
# begins; it is given this long, or it is started again for the minute after.
READY_WITHIN = 40


def casefold_path(folder, *names):
    """The path below `folder` that `names` mean on Windows, where case does not count."""
    for name in names:
        entries = os.listdir(folder) if os.path.isdir(folder) else []
        folder = os.path.join(folder, next((e for e in entries if e.lower() == name.lower()), name))
    return folder


def write_settings(folder, send_hours, send_minute):
    check_lines = [number_line(v) for v in (1, 1, 0, 2, 2, 25)]
    check_lines += [number_line(v) for v in DRIVE_LIMITS]
    check_lines += [number_line(1), number_line(PHYSICAL_LIMIT), number_line(SWAP_LIMIT)]
    write_lines(folder, "check.ini", check_lines + WATCHED, CODEC)
    write_lines(folder, "smtp.ini", SMTP + [number_line(1), number_line(1)], CODEC)
    hours = [number_line(1 if h in send_hours else 0) for h in range(24)]
    write_lines(folder, "sendtime.ini", hours + ["%02d" % send_minute], CODEC)


def verdict(free, limit):
    if free > limit:
        return " --- OK"
    return " --- 空き容量が、%d MBを下回りました。現在、%d MBの空きがあります。" % (limit, free)


def expected_report(drive1, drive2, load, physical, swap, subject=SMTP[3]):
    """The report for these figures, as the program composes it."""
    lines = ["From: " + SMTP[1], "To: " + SMTP[2], "Subject: " + subject,
             "X-Mailer: Tolvane by Velmora 2.0.0", "",
             "[HDD容量チェック]",
             "C:ドライブ" + verdict(drive1, DRIVE_LIMITS[0]),
             "C:ドライブ" + verdict(drive2, DRIVE_LIMITS[1]), "",
             "[メモリ容量チェック]",
             "物理メモリ" + verdict(physical, PHYSICAL_LIMIT),
             "スワップメモリ" + verdict(swap, SWAP_LIMIT), "",
             "[サービス動作チェック]"]
    lines += [name + (" --- OK" if name[3:] in SERVICES else " --- NG") for name in WATCHED]
    lines += ["", "", "==============ここから詳細内容==============", "",
              "[ディスク容量]",
              "C:ドライブ --- %d MBの空き" % drive1,
              "C:ドライブ --- %d MBの空き" % drive2, "",
              "[メモリ情報]",
              "物理メモリ使用率 --- %d %% 使用中" % load,
              "物理メモリ空き   --- %d MBの空き" % physical,
              "スワップメモリ空き --- %d MBの空き" % swap, "",
              "[動作中のサービス]"]
    lines += ["   " + name for name in SERVICES]
    # The report's last line end, then the one that the SMTP dialogue puts
    # before the closing "." and the server leaves in.
    return "\r\n".join(lines) + "\r\n\r\n\r\n"


def figures_of(text):
    """The figures that the received report names, by the lines that carry them."""
    found = {}
    patterns = {
        "drive1": r"\r\n\[ディスク容量\]\r\nC:ドライブ --- (\d+) MB",
        "drive2": r"\r\n\[ディスク容量\]\r\nC:ドライブ --- \d+ MBの空き\r\nC:ドライブ --- (\d+) MB",
        "load": r"物理メモリ使用率 --- (\d+) %",
        "physical": r"物理メモリ空き   --- (\d+) MB",
        "swap": r"スワップメモリ空き --- (\d+) MB",
    }
    for key, pattern in patterns.items():
        match = re.search(pattern, text)
        check(match is not None, f"no {key} figure in the report:\n{text}")
        found[key] = int(match.group(1))
    return found


def installation(prefix):
    """Where the installer puts the program, its menu folder and its Startup
    shortcut in the prefix; `users` is missing before the first start."""
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


class Run:
    def __init__(self, options, x):
        self.options = options
        self.x = x
        self.work = os.path.abspath(options.work)
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

    def start_sink(self, port=SMTP_PORT, options=(), folder="mail"):
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
        sink = self.x.spawn([sys.executable, self.options.sink, self.mail_folder, SMTP_ADDRESS,
                             str(port)] + list(options),
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

    def wait_for_mail(self, number, seconds):
        record = os.path.join(self.mail_folder, f"{number}.json")
        wait_until(f"mail {number}", lambda: os.path.exists(record), seconds, 0.5)
        arrived = datetime.datetime.now()
        with open(record, encoding="utf-8") as envelope_file:
            envelope = json.load(envelope_file)
        with open(os.path.join(self.mail_folder, f"{number}.data"), "rb") as data:
            content = data.read()
        return arrived, envelope, content

    def check_mail(self, envelope, content, before, after, subject=SMTP[3]):
        check(envelope["helo"] == "monitor.example", "HELO or EHLO %r" % envelope["helo"])
        check(envelope["mail_from"] == SMTP[1], "MAIL FROM %r" % envelope["mail_from"])
        check(envelope["rcpt_tos"] == [SMTP[2]], "RCPT TO %r" % envelope["rcpt_tos"])
        try:
            text = content.decode(CODEC)
        except UnicodeDecodeError as error:
            raise Failure(f"the report is not in Shift-JIS ({error}): {content[:400]!r}")
        figures = figures_of(text)
        expected = expected_report(subject=subject, **figures)
        if text != expected:
            got, want = text.split("\r\n"), expected.split("\r\n")
            for i in range(max(len(got), len(want))):
                if i >= len(got) or i >= len(want) or got[i] != want[i]:
                    raise Failure(f"the report differs at line {i + 1}:\n"
                                  f"  got  {got[i] if i < len(got) else None!r}\n"
                                  f"  want {want[i] if i < len(want) else None!r}")
        # The figures are the system's: they lie where Windows put them
        # around the send, within what a busy machine moves meanwhile.
        bounds = {"drive1": ("drive_c_mb", DRIVE_DRIFT_MB), "drive2": ("drive_c_mb", DRIVE_DRIFT_MB),
                  "load": ("load_percent", LOAD_DRIFT),
                  "physical": ("free_physical_mb", MEMORY_DRIFT_MB),
                  "swap": ("free_swap_mb", MEMORY_DRIFT_MB)}
        for key, (reading, drift) in bounds.items():
            low = min(before[reading], after[reading]) - drift
            high = max(before[reading], after[reading]) + drift
            check(low <= figures[key] <= high, "%s %d MB is not the system's (%d to %d)" %
                  (key, figures[key], low, high))
        log(f"report as expected: {figures}")

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
        _, envelope, content = self.wait_for_mail(1, 60)
        # The dialog showed no subject: the stored one has characters that its
        # filter refuses, and it had accepted none since the start.
        self.check_mail(envelope, content, before, self.figures(), subject="")
        with open(os.path.join(self.mail_folder, "commands"), encoding="utf-8") as seen:
            check(seen.read().split("\n")[0] == "AUTH PLAIN", "no login before the mail")
        log("mailed over STARTTLS with a login")

    # --- the two scenarios ---------------------------------------------------

    def prepare_folder(self, folder, send_hours=(), send_minute=0):
        write_settings(folder, send_hours, send_minute)
        shutil.copy(self.options.net, os.path.join(folder, "net.exe"))
        write_lines(folder, "net-start.txt", ["次のサービスが開始されています:", ""] +
                    ["   " + name for name in SERVICES] + ["", "コマンドは正常に終了しました。"],
                    CODEC)

    def send(self):
        # A folder name in Japanese, as operators' folders may have.
        folder = os.path.join(self.work, "監視", "Tolvane")
        shutil.copytree(self.options.program_dir, folder)
        # The scheduler ticks every 59.9 s from the start, so a tick falls into
        # every minute after the first: into the target minute too, when the
        # program is up before it begins.
        for attempt in (1, 2):
            target = desktop.minute_after(READY_WITHIN)
            self.prepare_folder(folder, {target.hour}, target.minute)
            before = self.figures()
            program = self.wine(os.path.join(folder, "tolvane.exe"), wait=False)
            main = self.main_window(90)
            if datetime.datetime.now() < target:
                break
            log(f"the window came up only after {target:%H:%M}; once more")
            desktop.stop(program)
        else:
            raise Failure(f"the program did not show its window within {READY_WITHIN} s, twice")
        self.test_send(main)
        _, envelope, content = self.wait_for_mail(1, 60)
        self.check_mail(envelope, content, before, self.figures())

        before = self.figures()
        wait = (target - datetime.datetime.now()).total_seconds() + 90
        arrived, envelope, content = self.wait_for_mail(2, wait)
        self.check_mail(envelope, content, before, self.figures())
        check(target <= arrived <= target + datetime.timedelta(seconds=65),
              f"the scheduled mail came at {arrived:%H:%M:%S}, not in the minute {target:%H:%M}")
        check(not os.path.exists(os.path.join(self.mail_folder, "3.json")),
              "more than one scheduled mail")
        log(f"scheduled mail at {arrived:%H:%M:%S}")

    def installer(self):
        installed = self.wine(self.options.installer, "/S", capture=False, timeout=240)
        check(installed.returncode == 0, "the installer failed")
        folder, menu, startup = installation(self.options.prefix)
        shipped = sorted(os.path.relpath(os.path.join(d, f), self.options.program_dir)
                         for d, _, files in os.walk(self.options.program_dir) for f in files)
        present = sorted(os.path.relpath(os.path.join(d, f), folder)
                         for d, _, files in os.walk(folder) for f in files)
        check(present == sorted(shipped + ["uninstall.exe"]),
              "installed files: %r, expected %r" % (present, shipped))
        for link in (os.path.join(menu, "Tolvane.lnk"), startup):
            check(os.path.isfile(link), "no shortcut %s" % link)

        self.prepare_folder(folder)
        settings = {name: open(os.path.join(folder, name), "rb").read()
                    for name in ("check.ini", "smtp.ini", "sendtime.ini")}
        before = self.figures()
        program = self.wine(os.path.join(folder, "tolvane.exe"), wait=False)
        self.test_send(self.main_window(90))
        _, envelope, content = self.wait_for_mail(1, 60)
        self.check_mail(envelope, content, before, self.figures())
        self.login_over_starttls(folder)
        for name in ("smtp.ini", "smtpauth.ini"):
            settings[name] = open(os.path.join(folder, name), "rb").read()

        # An upgrade over the running monitor: it is ended before its files
        # are replaced, and started again afterwards.
        again = self.wine(self.options.installer, "/S", capture=False, timeout=240)
        check(again.returncode == 0, "the installer failed over the running monitor")
        program.wait(30)
        self.main_window(60)
        log("the installer ended the running monitor and started it again")
        self.quit_program()

        # A new session, as at log-on: Wine's start-up runs what the Startup
        # folder holds, and the monitor comes up by itself.
        self.start_wine()
        self.main_window(90)
        self.quit_program()

        os.remove(os.path.join(folder, "net.exe"))
        os.remove(os.path.join(folder, "net-start.txt"))
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
        log("installed, mailed, uninstalled; settings kept")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", choices=["send", "installer"])
    for name in ("emulator", "prefix", "net", "figures", "sink", "work"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--program-dir", required=True)
    parser.add_argument("--installer")
    options = parser.parse_args()

    def scenario():
        if options.scenario == "installer":
            forget_installation(options.prefix)
        with desktop.Desktop() as x:
            run = Run(options, x)
            getattr(run, options.scenario)()

    desktop.run_main(scenario)


if __name__ == "__main__":
    main()
