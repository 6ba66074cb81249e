#!/usr/bin/env bash
# Runs a test beside an SMTP server on a loopback port:
#
#   with_smtp_sink.sh FOLDER COMMAND [ARGUMENT...]
#
# smtp_sink.py serves for as long as COMMAND runs and saves what it accepts into
# FOLDER, which is emptied first. COMMAND learns the server's port from
# TOLVANE_SMTP_SINK_PORT and the folder from TOLVANE_SMTP_SINK_DIR; give FOLDER
# relative to the working folder, so that a Windows test under Wine reads the
# same folder. The server runs here, on the build machine, where a test under
# an emulator could not start it.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
folder="$1"
shift
rm -rf "$folder"
mkdir -p "$folder"
control="$(mktemp -d)"
trap 'rm -rf "$control"' EXIT
mkfifo "$control/input"
# The server ends when its input closes: this script holds the writing end
# (descriptor 3) and keeps it from COMMAND.
# Debian's interpreter, for which scripts/setup.sh installs the module.
/usr/bin/python3 "$here/smtp_sink.py" "$folder" <"$control/input" >"$control/port" &
sink=$!
exec 3>"$control/input"
for _ in $(seq 100); do
  [ -s "$control/port" ] && break
  kill -0 "$sink" 2>/dev/null || break
  sleep 0.1
done
port="$(head -n1 "$control/port")"
if [ -z "$port" ]; then
  echo "with_smtp_sink: the SMTP server did not start (python3-aiosmtpd missing?)" >&2
  exit 1
fi
status=0
TOLVANE_SMTP_SINK_PORT="$port" TOLVANE_SMTP_SINK_DIR="$folder" "$@" 3>&- || status=$?
exec 3>&-
wait "$sink" || true
exit "$status"
