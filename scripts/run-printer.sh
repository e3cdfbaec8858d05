#!/usr/bin/env bash
# Installs what is missing, builds, and runs the printer service in the foreground.
# Arguments are passed to vvpd (for example --program-folder DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
exec build/bin/vvpd "$@"
