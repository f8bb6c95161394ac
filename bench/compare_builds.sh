#!/usr/bin/env bash
# Runs two builds of the program on the same scenes and compares every output byte: .mat, .ind,
# .out, standard output (heap addresses aside) and standard error, at 1, 2 and 7 threads. Meant for changes that
# must not move a single bit. Scenes: the bundled examples, generated cages of K = 2..6 with
# random points, lattice points on and beside the cells' corners, edges and faces, the refined
# cage's own vertices, NaN and infinite coordinates, and a cage mixing all four volume types.
#   bash bench/compare_builds.sh REFERENCE_BUILD_DIR NEW_BUILD_DIR
# Prints one line per difference and a count; exits 1 when anything differs.
set -uo pipefail
if [ $# -ne 2 ]; then
  echo "usage: compare_builds.sh REFERENCE_BUILD_DIR NEW_BUILD_DIR" >&2
  exit 2
fi
ref=$(realpath "$1")
new=$(realpath "$2")
tables=$(realpath "$(dirname "$0")/../tab")
examples=$(realpath "$(dirname "$0")/../examples")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=0
differences=0

# The vertex block of a mesh text file, as a model of points.
vertices_of() {
  awk '/^v /{on=1} on' "$1"
}

# Lattice points i / (2K) for i = -1 .. 2K + 1 on each axis (corners, edge and face midpoints of
# the unwarped grid, points just outside) and a few non-finite points.
lattice_model() {
  awk -v k="$1" 'BEGIN {
    n = 2 * k + 3; print "v 3 " (n * n * n + 5)
    for (i = -1; i <= 2 * k + 1; ++i) for (j = -1; j <= 2 * k + 1; ++j)
      for (l = -1; l <= 2 * k + 1; ++l) printf "%.9g %.9g %.9g\n", i / (2 * k), j / (2 * k), l / (2 * k)
    print "nan 0.5 0.5"; print "0.5 inf 0.5"; print "0.5 0.5 -inf"; print "nan nan nan"; print "inf -inf nan"
  }'
}

# Concatenates point models (the "v 3 N" blocks) into one.
join_models() {
  awk '/^v /{next} /^[-+0-9in]/{rows[++n]=$0} END {print "v 3 " n; for (i = 1; i <= n; ++i) print rows[i]}' "$@"
}

# Runs both builds on cage $1 and model $2 with the options that follow and compares the outputs.
compare() {
  local cage=$1 model=$2
  shift 2
  for threads in 1 2 7; do
    local outputs=() side=0
    for build in "$ref" "$new"; do
      side=$((side + 1))
      local dir="$work/run$side"
      mkdir -p "$dir"
      cp "$cage" "$dir/cage.txt"
      cp "$model" "$dir/model.txt"
      (cd "$dir" && "$build/cagewarp" cage.txt model.txt "$@" --tables "$tables" \
        --threads "$threads" </dev/null 2>stderr.txt | sed 's/data:0x[0-9a-f]*/data:ADDR/' >stdout.txt)
      outputs+=("$dir")
    done
    runs=$((runs + 1))
    if [ ! -s "${outputs[0]}/stdout.txt" ]; then
      echo "NO OUTPUT from the reference for $(basename "$cage") $(basename "$model") options '$*'"
      differences=$((differences + 1))
    fi
    for f in stdout.txt stderr.txt cage.txt.mat cage.txt.ind cage.txt.out; do
      if [ -e "${outputs[0]}/$f" ] || [ -e "${outputs[1]}/$f" ]; then
        if ! cmp -s "${outputs[0]}/$f" "${outputs[1]}/$f"; then
          echo "DIFFERS: $f for $(basename "$cage") $(basename "$model") options '$*' threads $threads"
          differences=$((differences + 1))
        fi
      fi
    done
    rm -rf "${outputs[@]}"
  done
}

option_sets=("" "b" "l" "s" "b s s" "s o" "b l s o")

for cage in cage.txt cage_bent.txt; do
  for options in "${option_sets[@]}"; do
    # shellcheck disable=SC2086
    compare "$examples/$cage" "$examples/model.txt" $options
  done
done

for k in 2 3 4 5 6; do
  "$ref/make_scene" cage "$k" "$work/cage$k.txt"
  "$ref/make_scene" points 3000 "$k" "$work/random$k.txt"
  lattice_model "$k" >"$work/lattice$k.txt"
  vertices_of "$work/cage$k.txt" >"$work/corners$k.txt"
  join_models "$work/random$k.txt" "$work/lattice$k.txt" "$work/corners$k.txt" >"$work/model$k.txt"
  sets=("" "l" "b s")
  [ "$k" -le 3 ] && sets+=("l l" "b s s" "s o" "b l s o")
  for options in "${sets[@]}"; do
    # The refined cage's own vertices join the model, so some points sit exactly on refined cells'
    # corners, edges and faces.
    # shellcheck disable=SC2086
    (cd "$work" && "$ref/cagewarp" "cage$k.txt" "model$k.txt" $options --tables "$tables" \
      --threads 2 --cage-out refined.txt </dev/null >/dev/null 2>&1)
    vertices_of "$work/refined.txt" >"$work/refined_corners.txt"
    join_models "$work/model$k.txt" "$work/refined_corners.txt" >"$work/full$k.txt"
    # shellcheck disable=SC2086
    compare "$work/cage$k.txt" "$work/full$k.txt" $options
  done
done

# Many points in many small cells, as the benchmarks have them.
"$ref/make_scene" points 150000 9 "$work/many.txt"
compare "$work/cage2.txt" "$work/many.txt" l l l

# Tetrahedra, an octahedron, a prism and a hexahedron sharing faces, with surface, line and point
# cells beside them.
cat >"$work/mixed.txt" <<'EOF'
% mixed cage
f 7 1
0 1 2 3 4 5 6 7
f 6 1
1 8 2 5 9 6
f 4 2
4 5 7 10
5 11 10 7
f 5 1
13 5 6 7 11 12
f 3 3
0 3 2 1
8 16 17 9
18 0 3 19
f 2 3
1 8 2
1 2 3
0 1 3
f 1 2
6 14
4 6
f 0 1
15
v 3 21
-0.03 0.015 -0.01
1.0075 -0.0075 0.005
1.03 0.985 0.01
0 1 0
-0.015 0.0075 0.995
1.015 -0.0075 1.005
1.0075 0.985 1.01
-0.03 1.015 0.99
2.0075 -0.0075 0.0025
2.03 0.985 0.01
0 0 2
1.015 -0.0075 2.005
-0.03 1.015 1.99
1 1 2
2.015 1.9925 2.005
-1.03 -0.985 -1.01
3 0 0
3.0075 -0.0075 0.0025
-1.015 0.0075 -0.005
-1.0075 1.0075 0
5 5 5
EOF
awk 'BEGIN { print "v 3 " (13 * 13 * 13)
  for (i = -2; i <= 10; ++i) for (j = -2; j <= 10; ++j) for (k = -2; k <= 10; ++k)
    printf "%.9g %.9g %.9g\n", i / 4, j / 4, k / 4 }' >"$work/quarters.txt"
"$ref/make_scene" points 3000 7 "$work/unit.txt"
awk '/^v /{print; next} /^[-0-9]/{printf "%.9g %.9g %.9g\n", 3 * $1 - 0.5, 3 * $2 - 0.5, 3 * $3 - 0.5}' \
  "$work/unit.txt" >"$work/spread.txt"
vertices_of "$work/mixed.txt" >"$work/mixed_corners.txt"
join_models "$work/quarters.txt" "$work/spread.txt" "$work/mixed_corners.txt" \
  "$work/lattice2.txt" >"$work/mixed_model.txt"
for options in "${option_sets[@]}" "l l" "b s s s"; do
  # shellcheck disable=SC2086
  compare "$work/mixed.txt" "$work/mixed_model.txt" $options
done

echo "$runs runs compared, $differences outputs differ"
[ "$differences" -eq 0 ]
