#!/usr/bin/env bash
# Layout quality side by side: frlayout3d's default method, "-method quality"
# and sfdp in three dimensions on the ladder
# graphs, each scored by bench/quality_score.py. Prints a table per graph and
# appends it, as Markdown, to the output file. Graphs and DOT files come from
# the run_bench.sh cache. Run bench/quality_bench.sh --help for the options.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)

threads=2
only=""
huge=0
peer_timeout=900
tool_timeout=3600
pictures=""
out="/tmp/quality/quality.md"
cache="${FRLAYOUT_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/frlayout3d-bench}"
build="$repo/build-bench"
graphs="$repo/../shared/graphs"
py=/usr/bin/python3

usage() {
  cat <<'EOF'
usage: bench/quality_bench.sh [options]

Builds frlayout3d (Release) in build-bench, then for each ladder graph runs
the default method, -method quality
and sfdp -Gdim=3 -Gdimen=3, all with seed 1, and scores each layout with
bench/quality_score.py (stress, neighbourhood preservation, edge-length CV).

options:
  --only A,B,...    these graphs only (PGPgiantcompo 4elt wing grid1e4 grid1e5
                    rgg1e4 rgg1e5 pa1e5 grid1e6)
  --huge            add grid1e6
  --threads N       threads for frlayout3d (default 2; sfdp is single-threaded)
  --peer-timeout S  seconds before an sfdp run counts as unfinished (900)
  --timeout S       the same for frlayout3d (3600)
  --pictures DIR    a PNG per graph and method in DIR, plus DIR/quality-4elt.png
  --out FILE        Markdown table (default /tmp/quality/quality.md)
  --cache DIR       run_bench.sh's cache (graphs, DOT files)
EOF
}

while [ $# -gt 0 ]; do
  case "$1" in
    --only) only=$2; shift 2 ;;
    --huge) huge=1; shift ;;
    --threads) threads=$2; shift 2 ;;
    --peer-timeout) peer_timeout=$2; shift 2 ;;
    --timeout) tool_timeout=$2; shift 2 ;;
    --pictures) pictures=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --cache) cache=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "quality_bench.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done

ladder=(
  "PGPgiantcompo|file $graphs/PGPgiantcompo.graph"
  "4elt|file $graphs/4elt.graph"
  "grid1e4|grid 22 22 22"
  "rgg1e4|rgg 10000 10 1"
  "wing|file $graphs/wing.graph"
  "grid1e5|grid 46 46 46"
  "rgg1e5|rgg 100000 10 1"
  "pa1e5|pa 100000 5 1"
)
[ "$huge" = 1 ] && ladder+=("grid1e6|grid 100 100 100")
[ -n "$only" ] && [[ ",$only," == *",grid1e6,"* ]] && [ "$huge" = 0 ] && ladder+=("grid1e6|grid 100 100 100")

echo "building in $build ..." >&2
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFRLAYOUT_BENCH=ON \
  -DFRLAYOUT_TESTS=OFF >"$build.cmake.log" 2>&1 || { cat "$build.cmake.log" >&2; exit 1; }
cmake --build "$build" -j2 --target frlayout3d --target gen_graph >"$build.build.log" 2>&1 ||
  { tail -40 "$build.build.log" >&2; exit 1; }
rm -f "$build.cmake.log" "$build.build.log"
gen="$build/bench/gen_graph"
tool="$build/src/frlayout3d"
sfdp_bin=$(command -v sfdp || true)
[ -n "$sfdp_bin" ] || echo "quality_bench.sh: sfdp not found (Debian package graphviz); skipped" >&2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$cache/graphs" "$(dirname "$out")"
[ -n "$pictures" ] && mkdir -p "$pictures"
{
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$repo" rev-parse --short HEAD)$(
    [ -n "$(git -C "$repo" status --porcelain -- src)" ] && echo ' plus uncommitted changes in src/')"
  echo "machine: $(nproc) cores, shared with other builds; load at start $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "frlayout3d: -seed 1 -threads $threads; sfdp: $("$sfdp_bin" -V 2>&1 | head -1) -Gdim=3 -Gdimen=3, single-threaded, limit ${peer_timeout}s"
  echo
  echo "| graph | vertices | method | wall s | peak MB | stress | NP | edge-length CV |"
  echo "|---|---:|---|---:|---:|---:|---:|---:|"
} | tee -a "$out"

graph_file() {
  local name=$1 how=$2
  if [[ $how == file\ * ]]; then echo "${how#file }"; return; fi
  local path="$cache/graphs/$name.graph"
  if [ ! -s "$path" ]; then
    echo "generating $name ($how) ..." >&2
    # shellcheck disable=SC2086
    "$gen" $how "$path.tmp" && mv "$path.tmp" "$path"
  fi
  echo "$path"
}

# Runs, times and scores one method; appends one table row.
# usage: run_method NAME GRAPH VERTICES LABEL LAYOUT LIMIT COMMAND...
run_method() {
  local name=$1 graph=$2 n=$3 label=$4 layout=$5 limit=$6; shift 6
  local tf status wall kb score row
  tf=$(mktemp)
  echo "running $label on $name ..." >&2
  set +e
  /usr/bin/time -f '%e %M' -o "$tf" timeout "$limit" "$@" >"$work/stdout" 2>"$work/stderr"
  status=$?
  set -e
  read -r wall kb < <(tail -1 "$tf")
  rm -f "$tf"
  local mb
  mb=$(awk -v k="${kb:-0}" 'BEGIN {printf "%.0f", k/1024}')
  if [ "$status" = 124 ]; then
    row="| $name | $n | $label | did not finish in ${limit}s | $mb | - | - | - |"
  elif [ "$status" != 0 ]; then
    row="| $name | $n | $label | exit status $status | $mb | - | - | - |"
    tail -3 "$work/stderr" >&2
  else
    read -r _ s _ p _ c < <("$py" "$here/quality_score.py" "$graph" "$layout")
    row="| $name | $n | $label | $wall | $mb | $s | $p | $c |"
    if [ -n "$pictures" ]; then
      "$py" "$here/quality_score.py" --picture "$pictures/quality-$name-$label.png" "$name, $label" "$graph" "$layout"
    fi
  fi
  echo "$row" | tee -a "$out"
}

for entry in "${ladder[@]}"; do
  IFS='|' read -r name how <<<"$entry"
  if [ -n "$only" ] && [[ ",$only," != *",$name,"* ]]; then continue; fi
  graph=$(graph_file "$name" "$how")
  n=$(awk '!/^%/ {print $1; exit}' "$graph")
  run_method "$name" "$graph" "$n" frlayout "$work/$name.default.3dlayout" "$tool_timeout" \
    "$tool" -in "$graph" -out "$work/$name.default.3dlayout" -seed 1 -threads "$threads" -method frlayout
  run_method "$name" "$graph" "$n" quality "$work/$name.quality.3dlayout" "$tool_timeout" \
    "$tool" -in "$graph" -out "$work/$name.quality.3dlayout" -seed 1 -threads "$threads" -method quality
  if [ -n "$sfdp_bin" ]; then
    dot="$cache/graphs/$name.dot"
    if [ ! -s "$dot" ]; then "$gen" dot "$graph" "$dot.tmp" && mv "$dot.tmp" "$dot"; fi
    run_method "$name" "$graph" "$n" sfdp "$work/$name.sfdp.dot" "$peer_timeout" \
      "$sfdp_bin" -Gdim=3 -Gdimen=3 -Gstart=1 -Tdot -o "$work/$name.sfdp.dot" "$dot"
  fi
  if [ -n "$pictures" ] && [ "$name" = 4elt ]; then
    shots=("$work/4elt.default.3dlayout" "frlayout" "$work/4elt.quality.3dlayout" "quality")
    [ -n "$sfdp_bin" ] && shots+=("$work/4elt.sfdp.dot" "sfdp")
    "$py" "$here/quality_score.py" --side "$pictures/quality-4elt.png" "$graph" "${shots[@]}"
  fi
  rm -f "$work/$name".*
done
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)" | tee -a "$out"
