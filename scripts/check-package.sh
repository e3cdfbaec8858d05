#!/usr/bin/env bash
# Checks the package built by scripts/build-package.sh on this machine, as root (CI): installs it
# with dpkg, runs vvpd and a converted job (plain and signed) from the installed files, creates a
# CUPS queue with the installed scripts when a scheduler runs, upgrades over itself keeping the
# settings, removes it keeping the server's state, and purges it. The package is purged again on
# any exit, so the machine is left without it.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(ls build/vvp_*_amd64.deb)
version=$(dpkg-deb -f "$deb" Version)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
scratch=$(mktemp -d)
queue=VvpPackageCheck
cleanup() {
    lpadmin -x "$queue" 2>/dev/null || true
    $SUDO dpkg --purge vvp >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap cleanup EXIT
step() { echo "-- $*"; }
fail() { echo "package check failed: $*" >&2; exit 1; }

if dpkg-query -W -f='${Status}' vvp 2>/dev/null | grep -q installed; then
    step "purging the vvp package installed before"
    $SUDO dpkg --purge vvp >/dev/null
fi

step "dpkg -i $(basename "$deb")"
$SUDO dpkg -i "$deb" >/dev/null
[ "$(/usr/bin/vvpd --version)" = "vvpd $version" ] || fail "vvpd --version: $(/usr/bin/vvpd --version)"
getent passwd vvp >/dev/null || fail "no user vvp"
[ -d /var/lib/vvp ] || fail "no /var/lib/vvp"

step "a job from the installed files (Save Mode 1, scratch program folder)"
export VVP_PROGRAM_FOLDER=$scratch/prog VVP_REGISTRY=$scratch/registry.reg TMP=$scratch/tmp
mkdir -p "$scratch/prog" "$scratch/tmp"
/usr/bin/vvpd set "Save Mode" 1 >/dev/null
[ -f "$scratch/prog/defaultlh.rtf" ] || fail "the program folder was not filled with the shipped defaults"
/usr/bin/vvpd convert tests/data/messages/referral_pit.prn >"$scratch/convert.log" ||
    { cat "$scratch/convert.log"; fail "vvpd convert"; }
ls "$scratch"/prog/VirtualPrinter/*.pit >/dev/null || fail "no PIT message"

step "a signed job through the installed signing library"
/usr/bin/vvp-store create-test "Dr A Person" a.person@example.com >/dev/null
/usr/bin/vvpd convert tests/data/messages/signing_asked.prn >"$scratch/signed.log" ||
    { cat "$scratch/signed.log"; fail "vvpd convert of a signed message"; }
openssl smime -verify -in "$(ls "$scratch"/prog/VirtualPrinter/*.sign.eml | head -1)" \
    -CAfile "$scratch/prog/testca.pem" -out /dev/null 2>/dev/null || fail "the signed duplicate does not verify"

if lpstat -r 2>/dev/null | grep -q "is running"; then
    step "a CUPS queue made by the installed scripts, PPD and filter"
    /usr/bin/vvpd printer create --name "$queue" --port 9199 >"$scratch/printer.log" 2>&1 ||
        { cat "$scratch/printer.log"; fail "vvpd printer create"; }
    lpadmin -x "$queue"
fi

step "the server's settings, as its user"
server_env=(VVP_PROGRAM_FOLDER=/var/lib/vvp VVP_REGISTRY=/var/lib/vvp/registry.reg TMP=/var/lib/vvp/spool)
(cd / && $SUDO runuser -u vvp -- env "${server_env[@]}" /usr/bin/vvpd set "Save Mode" 2 >/dev/null)

step "upgrade over itself"
$SUDO dpkg -i "$deb" >/dev/null
/usr/bin/vvpd settings 2>/dev/null | grep -qx "Save Mode=1" || fail "the user's settings were lost"
grep -q '"Save Mode"=dword:00000002' /var/lib/vvp/registry.reg || fail "the server's settings were lost"
[ -f /var/lib/vvp/defaultlh.rtf ] || fail "the server's program folder was not filled"

step "dpkg -r keeps the server's state"
$SUDO dpkg -r vvp >/dev/null
[ ! -e /usr/bin/vvpd ] || fail "vvpd still installed"
[ -f /var/lib/vvp/registry.reg ] || fail "removing deleted the server's settings"

step "dpkg --purge removes the server's state and user"
$SUDO dpkg --purge vvp >/dev/null
[ ! -e /var/lib/vvp ] || fail "/var/lib/vvp is still there"
! getent passwd vvp >/dev/null || fail "the user vvp is still there"
[ -f "$scratch/registry.reg" ] || fail "purging touched a user's settings"
echo "Package check passed: $(basename "$deb")"
