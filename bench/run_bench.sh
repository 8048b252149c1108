#!/usr/bin/env bash
# The benchmark ladder: builds frlayout3d in Release mode with the bench
# tools, generates the ladder graphs into a cache directory (once), runs the
# tool on each graph and prints one Markdown table row per graph. With
# --peer it also times sfdp in three dimensions on the same graphs.
# Run bench/run_bench.sh --help for the options.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/.." && pwd)

threads=2
processes=1
only=""
skip_huge=0
peer=0
peer_only=0
peer_timeout=900
tool_timeout=3600
friterations=""
cache="${FRLAYOUT_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/frlayout3d-bench}"
build="$repo/build-bench"
graphs="$repo/../shared/graphs"
bin=""
rev=""
keep_output=0
list_only=0

usage() {
  cat <<'EOF'
usage: bench/run_bench.sh [options]

Builds frlayout3d (Release) and the generator, makes the ladder graphs in
the cache directory if they are not there yet, runs
"frlayout3d -seed 1 -timings -threads N" on each and prints a Markdown
table row per graph as it finishes.

options:
  --threads N         threads for frlayout3d (default 2)
  --processes P       run on P processes with mpirun (builds with -DFRLAYOUT_MPI=ON
                      in build-bench-mpi); peak MB is then the largest process's
  --only A,B,...      run only these ladder graphs (see --list)
  --skip-huge         leave out the 10^6-vertex graphs
  --peer              also time sfdp -Gdimen=3 on each graph (needs graphviz)
  --peer-only         time only the peer
  --peer-timeout S    seconds before a peer run counts as "did not finish" (900)
  --timeout S         the same for frlayout3d (3600)
  --friterations N    pass -friterations N to frlayout3d (quick looks only)
  --bin FILE          time this frlayout3d binary instead of building one
  --rev REV           build frlayout3d from commit REV (exported with git
                      archive into the cache, the work tree untouched), e.g.
                      to measure "before" while src/ is being changed
  --build DIR         build directory (default build-bench in the repository)
  --cache DIR         where graphs, DOT files and run logs go
                      (default $FRLAYOUT_BENCH_CACHE or ~/.cache/frlayout3d-bench)
  --graphs DIR        folder of the real graphs (default ../shared/graphs)
  --keep-output       keep the .3dlayout files in the cache
  --list              print the ladder and exit
EOF
}

while [ $# -gt 0 ]; do
  case "$1" in
    --threads) threads=$2; shift 2 ;;
    --processes) processes=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --skip-huge) skip_huge=1; shift ;;
    --peer) peer=1; shift ;;
    --peer-only) peer=1; peer_only=1; shift ;;
    --peer-timeout) peer_timeout=$2; shift 2 ;;
    --timeout) tool_timeout=$2; shift 2 ;;
    --friterations) friterations=$2; shift 2 ;;
    --bin) bin=$2; shift 2 ;;
    --rev) rev=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --cache) cache=$2; shift 2 ;;
    --graphs) graphs=$2; shift 2 ;;
    --keep-output) keep_output=1; shift ;;
    --list) list_only=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "run_bench.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done

# The ladder: name, how to get it, and its group: 0 the ladder, 1 the 10^6
# graphs, 2 the awkward inputs of the multilevel method, run only when named
# with --only. Real graphs come from the graphs folder; the others from
# gen_graph.
ladder=()
for g in delaunay_n10 PGPgiantcompo 4elt wing; do
  [ -f "$graphs/$g.graph" ] && ladder+=("$g|file $graphs/$g.graph|0")
done
ladder+=(
  "grid1e4|grid 22 22 22|0"
  "grid1e5|grid 46 46 46|0"
  "rgg1e4|rgg 10000 10 1|0"
  "rgg1e5|rgg 100000 10 1|0"
  "pa1e5|pa 100000 5 1|0"
  "grid1e6|grid 100 100 100|1"
  "rgg1e6|rgg 1000000 10 1|1"
  "star1e6|star 1000000|2"
  "isolated1e6|isolated 1000000|2"
  "triangles60|triangles 60|2"
)

if [ "$list_only" = 1 ]; then
  for entry in "${ladder[@]}"; do
    IFS='|' read -r name how huge <<<"$entry"
    note=""
    [ "$huge" = 1 ] && note='   (10^6: left out by --skip-huge)'
    [ "$huge" = 2 ] && note='   (awkward input: only with --only)'
    printf '%-14s %s%s\n' "$name" "$how" "$note"
  done
  exit 0
fi

selected() {
  local name=$1 huge=$2
  if [ -n "$only" ]; then
    [[ ",$only," == *",$name,"* ]]
    return
  fi
  [ "$huge" = 0 ] || { [ "$huge" = 1 ] && [ "$skip_huge" = 0 ]; }
}

if [ -n "$only" ]; then
  for want in ${only//,/ }; do
    found=0
    for entry in "${ladder[@]}"; do [ "${entry%%|*}" = "$want" ] && found=1; done
    [ "$found" = 1 ] || { echo "run_bench.sh: no ladder graph named $want (see --list)" >&2; exit 2; }
  done
fi

timer=/usr/bin/time
if [ ! -x "$timer" ] && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
  echo "installing the Debian package 'time' for $timer ..." >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time >/dev/null 2>&1 || true
fi
if [ ! -x "$timer" ]; then
  echo "run_bench.sh: $timer is missing (Debian package 'time')" >&2
  exit 1
fi

# --- build -----------------------------------------------------------------
echo "building in $build ..." >&2
launcher=()
mpi_flag=OFF
if [ "$processes" -gt 1 ]; then
  mpi_flag=ON
  [ "$build" = "$repo/build-bench" ] && build="$repo/build-bench-mpi"
  launcher=(mpirun --oversubscribe --allow-run-as-root -np "$processes")
fi
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DFRLAYOUT_BENCH=ON -DFRLAYOUT_MPI=$mpi_flag \
  -DFRLAYOUT_TESTS=OFF >"$build.cmake.log" 2>&1 || { cat "$build.cmake.log" >&2; exit 1; }
targets=(--target gen_graph)
[ -z "$bin" ] && [ -z "$rev" ] && targets+=(--target frlayout3d)
cmake --build "$build" -j2 "${targets[@]}" >"$build.build.log" 2>&1 ||
  { tail -40 "$build.build.log" >&2; exit 1; }
rm -f "$build.cmake.log" "$build.build.log"
gen="$build/bench/gen_graph"
tool=${bin:-$build/src/frlayout3d}
source_desc=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)
if [ -n "$(git -C "$repo" status --porcelain -- src 2>/dev/null)" ]; then
  source_desc+=" plus the uncommitted changes in src/"
fi
[ -n "$bin" ] && source_desc="the binary $bin"
if [ -n "$rev" ]; then
  # The tool alone, from a clean export of the commit: the generator comes
  # from this tree, since older commits may have no bench/.
  short=$(git -C "$repo" rev-parse --short "$rev")
  rev_src="$cache/src-$short"
  rev_build="$cache/build-$short"
  if [ ! -f "$rev_src/CMakeLists.txt" ]; then
    mkdir -p "$rev_src"
    git -C "$repo" archive "$short" | tar -x -C "$rev_src"
  fi
  echo "building $short in $rev_build ..." >&2
  cmake -S "$rev_src" -B "$rev_build" -DCMAKE_BUILD_TYPE=Release -DFRLAYOUT_TESTS=OFF \
    >"$rev_build.log" 2>&1 && cmake --build "$rev_build" -j2 --target frlayout3d >>"$rev_build.log" 2>&1 ||
    { tail -40 "$rev_build.log" >&2; exit 1; }
  tool="$rev_build/src/frlayout3d"
  source_desc="$short (clean export)"
fi
[ -x "$tool" ] || { echo "run_bench.sh: no binary at $tool" >&2; exit 1; }

sfdp_bin=""
if [ "$peer" = 1 ]; then
  sfdp_bin=$(command -v sfdp || true)
  if [ -z "$sfdp_bin" ]; then
    echo "run_bench.sh: sfdp not found (apt-get install graphviz); the peer is skipped" >&2
    peer=0
    [ "$peer_only" = 1 ] && exit 1
  fi
fi

mkdir -p "$cache/graphs" "$cache/runs"
stamp=$(date +%Y%m%d-%H%M%S)
log="$cache/runs/$stamp.md"

# --- the session header ------------------------------------------------------
{
  echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(awk '/MemTotal/ {printf "%.1f GiB", $2/1048576}' /proc/meminfo)"
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "commit: $source_desc"
  echo "tool: $tool, -threads $threads${friterations:+, -friterations $friterations}, $processes process(es)"
  [ "$peer" = 1 ] && echo "peer: $("$sfdp_bin" -V 2>&1 | head -1), sfdp -Gdimen=3 -Tdot -o /dev/null, limit ${peer_timeout}s"
  echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo
  header="| graph | vertices | edges | levels | wall s | cpu s | peak MB | read % | coarsen % | smooth % | build % | repulse % | attract % | move % | write % | read+write % | finest ns/vertex/iter | output md5 | load |"
  rule="|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|---:|"
  if [ "$peer" = 1 ]; then
    header+=" peer s | peer cpu s | peer MB | peer / ours | peer load |"
    rule+="---:|---:|---:|---:|---:|"
  fi
  echo "$header"
  echo "$rule"
} | tee "$log"

# --- one graph -----------------------------------------------------------------

# Makes sure the graph file exists; prints its path.
graph_file() {
  local name=$1 how=$2
  if [[ $how == file\ * ]]; then
    echo "${how#file }"
    return
  fi
  local path="$cache/graphs/$name.graph"
  if [ ! -s "$path" ]; then
    echo "generating $name ($how) ..." >&2
    # shellcheck disable=SC2086
    "$gen" $how "$path.tmp"
    "$gen" check "$path.tmp" >&2
    mv "$path.tmp" "$path"
  fi
  echo "$path"
}

# Runs "$@" under the limit; sets run_status, run_wall (s), run_cpu (user
# plus system s), run_peak (MB) and run_load (the one-minute load average
# at the end, which tells how much else the machine was doing).
timed_run() {
  local limit=$1; shift
  local tf user sys
  tf=$(mktemp)
  set +e
  "$timer" -f '%e %M %U %S' -o "$tf" timeout "$limit" "$@"
  run_status=$?
  set -e
  read -r run_wall run_peak_kb user sys < <(tail -1 "$tf")
  rm -f "$tf"
  run_peak=$(awk -v k="${run_peak_kb:-0}" 'BEGIN {printf "%.0f", k/1024}')
  run_cpu=$(awk -v u="${user:-0}" -v s="${sys:-0}" 'BEGIN {printf "%.2f", u+s}')
  run_load=$(cut -d' ' -f1 /proc/loadavg)
}

pct() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.1f", 100*a/b; else printf "-"}'; }

# Checks that a layout is complete and inside the final drawing area (the
# extents of the last "Leaving" line; the area is printed with 5 decimals,
# the coordinates with 6, hence the tolerance). Prints one line to stderr
# and the log.
check_layout() {
  local name=$1 out=$2 stdout_file=$3 vertices=$4
  local area
  area=$(grep -o 'drawing area <[^>]*>' "$stdout_file" | tail -1 | sed 's/.*<\(.*\)>/\1/')
  awk -v area="$area" -v n="$vertices" -v name="$name" '
    BEGIN { split(area, a, ",") }
    /^%/ { next }
    !header { header = 1; next }
    {
      lines++
      for (i = 1; i <= 3; i++) if ($i + 0 < 0 || $i + 0 > a[i] + 1e-5) outside++
    }
    END {
      if (lines == n && outside == 0)
        printf "check %s: %d vertices, all inside <%s>\n", name, lines, area
      else
        printf "check %s: FAILED: %d of %d vertex lines, %d coordinates outside <%s>\n",
          name, lines, n, outside, area
    }' "$out" | tee -a "$log" >&2
}

run_one() {
  local name=$1 how=$2
  local path
  path=$(graph_file "$name" "$how")
  local row="| $name |"

  if [ "$peer_only" = 0 ]; then
    local out="$cache/runs/$name.3dlayout"
    local stdout_file="$cache/runs/$name.stdout" stderr_file="$cache/runs/$name.stderr"
    local extra=()
    [ -n "$friterations" ] && extra=(-friterations "$friterations")
    echo "running frlayout3d on $name ..." >&2
    timed_run "$tool_timeout" "${launcher[@]}" "$tool" -in "$path" -out "$out" -seed 1 -timings -threads "$threads" \
      "${extra[@]}" >"$stdout_file" 2>"$stderr_file"
    if [ "$run_status" != 0 ]; then
      local why="exit status $run_status"
      [ "$run_status" = 124 ] && why="did not finish in ${tool_timeout}s"
      row+=" - | - | - | $why | $run_cpu | $run_peak | | | | | | | | | | | | $run_load |"
      ours_wall=""
    else
      local levels
      levels=$(grep -c '^<Entering' "$stdout_file" || true)
      local line
      line=$(grep '^timings:' "$stderr_file" | tail -1)
      declare -A t=()
      local words
      read -ra words <<<"${line#timings: }"
      local i
      for ((i = 0; i + 1 < ${#words[@]}; i += 2)); do t[${words[i]}]=${words[i + 1]}; done
      local w=$run_wall
      # A run shorter than the timer's resolution is measured by its phases.
      if awk -v w="$w" 'BEGIN {exit !(w < 0.05)}'; then
        w=$(awk -v a="${t[read]}" -v b="${t[coarsen]}" -v c="${t[smooth]}" -v d="${t[build]}" \
          -v e="${t[repulse]}" -v f="${t[attract]}" -v g="${t[move]}" -v h="${t[write]}" \
          'BEGIN {printf "%.3f", a+b+c+d+e+f+g+h}')
      fi
      local md5
      md5=$(grep -v '^%' "$out" | md5sum | cut -c1-12)
      check_layout "$name" "$out" "$stdout_file" "${t[vertices]}"
      [ "$keep_output" = 1 ] || rm -f "$out"
      row+=" ${t[vertices]} | ${t[edges]} | $levels | $run_wall | $run_cpu | $run_peak |"
      local p
      for p in read coarsen smooth build repulse attract move write; do row+=" $(pct "${t[$p]}" "$w") |"; done
      row+=" $(pct "$(awk -v a="${t[read]}" -v b="${t[write]}" 'BEGIN {print a+b}')" "$w") |"
      row+=" $(awk -v x="${t[finest_ns_per_vertex_iteration]}" 'BEGIN {printf "%.0f", x}') | $md5 | $run_load |"
      ours_wall=$run_wall
    fi
  else
    row+=" | | | | | | | | | | | | | | | | | |"
    ours_wall=""
  fi

  if [ "$peer" = 1 ]; then
    local dot="$cache/graphs/$name.dot"
    if [ ! -s "$dot" ]; then
      "$gen" dot "$path" "$dot.tmp"
      mv "$dot.tmp" "$dot"
    fi
    echo "running sfdp on $name (limit ${peer_timeout}s) ..." >&2
    timed_run "$peer_timeout" "$sfdp_bin" -Gdimen=3 -Tdot -o /dev/null "$dot" \
      >/dev/null 2>"$cache/runs/$name.sfdp.stderr"
    if [ "$run_status" = 124 ]; then
      row+=" did not finish in ${peer_timeout}s | $run_cpu | $run_peak | - | $run_load |"
    elif [ "$run_status" != 0 ]; then
      row+=" exit status $run_status | $run_cpu | $run_peak | - | $run_load |"
    else
      local ratio="-"
      [ -n "$ours_wall" ] && ratio=$(awk -v p="$run_wall" -v o="$ours_wall" \
        'BEGIN {if (o > 0) printf "%.2f", p/o; else printf "-"}')
      row+=" $run_wall | $run_cpu | $run_peak | $ratio | $run_load |"
    fi
  fi
  echo "$row" | tee -a "$log"
}

for entry in "${ladder[@]}"; do
  IFS='|' read -r name how huge <<<"$entry"
  selected "$name" "$huge" || continue
  run_one "$name" "$how"
done
{
  echo
  echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee -a "$log"
echo "(this table is also in $log)" >&2
