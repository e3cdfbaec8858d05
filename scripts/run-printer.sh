#!/usr/bin/env bash
# Installs what is missing, builds, and runs the printer service in the foreground.
# Arguments are passed to vvpd (for example --program-folder DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
# With a display the desktop app (window, tray, questions as dialogs); without one the service.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "A display is there: starting the desktop app build/bin/vvp (without a display: vvpd)." >&2
  exec build/bin/vvp "$@"
fi
echo "No display (\$DISPLAY, \$WAYLAND_DISPLAY): starting the printer service build/bin/vvpd." >&2
exec build/bin/vvpd "$@"
