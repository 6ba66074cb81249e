#!/usr/bin/env python3
"""tolvane-check.exe under Wine in code page 932, as on a Japanese Windows.

    check_under_wine.py EMULATOR TOLVANE_CHECK_EXE FAKE_NET_EXE WORK

WORK becomes an application folder with Shift-JIS settings files and the
fixture net.exe, which lists services as Windows in Japanese does. The program
must answer CRITICAL for a watched service that does not run, print the
report's body in Shift-JIS (its output is a pipe: the ANSI code page) with CR
LF line ends, and write its metrics file in UTF-8 without a BOM or a CR.
"""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "x11"))
from desktop import check, number_line, run_main, write_lines  # noqa: E402

CODEC = "cp932"


def test():
    emulator, program, net, work = sys.argv[1:5]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    shutil.copy(net, os.path.join(work, "net.exe"))
    write_lines(work, "net-start.txt", ["次のサービスが開始されています:", "", "   Print Spooler",
                                        "   イベント ログ", "", "コマンドは正常に終了しました。"], CODEC)
    # Slot 1 on C: with a limit that it passes, the memory check off.
    numbers = [number_line(v) for v in (1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0)]
    write_lines(work, "check.ini", numbers + ["   イベント ログ", "   タスク スケジューラ"], CODEC)
    write_lines(work, "smtp.ini", ["mail.example.org", "a@example.org", "b@example.org",
                                   "Status", number_line(1), number_line(1)], CODEC)
    folder = "Z:" + os.path.abspath(work).replace("/", "\\")

    def run(*options):
        done = subprocess.run([emulator, program, "--dir", folder, *options],
                              capture_output=True, timeout=120)
        check(done.returncode == 2, f"exit {done.returncode}, not 2: {done.stdout!r}")
        return done.stdout.decode(CODEC)

    line = run("--prom", folder + "\\tolvane.prom")
    check(re.fullmatch(r"TOLVANE CRITICAL - service 'タスク スケジューラ' not running \| "
                       r"C:=\d+MB;;@0:0;0;\d+ physical=\d+MB;;;0;\d+ swap=\d+MB;;;0;\d+ "
                       r"services_not_running=1;;0;0;2\r\n", line), f"status line: {line!r}")

    body = run("--report")
    check(re.fullmatch(
        r"\[HDD容量チェック\]\r\nC:ドライブ --- OK\r\n\r\n\[サービス動作チェック\]\r\n"
        r"   イベント ログ --- OK\r\n   タスク スケジューラ --- NG\r\n\r\n\r\n"
        r"==============ここから詳細内容==============\r\n\r\n\[ディスク容量\]\r\n"
        r"C:ドライブ --- \d+ MBの空き\r\n\r\n\[メモリ情報\]\r\n物理メモリ使用率 --- \d+ % 使用中\r\n"
        r"物理メモリ空き   --- \d+ MBの空き\r\nスワップメモリ空き --- \d+ MBの空き\r\n\r\n"
        r"\[動作中のサービス\]\r\n   Print Spooler\r\n   イベント ログ\r\n\r\n", body),
        f"report body: {body!r}")

    with open(os.path.join(work, "tolvane.prom"), "rb") as metrics:
        data = metrics.read()
    check(data.startswith(b"# HELP ") and b"\r" not in data, f"metrics file: {data[:200]!r}")
    for sample in ("tolvane_check_success 1", 'tolvane_service_running{service="タスク スケジューラ"} 0'):
        check(f"\n{sample}\n" in data.decode("utf-8"), f"metrics file lacks {sample}")
    check(not [f for f in os.listdir(work) if f.endswith(".dat")], "a capture file was left")


run_main(test)
