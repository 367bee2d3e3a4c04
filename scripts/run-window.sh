#!/usr/bin/env bash
# Starts the window, or says in one line how to when there is no display.
set -euo pipefail
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && "${QT_QPA_PLATFORM:-}" == "" ]]; then
  echo "elevara: no display here; run it under a virtual one: xvfb-run -a $1"
  exit 0
fi
exec "$1"
