#!/usr/bin/env bash
# Installs what is missing, builds what running needs (vvpd, the signing library, vvp-store, the
# CUPS filter, the desktop program when it is part of the build; no tests or benchmarks), and
# runs the printer service in the foreground. Arguments are passed to vvpd (for example
# --program-folder DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target programs
exec build/bin/vvpd "$@"
