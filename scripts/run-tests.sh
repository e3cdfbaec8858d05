#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/run-tests.sh           default build, all tests
#   scripts/run-tests.sh --all     also the AddressSanitizer/UBSan build and a short fuzz run (CI)
#   scripts/run-tests.sh --tsan    also the ThreadSanitizer build
set -euo pipefail
cd "$(dirname "$0")/.."
all=0; tsan=0
for a in "$@"; do
  case "$a" in
    --all) all=1 ;;
    --tsan) tsan=1 ;;
    *) echo "unknown option $a" >&2; exit 2 ;;
  esac
done
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

scripts/setup-deps.sh

run_preset() {
  local preset=$1
  echo "== $preset build"
  cmake --preset "$preset" -DVVP_WERROR=$werror >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset tests"
  ctest --preset "$preset"
}

if [ $all -eq 1 ]; then
  echo "== clang-format (the checked-in style)"
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
fi
run_preset default
if [ $all -eq 1 ]; then
  run_preset asan
  echo "== fuzz targets (short fixed run)"
  cmake --preset fuzz -DVVP_WERROR=$werror >/dev/null
  cmake --build --preset fuzz
  for f in build-fuzz/bin/*_fuzz; do
    [ -x "$f" ] || continue
    echo "-- $(basename "$f")"
    # Seeds, where a target has them, are copied so the run does not grow the checked-in corpus.
    seeds=()
    if [ -d "bench/fuzz/corpus/$(basename "$f")" ]; then
      seeds=("$(mktemp -d)")
      cp "bench/fuzz/corpus/$(basename "$f")"/* "${seeds[0]}"/
    fi
    "$f" "${seeds[@]}" -max_total_time="${VVP_FUZZ_SECONDS:-20}" -rss_limit_mb=2048 -timeout=10 >/dev/null 2>"$f.log" || { tail -40 "$f.log"; exit 1; }
  done
fi
if [ $tsan -eq 1 ]; then
  run_preset tsan
fi
echo "All tests passed."
