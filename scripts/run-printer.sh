#!/usr/bin/env bash
# Installs what is missing, builds what running needs (vvpd, the signing library, vvp-store, the
# CUPS filter, the desktop program; no tests or benchmarks), and runs the desktop app vvp where
# a display exists, else the printer service vvpd in the foreground. Arguments are passed on (for
# example --program-folder DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target programs
# With a display the desktop app (window, tray, questions as dialogs); without one the service.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "A display is there: starting the desktop app build/bin/vvp (without a display: vvpd)." >&2
  exec build/bin/vvp "$@"
fi
echo "No display (\$DISPLAY, \$WAYLAND_DISPLAY): starting the printer service build/bin/vvpd." >&2
exec build/bin/vvpd "$@"
