#!/usr/bin/env bash
# Builds the Debian package build/vvp_<version>_amd64.deb from the default build: only the
# programs, their manual pages and the package's files are built (no tests or benchmarks).
# Needs dpkg-dev (dpkg-shlibdeps) and help2man, which scripts/setup-deps.sh installs.
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake --preset default -DVVP_WERROR=$werror >/dev/null
cmake --build --preset default --target package-files
rm -f build/vvp_*.deb
(cd build && cpack -G DEB >/dev/null)
ls build/vvp_*_amd64.deb
