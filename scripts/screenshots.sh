#!/usr/bin/env bash
# Makes the pictures of the operators' guide, docs/ja/images/*.png, from the
# real program: build/tolvane (or the program given) on a virtual X server, in
# Japanese, over a temporary settings folder (--dir) holding sample settings.
# It saves the main window, the three settings dialogs (opened by their
# buttons' Alt keys) and the box of a failed test send, as 8-bit palette PNGs.
# Run it again after a window changes. Needs Xvfb, xdotool, xwininfo,
# ImageMagick's import and pngquant (scripts/setup.sh installs them).
#
#   scripts/screenshots.sh [--wine[=FOLDER] | --wine-only[=FOLDER]] [PROGRAM]
#
# --wine also takes the main window and the three dialogs of the Windows
# program under Wine, as on a Japanese Windows (locale ja_JP.UTF-8, code page
# 932, settings files in Shift-JIS), saved with the suffix -windows
# (main-windows.png, ...); --wine-only takes those alone. FOLDER holds
# tolvane.exe and its DLLs as installed (default build-windows/stage, which
# the Windows tests stage; scripts/build-windows.sh and the test windows_stage
# make it). The Wine prefix is WINEPREFIX when set, else
# build-windows/wineprefix-screenshots; its first start takes a minute or two.
# Needs Wine and iconv besides (scripts/setup.sh --windows-tools).
set -euo pipefail
cd "$(dirname "$0")/.."
linux=1
windows_dir=
while [ $# -gt 0 ]; do
  case $1 in
    --wine | --wine=*) windows_dir=${1#--wine}; windows_dir=${windows_dir#=}
      windows_dir=${windows_dir:-build-windows/stage} ;;
    --wine-only | --wine-only=*) windows_dir=${1#--wine-only}; windows_dir=${windows_dir#=}
      windows_dir=${windows_dir:-build-windows/stage}; linux= ;;
    -*) echo "screenshots: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
program=$(realpath "${1:-build/tolvane}")
out=docs/ja/images
mkdir -p "$out"
for tool in Xvfb xdotool xwininfo import pngquant; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
done
if [ -n "$linux" ]; then
  [ -x "$program" ] || { echo "screenshots: no program $program (build it first)" >&2; exit 1; }
fi
if [ -n "$windows_dir" ]; then
  windows_dir=$(realpath "$windows_dir")
  [ -f "$windows_dir/tolvane.exe" ] ||
    { echo "screenshots: no $windows_dir/tolvane.exe (scripts/build-windows.sh, then the test windows_stage)" >&2; exit 1; }
  for tool in iconv wineserver; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
  done
  export TOLVANE_WINEPREFIX
  TOLVANE_WINEPREFIX=$(realpath -m "${WINEPREFIX:-build-windows/wineprefix-screenshots}")
  emulator=$(realpath cmake/wine-emulator.sh)
  wineserver=/usr/lib/wine/wineserver64
  [ -x "$wineserver" ] || wineserver=$(command -v wineserver)
fi

work=$(mktemp -d)
pids=()
wine_up=
cleanup() {
  local status=$?
  # The prefix's Wine server and what runs in it end before the X server.
  [ -z "$wine_up" ] || WINEPREFIX=$TOLVANE_WINEPREFIX "$wineserver" -k 2>/dev/null || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  # On a failure, what the program said.
  [ "$status" -eq 0 ] || cat "$work/stderr" >&2 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Runs the command until it succeeds, for at most about 20 s.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 200); do
    "$@" && return 0
    sleep 0.1
  done
  echo "screenshots: gave up waiting for $what" >&2
  exit 1
}

# The virtual X server, on a display it picks itself.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
pids+=($!)
wait_for "the X server" test -s "$work/display"
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=disabled: XDG_RUNTIME_DIR="$work"
unset WAYLAND_DISPLAY QT_SCALE_FACTOR
if locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
else
  export LANG=C.UTF-8 LC_ALL=C.UTF-8
fi

# Settings files: one value a line, CR LF (formats in README.md).
# On Windows in Shift-JIS, as the program writes them there (encoding=CP932).
encoding=UTF-8
lines() { local file=$1; shift; printf '%s\r\n' "$@" | iconv -f UTF-8 -t "$encoding" >"$file"; }
sample_settings() {
  local dir=$1 server=$2 port=$3 security=$4
  shift 4
  local services=("$@")
  [ ${#services[@]} -gt 0 ] || services=('   cron' '   ssh')
  mkdir -p "$dir"
  lines "$dir/check.ini" ' 1 ' ' 0 ' ' 0 ' ' 2 ' ' 3 ' ' 0 ' ' 5000 ' ' 500 ' ' 0 ' \
    ' 1 ' ' 100 ' ' 200 ' "${services[@]}"
  lines "$dir/smtp.ini" "$server" tolvane@server1.example.co.jp admin@example.co.jp \
    'server1 status' ' 1 ' ' 1 ' " $port " " $security " '' ' 1 '
  local hours=()
  for hour in $(seq 0 23); do
    case $hour in 9 | 17) hours+=(' 1 ') ;; *) hours+=(' 0 ') ;; esac
  done
  lines "$dir/sendtime.ini" "${hours[@]}" 30 ' 5 ' ' 60 '
}

# The program's visible window titled exactly so, or nothing. Without a
# process id (Wine's windows belong to no process of ours), any window.
window() {
  local by_pid=()
  [ -z "$1" ] || by_pid=(--pid "$1")
  xdotool search --all --onlyvisible "${by_pid[@]}" --name "^$2\$" 2>/dev/null | tail -n1
}
has_window() { [ -n "$(window "$1" "$2")" ]; }
# Waits for that window; prints its id.
wait_window() {
  wait_for "the window $2" has_window "$1" "$2"
  window "$1" "$2"
}
# Saves window $1 as $out/$2.png once it is painted: two captures in a row
# agree and show more than a few colours.
shoot() {
  local id=$1 name=$2
  import -window "$id" "$work/a.png"
  for _ in $(seq 100); do
    import -window "$id" "$work/b.png"
    if cmp -s "$work/a.png" "$work/b.png" && [ "$(identify -format %k "$work/b.png")" -gt 8 ]; then
      break
    fi
    mv "$work/b.png" "$work/a.png"
  done
  pngquant --force --strip --speed 1 --output "$out/$name.png" 64 "$work/a.png"
  echo "$out/$name.png"
}
keys() { xdotool windowfocus --sync "$1" key --clearmodifiers "${@:2}"; }
gone() { ! xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }

start() {
  "$program" --dir "$1" >"$work/stderr" 2>&1 &
  pids+=($!)
  started=$!
}

# The three dialogs: the main window's key, the title and the picture's name.
dialogs=("alt+s 監視項目設定 check-config" "alt+m メール送信設定 smtp-config"
  "alt+t 送信時間設定 sendtime-config")

if [ -n "$linux" ]; then
  # The main window and the three dialogs, each opened by its button's key and
  # closed with キャンセル(&C).
  sample_settings "$work/settings" smtp.provider.example 587 1
  printf '%s\n' operator@provider.example 'sample-password' >"$work/settings/smtpauth.ini"
  chmod 600 "$work/settings/smtpauth.ini"
  start "$work/settings"
  main=$(wait_window "$started" Tolvane)
  shoot "$main" main
  for dialog in "${dialogs[@]}"; do
    read -r key title name <<<"$dialog"
    keys "$main" "$key"
    id=$(wait_window "$started" "$title")
    shoot "$id" "$name"
    keys "$id" alt+c
    wait_for "the dialog $title to close" gone "$id"
  done

  # The box of a test send to a port where nothing listens.
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  sample_settings "$work/failing" 127.0.0.1 "$port" 0
  start "$work/failing"
  main=$(wait_window "$started" Tolvane)
  keys "$main" alt+e
  question=$(wait_window "$started" テスト送信)
  keys "$question" Return
  wait_for "the question to close" gone "$question"
  shoot "$(wait_window "$started" Error)" error-box
  # The Linux programs end (the X server, pids[0], stays): their windows
  # would be found under the same titles as Wine's.
  for pid in "${pids[@]:1}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  pids=("${pids[0]}")
fi

[ -n "$windows_dir" ] || exit 0

# The Windows program under Wine, on the same X server. Wine's windows take
# keys sent to them (there is no window manager to give focus), and one that
# has just come up may miss them: a key is sent again until what it opens or
# closes has done so.
encoding=CP932
# The program must find everything it loads in its own folder, and its own
# platform plugin (the emulator hands QT_* variables on to it).
wine() {
  env -u QT_QPA_PLATFORM -u TOLVANE_WINE_DLL_DIRS -u WINEPATH TOLVANE_WINE_DISPLAY="$DISPLAY" \
    "$emulator" "$@"
}
# Runs the command until it succeeds, for at most $1 tenths of a second.
try_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
# Sends key $2 to window $1 until the command after it succeeds.
key_until() {
  local id=$1 key=$2
  shift 2
  for _ in $(seq 10); do
    xdotool key --window "$id" "$key"
    try_for 30 "$@" && return 0
  done
  echo "screenshots: $key to window $id had no effect" >&2
  exit 1
}
# The prefix's first Wine server starts under this display, or the programs
# get no window driver.
WINEPREFIX=$TOLVANE_WINEPREFIX "$wineserver" -k 2>/dev/null || true
wine_up=1
echo "screenshots: starting the Wine prefix $TOLVANE_WINEPREFIX"
wine wineboot --init </dev/null >/dev/null 2>&1 || { echo "screenshots: wineboot failed" >&2; exit 1; }

# The same sample settings, with services as Windows in Japanese names them;
# no smtpauth.ini, which Windows keeps encrypted for its user.
sample_settings "$work/windows" smtp.provider.example 587 1 '   タスク スケジューラ' '   Print Spooler'
settings=Z:$(printf '%s' "$work/windows" | tr / '\\')
wine "$windows_dir/tolvane.exe" --dir "$settings" </dev/null >"$work/stderr" 2>&1 &
pids+=($!)
main=$(wait_window "" Tolvane)
shoot "$main" main-windows
for dialog in "${dialogs[@]}"; do
  read -r key title name <<<"$dialog"
  key_until "$main" "$key" has_window "" "$title"
  id=$(window "" "$title")
  shoot "$id" "$name-windows"
  key_until "$id" alt+c gone "$id"
done
xdotool key --window "$main" alt+F4
wait_for "the Windows program to end" gone "$main"
