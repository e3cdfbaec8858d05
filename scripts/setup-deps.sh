#!/usr/bin/env bash
# Installs the Debian packages the project needs (only those missing) and the npm packages of
# the interop checks. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libasio-dev libssl-dev openssl libjpeg62-turbo-dev
  qt6-base-dev
  cups cups-bsd cups-filters libcups2-dev libpoppler-cpp-dev ghostscript
  poppler-utils unrtf python3 libreoffice-writer-nogui
  libxml2-utils
  xvfb xauth xdotool x11-utils trayer
  clang libclang-rt-14-dev
  dpkg-dev help2man lintian adduser
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

if [ -f tests/interop/package-lock.json ] && [ ! -d tests/interop/node_modules ]; then
  npm ci --prefix tests/interop --no-audit --no-fund --loglevel=error
fi
