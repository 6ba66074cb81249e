#!/usr/bin/env bash
# Makes the pictures of the operators' guide, docs/ja/images/*.png, from the
# real program: build/tolvane (or the program given) on a virtual X server, in
# Japanese, over a temporary settings folder (--dir) holding sample settings.
# It saves the main window, the three settings dialogs (opened by their
# buttons' Alt keys) and the box of a failed test send, as 8-bit palette PNGs.
# Run it again after a window changes. Needs Xvfb, xdotool, xwininfo,
# ImageMagick's import and pngquant (scripts/setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/tolvane}")
out=docs/ja/images
mkdir -p "$out"
for tool in Xvfb xdotool xwininfo import pngquant; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
done
[ -x "$program" ] || { echo "screenshots: no program $program (build it first)" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  local status=$?
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
lines() { local file=$1; shift; printf '%s\r\n' "$@" >"$file"; }
sample_settings() {
  local dir=$1 server=$2 port=$3 security=$4
  mkdir -p "$dir"
  lines "$dir/check.ini" ' 1 ' ' 0 ' ' 0 ' ' 2 ' ' 3 ' ' 0 ' ' 5000 ' ' 500 ' ' 0 ' \
    ' 1 ' ' 100 ' ' 200 ' '   cron' '   ssh'
  lines "$dir/smtp.ini" "$server" tolvane@server1.example.co.jp admin@example.co.jp \
    'server1 status' ' 1 ' ' 1 ' " $port " " $security " '' ' 1 '
  local hours=()
  for hour in $(seq 0 23); do
    case $hour in 9 | 17) hours+=(' 1 ') ;; *) hours+=(' 0 ') ;; esac
  done
  lines "$dir/sendtime.ini" "${hours[@]}" 30 ' 5 ' ' 60 '
}

# The program's visible window titled exactly so, or nothing.
window() { xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null | tail -n1; }
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

# The main window and the three dialogs, each opened by its button's key and
# closed with キャンセル(&C).
sample_settings "$work/settings" smtp.provider.example 587 1
printf '%s\n' operator@provider.example 'sample-password' >"$work/settings/smtpauth.ini"
chmod 600 "$work/settings/smtpauth.ini"
start "$work/settings"
main=$(wait_window "$started" Tolvane)
shoot "$main" main
for dialog in "alt+s 監視項目設定 check-config" "alt+m メール送信設定 smtp-config" \
  "alt+t 送信時間設定 sendtime-config"; do
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
