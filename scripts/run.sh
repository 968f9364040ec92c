#!/usr/bin/env bash
# Builds the terminal and the measurement server, starts the server on a free
# local port with the demo installation and a few days of history, and starts
# the terminal with that server already in its list: press "Connect".
# Closing the terminal stops the server. Extra arguments go to the terminal.
#
# The demo keeps its own settings, server data and terminal base folder in
# build/demo (DRAVOLUX_DEMO_DIR overrides it); the user's own settings are
# never touched.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
extra=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  extra+=(xvfb xauth)
fi
bash "$root/scripts/deps.sh" "${extra[@]}"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

demo="${DRAVOLUX_DEMO_DIR:-$root/build/demo}"
mkdir -p "$demo/config" "$demo/server-data" "$demo/terminal"
log="$demo/server.log"
: >"$log"
"$root/build/bin/dravolux-server" --listen 127.0.0.1:0 --data "$demo/server-data" \
  --history "${DRAVOLUX_DEMO_HISTORY_DAYS:-3}" --period "${DRAVOLUX_DEMO_PERIOD:-5}" >>"$log" 2>&1 &
server_pid=$!
stop_server() {
  kill -TERM "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
}
trap stop_server EXIT

echo "Starting the measurement server (log: $log) ..."
address=""
for _ in $(seq 1 1200); do
  address="$(sed -n 's/^Listening on \(.*\)$/\1/p' "$log" | head -n 1)"
  [ -n "$address" ] && break
  if ! kill -0 "$server_pid" 2>/dev/null; then
    cat "$log" >&2
    echo "The measurement server did not start." >&2
    exit 1
  fi
  sleep 0.1
done
if [ -z "$address" ]; then
  echo "The measurement server did not report its address in time." >&2
  exit 1
fi
echo "Measurement server listening on $address"

# Settings of this demo only: the server path list holds the demo server.
export XDG_CONFIG_HOME="$demo/config"
conf="$XDG_CONFIG_HOME/Dravolux_Soft.conf"
touch "$conf"
grep -v '^TCPpath=' "$conf" >"$conf.new" || true
if ! grep -q '^\[General\]' "$conf.new"; then
  { echo '[General]'; cat "$conf.new"; } >"$conf.new2" && mv "$conf.new2" "$conf.new"
fi
sed -i "/^\[General\]/a TCPpath=\"\\\\\"$address\\\\\"\"" "$conf.new"
mv "$conf.new" "$conf"

cd "$demo/terminal"
status=0
if ((${#extra[@]})); then
  echo "No graphical session found: starting under a virtual X server (xvfb-run)."
  xvfb-run -a "$root/build/bin/dravolux-terminal" "$@" || status=$?
else
  "$root/build/bin/dravolux-terminal" "$@" || status=$?
fi
exit "$status"
