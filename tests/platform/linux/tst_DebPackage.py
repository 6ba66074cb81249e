"""The Debian package that cpack made from this build (the test deb_package
makes it first) and the install of this build: the package's files, its
service unit, the clean-up of its maintainer scripts, and the unpacked
headless program mailing by itself.
"""
import os
import re
import shutil
import subprocess

import pytest

from harness import log, schedule_send, write_check_ini, write_lines, \
    write_sendtime_ini, write_smtp_ini

DEB = os.environ.get("TOLVANE_DEB_FILE", "")
FOLDER = "opt/tolvane"
SUBJECT = "Tolvane package test"
# A loopback address of the test's own, so that port 25 is free on it even
# where a mail server listens on 127.0.0.1:25.
SINK_ADDRESS = "127.0.0.25"

FILES = """\
-rw-r--r-- root/root ./etc/xdg/autostart/tolvane.desktop
-rw-r--r-- root/root ./lib/systemd/system/tolvane.service
-rw-r--r-- root/root ./opt/tolvane/tolvane16.png
-rw-r--r-- root/root ./opt/tolvane/tolvane32.png
-rw-r--r-- root/root ./usr/share/doc/tolvane/README.md
-rw-r--r-- root/root ./usr/share/doc/tolvane/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/tolvane/guide.html
-rw-r--r-- root/root ./usr/share/doc/tolvane/images/check-config-windows.png
-rw-r--r-- root/root ./usr/share/doc/tolvane/images/check-config.png
-rw-r--r-- root/root ./usr/share/doc/tolvane/images/error-box.png
-rw-r--r-- root/root ./usr/share/doc/tolvane/images/main-windows.png
-rw-r--r-- root/root ./usr/share/doc/tolvane/images/main.png
-rw-r--r-- root/root ./usr/share/doc/tolvane/images/sendtime-config-windows.png
-rw-r--r-- root/root ./usr/share/doc/tolvane/images/sendtime-config.png
-rw-r--r-- root/root ./usr/share/doc/tolvane/images/smtp-config-windows.png
-rw-r--r-- root/root ./usr/share/doc/tolvane/images/smtp-config.png
-rw-r--r-- root/root ./usr/share/lintian/overrides/tolvane
-rwxr-xr-x root/root ./opt/tolvane/tolvane
-rwxr-xr-x root/root ./opt/tolvane/tolvane-check
-rwxr-xr-x root/root ./opt/tolvane/tolvane-listing
-rwxr-xr-x root/root ./opt/tolvane/tolvane-service""".split("\n")


def run(*command, env=None):
    """Runs a tool to its end; fails the test when it fails."""
    done = subprocess.run(command, env=env, capture_output=True, text=True)
    assert done.returncode == 0, f"{' '.join(map(str, command))}:\n{done.stdout}{done.stderr}"
    return done


@pytest.fixture(scope="module")
def unpacked(tmp_path_factory):
    """The package's files (root/) and its control files (control/)."""
    assert os.path.isfile(DEB), f"{DEB!r} is missing: the test deb_package makes it"
    top = tmp_path_factory.mktemp("deb")
    run("dpkg-deb", "-x", DEB, top / "root")
    run("dpkg-deb", "-e", DEB, top / "control")
    return top


@pytest.fixture
def app_folder(unpacked):
    return unpacked / "root" / FOLDER


def test_files(unpacked):
    """Every file with its mode and owner: nothing of the build (tests,
    benchmark) beside the program, nothing missing."""
    listing = [line.split() for line in run("dpkg-deb", "-c", DEB).stdout.splitlines()]
    assert sorted(" ".join((f[0], f[1], f[-1])) for f in listing if not f[-1].endswith("/")) \
        == FILES
    # The libraries come from the binaries (dpkg-shlibdeps), with versions.
    assert "libqt6widgets6 (>= " in run("dpkg-deb", "-f", DEB, "Depends").stdout
    # The log-in entry names the packaged program.
    entry = (unpacked / "root/etc/xdg/autostart/tolvane.desktop").read_text()
    assert f'\nExec="/{FOLDER}/tolvane"\n' in entry


def test_install_into_folder_given(tmp_path):
    """With a blank in the folder: the log-in entry, written at install time,
    names the program (quoted, so that the folder stays one word) and its
    icon where they land."""
    prefix = "/tmp/tolvane install/opt"
    run(os.environ["TOLVANE_CMAKE"], "--install", os.environ["TOLVANE_BUILD_DIR"], "--prefix",
        prefix, env=dict(os.environ, DESTDIR=str(tmp_path)))
    entry = (tmp_path / os.environ["TOLVANE_AUTOSTART_DIR"].lstrip("/") /
             "tolvane.desktop").read_text()
    assert entry.startswith("[Desktop Entry]\n") and f'\nExec="{prefix}/tolvane"\n' in entry
    assert os.access(f"{tmp_path}{prefix}/tolvane", os.X_OK)
    icon = re.search(r"\nIcon=([^\n]+)\n", entry).group(1)
    assert os.path.getsize(f"{tmp_path}{icon}") > 0, entry


@pytest.mark.parametrize("name", ["postinst", "prerm", "postrm"])
def test_maintainer_script_is_sound_shell(unpacked, name):
    assert os.access(unpacked / "control" / name, os.X_OK)
    run("sh", "-n", unpacked / "control" / name)


def test_unit_verifies(unpacked):
    """systemd-analyze checks the unit against a root holding the unpacked
    files and the system's own units (so that ExecStart names the packaged
    program); it runs without systemd as the init process. Any message, even
    one that does not fail the check, is a fault."""
    root = unpacked / "root"
    shutil.copytree("/lib/systemd/system", root / "usr/lib/systemd/system", symlinks=True,
                    dirs_exist_ok=True)
    verified = run("systemd-analyze", "verify", "--man=no", f"--root={root}",
                   "/lib/systemd/system/tolvane.service")
    assert verified.stdout + verified.stderr == ""


SETTINGS = ["check.ini", "outbox/1.eml", "sendtime.ini", "smtp.ini", "smtpauth.ini",
            "verdicts.dat"]
CAPTURES = ["alerts.dat", "runnings.dat", "service.dat", "tolvane-check-7.dat", "tolvane.lock",
            "tolvane.status"]


@pytest.mark.parametrize("actions, files, left", [
    # remove takes the captures and keeps the settings and the drive links
    (["remove"], SETTINGS + CAPTURES,
     ["opt/", "opt/tolvane/", "opt/tolvane/check.ini", "opt/tolvane/dosdevices/",
      "opt/tolvane/dosdevices/d:", "opt/tolvane/outbox/", "opt/tolvane/outbox/1.eml",
      "opt/tolvane/sendtime.ini", "opt/tolvane/smtp.ini", "opt/tolvane/smtpauth.ini",
      "opt/tolvane/verdicts.dat"]),
    # purge takes the settings, the login, the outbox, the drive links (not
    # what they point to) and the folder
    (["remove", "purge"], SETTINGS + CAPTURES, ["opt/"]),
    (["remove", "purge"], ["CHECK.INI", "Smtp.Ini", "sendtime.ini"], ["opt/"]),
    # but neither a file of the administrator's nor so the folder
    (["remove", "purge"], SETTINGS + ["notes.txt"],
     ["opt/", "opt/tolvane/", "opt/tolvane/notes.txt"]),
])
def test_postrm_cleans_up(unpacked, tmp_path, actions, files, left):
    """postrm in a scratch root (dpkg's DPKG_ROOT)."""
    root, target = tmp_path / "root", tmp_path / "drive"
    folder = root / FOLDER
    (folder / "outbox").mkdir(parents=True)
    (folder / "dosdevices").mkdir()
    target.mkdir()
    for name in files:
        write_lines(folder, name, [" 1 "])
    write_lines(target, "kept.txt", ["data"])
    (folder / "dosdevices" / "d:").symlink_to(target)
    for action in actions:
        run(unpacked / "control" / "postrm", action, env=dict(os.environ, DPKG_ROOT=str(root)))
    names = sorted(str(p.relative_to(root)) + ("/" if p.is_dir() and not p.is_symlink() else "")
                   for p in root.rglob("*"))
    assert names == left
    assert (target / "kept.txt").exists()


def test_unpacked_service_mails(app_folder, launch, smtp_sink):
    """The unpacked headless program, started as the service starts it, from
    its own folder with the packaged listing helper. A drive limit raised
    while it was stopped brings an alert at the start, lowered again a
    recovery at the next check, with the report scheduled for that minute.
    Asked to end (SIGTERM) while the server keeps that report waiting, it
    keeps the report and ends at once; started again, it sends it. Standard
    error, the journal under the service, says each step."""
    sink = smtp_sink(SINK_ADDRESS, 25)
    write_check_ini(app_folder)
    write_smtp_ini(app_folder, SINK_ADDRESS, 25, SUBJECT)
    write_sendtime_ini(app_folder, alert_minutes=1)
    service = str(app_folder / "tolvane-service")
    journals = []

    def start():
        program = launch([service], cwd=app_folder)
        journals.append(program)
        # Its first alert check waits for the service listing.
        program.wait_for("the service to start", lambda: f" started for {app_folder}\n"
                         in program.journal(), 20)
        return program

    def stop(program):
        assert program.end(within=2) == 0, program.journal()

    # The first start notes the verdicts (all OK); one scheduler for the
    # folder: a second one ends at once.
    first = start()
    second = subprocess.run([service], cwd=app_folder, capture_output=True, text=True)
    assert second.returncode == 3 and "another program" in second.stderr, second.stderr
    stop(first)

    # The start judges at once: the limit is lowered again for the next check.
    write_check_ini(app_folder, drive_c_limit=2**31 - 1)
    program = start()
    write_check_ini(app_folder)
    sink.hold = lambda data: f"\r\nSubject: {SUBJECT}\r\n".encode() in data
    program.wait_for("the scheduled report", lambda: sink.held,
                     schedule_send(app_folder, alert_minutes=1))
    log("the report is held")
    stop(program)
    assert len(list(app_folder.glob("outbox/*"))) == 1, "the report was not kept"

    sink.hold = None
    program = start()
    report = sink.wait(3, 40, program)
    program.wait_for("outbox/ empty", lambda: not any(app_folder.glob("outbox/*")), 10)
    stop(program)
    subjects = [re.search(rb"\r\nSubject: ([^\r]*)", m.data).group(1).decode()
                for m in sink.messages]
    assert subjects == [f"[NG] {SUBJECT}", f"[OK] {SUBJECT}", SUBJECT]
    journal = "".join(p.journal() for p in journals)
    for line in ("送信中...", "再送待ち 1件", "送信完了", "再送待ち 0件"):
        assert line in journal, journal
    assert (report.helo, report.mail_from, report.rcpt_tos) == \
        ("monitor.example", "tolvane@monitor.example", ["admin@example.org"])
    text = report.data.decode()
    for part in (f"\r\nSubject: {SUBJECT}\r\n", "\r\nC:ドライブ --- OK\r\n", "物理メモリ --- OK",
                 "サービス --- OK", "[動作中のサービス]\r\n"):
        assert part in text, text
