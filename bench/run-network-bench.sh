#!/usr/bin/env bash
# Measures the listener against its goals on this machine; prints the figures.
#   bench/run-network-bench.sh [BUILD_DIR] [JOBS]
# BUILD_DIR defaults to build (the default preset, optimised); JOBS to 20000 for the rate runs.
set -euo pipefail
build=${1:-build}
jobs=${2:-20000}
bin=$(cd "$build/bin" && pwd)
work=$(mktemp -d /tmp/vvp-netbench-XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("",0)); print(s.getsockname()[1])'; }
wait_port() { for _ in $(seq 200); do (exec 3<>/dev/tcp/127.0.0.1/$1) 2>/dev/null && return 0; sleep 0.05; done; return 1; }

# A fresh vvpd in Save Mode 1 on its own folders; sets port, pid, save.
start_vvpd() {
  local d="$work/$1"
  mkdir -p "$d/prog" "$d/tmp"
  port=$(free_port)
  local v=("$bin/vvpd" --program-folder "$d/prog" --registry "$d/registry.reg")
  TMP="$d/tmp" "${v[@]}" set "Save Mode" 1 >/dev/null
  TMP="$d/tmp" "${v[@]}" set Port "$port" >/dev/null
  # The paper-copy printer exists, so no prompt is answered per job.
  TMP="$d/tmp" "${v[@]}" set "Report Printer" PDF >/dev/null
  TMP="$d/tmp" "${v[@]}" > "$d/vvpd.log" 2>&1 &
  pid=$!
  save="$d/prog/VirtualPrinter"
  wait_port "$port"
}
stop_vvpd() { kill -TERM "$pid"; wait "$pid" || true; }

echo "== baseline: single-threaded accept-and-write-to-file server"
mkdir -p "$work/baseline"
bport=$(free_port)
"$bin/baseline_server" "$bport" "$work/baseline" &
bpid=$!
wait_port "$bport"
"$bin/load_driver" throughput --port "$bport" --jobs "$jobs" --senders 32
kill "$bpid"; wait "$bpid" 2>/dev/null || true

echo "== vvpd: $jobs health-message jobs, 32 senders, end to end"
start_vvpd rate
"$bin/load_driver" throughput --port "$port" --jobs "$jobs" --senders 32 --save-path "$save"
stop_vvpd

echo "== vvpd: 100000 jobs, none lost or stored twice"
start_vvpd verify
"$bin/load_driver" throughput --port "$port" --jobs 100000 --senders 32 --save-path "$save" --verify
stop_vvpd

echo "== vvpd: 10000 idle connections while jobs arrive"
start_vvpd idle
"$bin/load_driver" idle --port "$port" --idle 10000 --jobs 2000 --senders 4 --rate 200 --save-path "$save" --pid "$pid"
stop_vvpd
