#!/usr/bin/env bash
# Big cages written as Matrix Market files: whole-run wall time and peak memory (GNU time) for
# the workloads that a dense weight matrix could not hold, next to what the dense vertex matrix
# (one float per cage vertex per refined vertex) would need. Takes a few minutes. From the
# repository root, after building:
#   cmake --preset release && cmake --build --preset release && bash bench/big_cages.sh
set -euo pipefail
build=${BUILD:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

scenario() {
  local k=$1 m=$2
  shift 2
  echo "== K=$k ($(((k + 1) * (k + 1) * (k + 1))) cage vertices) M=$m options: ${*:-none} --mtx"
  "$build/make_scene" cage "$k" "$work/cage.txt"
  "$build/make_scene" points "$m" 1 "$work/model.txt"
  /usr/bin/time -f "whole run: %e s wall, peak memory %M KiB" \
    "$build/cagewarp" "$work/cage.txt" "$work/model.txt" "$@" --mtx >"$work/stdout"
  # A K^3 hexahedral grid refined s times has (K 2^s + 1)^3 vertices; the dense design holds
  # 3 + n floats for each of them.
  local steps=0 op
  for op in "$@"; do [[ $op == [ls] ]] && steps=$((steps + 1)); done
  local n=$(((k + 1) ** 3)) v=$(((k * 2 ** steps + 1) ** 3))
  echo "dense vertex matrix $((3 + n)) x $v: $(echo "(3 + $n) * $v * 4 / 2^30" | bc -l | xargs printf '%.1f') GiB"
  echo ".mtx: $(wc -c <"$work/cage.txt.mtx") bytes, $(sed -n 2p "$work/cage.txt.mtx" | cut -d' ' -f3) entries"
  rm -f "$work"/cage.txt.*
}

scenario 16 1000000 b s s s
scenario 10 100000 b s s s
scenario 36 100000
