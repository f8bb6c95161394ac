#!/usr/bin/env bash
# Benchmarks of whole runs: per-phase wall time (phase_bench) and peak memory of the program
# itself (GNU time). Run from the repository root after building the release preset:
#   cmake --preset release && cmake --build --preset release && bash bench/run.sh
set -euo pipefail
build=${BUILD:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

scenario() {
  local k=$1 m=$2
  shift 2
  echo "== K=$k M=$m options: ${*:-none}"
  "$build/bench/phase_bench" tab "$k" "$m" "$@"
  "$build/make_scene" cage "$k" "$work/cage.txt"
  "$build/make_scene" points "$m" 1 "$work/model.txt"
  /usr/bin/time -f "whole run: %e s wall, peak memory %M KiB" \
    "$build/cagewarp" "$work/cage.txt" "$work/model.txt" "$@" >/dev/null
}

scenario 10 100000
scenario 4 100000 b s s s
scenario 10 100000 b s s
