#!/usr/bin/env bash
# Benchmarks of whole runs: per-phase wall time and the location rate at one and two threads
# (phase_bench), then whole runs of the program at one and two threads with their peak memory
# (GNU time) next to dd writing as many bytes as the run wrote. The machine may be shared, so
# compare the figures of one run with each other. From the repository root, after building:
#   cmake --preset release && cmake --build --preset release && bash bench/run.sh
# With `big`, instead: big cages written as Matrix Market files (a few minutes), their wall time
# and peak memory next to what the dense vertex matrix (one float per cage vertex per refined
# vertex) would need. With `outside`: 1 M points of which 10 % lie outside the cage, kept and
# bound with --outside nearest. With `coordinates`: locating 1 M points with Wachspress against trilinear
# coordinates, and the Newton steps the trilinear ones take.
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
  for threads in 1 2; do
    /usr/bin/time -f "whole run, $threads thread(s): %e s wall, peak memory %M KiB" \
      "$build/cagewarp" "$work/cage.txt" "$work/model.txt" "$@" --threads $threads >/dev/null
  done
  local bytes
  bytes=$(cat "$work/cage.txt.mat" "$work/cage.txt.ind" | wc -c)
  local start end
  start=$(date +%s.%N)
  head -c "$bytes" /dev/zero | dd of="$work/dd.out" bs=1M iflag=fullblock status=none
  end=$(date +%s.%N)
  echo "dd writing the same $bytes bytes: $(echo "$end - $start" | bc) s"
  rm -f "$work"/cage.txt.* "$work/dd.out"
}

big_scenario() {
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

# 1 M points over the unit cube grown by 0.0178 on every side, so that about 10 % lie outside the
# cage of 10 x 10 x 10 cells, bound by the default run (they stay) and by --outside nearest. On a
# shared machine the user time says more than the wall time.
if [ "${1:-}" = outside ]; then
  "$build/make_scene" cage 10 "$work/cage.txt"
  "$build/make_scene" points 1000000 1 "$work/model.txt" 0.0178
  for mode in keep nearest; do
    /usr/bin/time -f "--outside $mode, 2 threads: %e s wall, %U s user, %S s system, peak memory %M KiB" \
      "$build/cagewarp" "$work/cage.txt" "$work/model.txt" --outside $mode --threads 2 \
      2>&1 >/dev/null | sed 's/^/  /'
  done
  exit 0
fi

if [ "${1:-}" = coordinates ]; then
  "$build/bench/coordinates_bench" tab 4 1000000 b s s
  "$build/bench/coordinates_bench" tab 10 1000000
  exit 0
fi

# With `scale`: refinement at scale, the 16^3 cage refined `b s s s` with 1 M points written as
# Matrix Market, and the 4^3 cage refined `b s s` with 100 k points, each at one and two threads:
# wall, user and peak memory. With REF=<another build directory> every run is made with both
# builds in turn, so that the figures of one run can be compared on a shared machine.
if [ "${1:-}" = scale ]; then
  builds=("$build")
  [ -n "${REF:-}" ] && builds=("$REF" "$build")
  "$build/make_scene" points 1000000 1 "$work/model1m.txt"
  "$build/make_scene" points 100000 1 "$work/model100k.txt"
  for k in 16 4; do "$build/make_scene" cage "$k" "$work/cage$k.txt"; done
  for threads in 1 2; do
    for b in "${builds[@]}"; do
      /usr/bin/time -f "16^3 b s s s, 1 M points, --mtx, $threads thread(s), $b: %e s wall, %U s user, peak %M KiB" \
        "$b/cagewarp" "$work/cage16.txt" "$work/model1m.txt" b s s s --mtx --threads $threads \
        2>&1 >/dev/null | grep '^16'
      rm -f "$work"/cage16.txt.*
    done
  done
  for threads in 1 2; do
    for b in "${builds[@]}"; do
      /usr/bin/time -f "4^3 b s s, 100 k points, $threads thread(s), $b: %e s wall, %U s user, peak %M KiB" \
        "$b/cagewarp" "$work/cage4.txt" "$work/model100k.txt" b s s --threads $threads \
        2>&1 >/dev/null | grep '^4'
      rm -f "$work"/cage4.txt.*
    done
  done
  exit 0
fi

if [ "${1:-}" = big ]; then
  big_scenario 16 1000000 b s s s
  big_scenario 10 100000 b s s s
  big_scenario 36 100000
  exit 0
fi

scenario 10 100000
scenario 2 1000000 l l l
scenario 4 100000 b s s s
scenario 4 100000 b s s
