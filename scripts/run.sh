#!/usr/bin/env bash
# Builds the terminal and starts it. Extra arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
extra=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  extra+=(xvfb xauth)
fi
bash "$root/scripts/deps.sh" "${extra[@]}"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
if ((${#extra[@]})); then
  echo "No graphical session found: starting under a virtual X server (xvfb-run)."
  exec xvfb-run -a "$root/build/bin/dravolux-terminal" "$@"
fi
exec "$root/build/bin/dravolux-terminal" "$@"
