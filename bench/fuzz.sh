#!/usr/bin/env bash
# Builds the input fuzz target (graph reader and option scanner) with clang's
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, and runs it.
#
#   bench/fuzz.sh SECONDS [extra libFuzzer arguments]
#
# The build goes to build-fuzz/ in the repository; the growing corpus lives
# outside it (FUZZ_CORPUS, default /tmp/frlayout3d-fuzz/corpus), seeded from
# tests/inputs and tests/golden. Crashing inputs are written to
# FUZZ_ARTIFACTS (default /tmp/frlayout3d-fuzz/artifacts). To replay one
# input after a build: build-fuzz/fuzz_input FILE. A crashing input belongs
# in tests/inputs with its expected outcome in tests/inputs/MANIFEST.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:?usage: bench/fuzz.sh SECONDS [libFuzzer arguments]}
shift

if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq clang libclang-rt-dev
fi

build=$root/build-fuzz
work=${FUZZ_WORK:-/tmp/frlayout3d-fuzz}
corpus=${FUZZ_CORPUS:-$work/corpus}
artifacts=${FUZZ_ARTIFACTS:-$work/artifacts}
mkdir -p "$build/obj" "$corpus" "$artifacts"

flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -ffp-contract=off -Wall -Wextra
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root/src")
objects=()
running=0
# The reader, the layout and the option scanner; the rest of the driver (the
# run, the viewer page) is not needed.
sources=$(ls "$root"/src/{common,graph,octree,layout,coarsen}/*.cpp)
sources+=" $root/src/driver/options.cpp $root/tests/fuzz/fuzz_input.cpp"
libs=(-lpthread)
if [ -f /usr/include/zlib.h ]; then
  flags+=(-DFRLAYOUT_HAVE_ZLIB=1)
  libs+=(-lz)
fi
for s in $sources; do
  o=$build/obj/$(echo "${s#$root/}" | tr / _).o
  objects+=("$o")
  # Rebuild an object when its source or any header is newer.
  if [ -f "$o" ] && [ ! "$s" -nt "$o" ] && [ -z "$(find "$root/src" -name '*.h' -newer "$o")" ]; then
    continue
  fi
  clang++ "${flags[@]}" -c "$s" -o "$o" &
  running=$((running + 1))
  if [ "$running" -ge 2 ]; then wait -n; running=$((running - 1)); fi
done
while [ "$running" -gt 0 ]; do wait -n; running=$((running - 1)); done
clang++ "${flags[@]}" "${objects[@]}" -o "$build/fuzz_input" "${libs[@]}"

# Seed the corpus with the hostile inputs and the reference graphs.
for f in tests/inputs/*.graph tests/golden/*/input.graph; do
  if [ -f "$f" ]; then cp -n "$f" "$corpus/seed-$(echo "$f" | tr / _)"; fi
done
gzip -c tests/golden/cycle40/input.graph > "$corpus/seed-gzip"
printf '%%%%MatrixMarket matrix coordinate pattern symmetric\n%% -format mtx\n4 4 3\n2 1\n3 2\n4 3\n' \
  > "$corpus/seed-mtx"
printf '# -format edges -seed 2\n10 20\n20 30\n30 10\n40 40\n' > "$corpus/seed-edges"
printf '%% -seed 5 -friterations 3 -frepsilon 0.5 -wellseparatedratio 2\n4 3\n2\n1 3\n2 4\n3\n' \
  > "$corpus/seed-options"

exec "$build/fuzz_input" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
  -max_len=8192 -dict=tests/fuzz/fuzz_input.dict -artifact_prefix="$artifacts/" \
  -print_final_stats=1 "$@" "$corpus"
