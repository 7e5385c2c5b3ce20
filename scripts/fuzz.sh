#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ (or $FUZZ_BUILD_DIR) and runs
# each for the given number of seconds (default 300), two at a time, starting from its stored
# inputs in fuzz/corpus/<name>/. New inputs go to a temporary copy of the corpus (set
# FUZZ_KEEP_CORPUS=1 to merge the new ones back into fuzz/corpus); an input that crashes or breaks
# a checked property is kept in <build dir>/findings/<name>/ and the run fails.
# A tree already configured with the fuzz targets (the sanitizer tree of scripts/test-asan.sh, say)
# is used as it is: FUZZ_BUILD_DIR=build-asan bash scripts/fuzz.sh.
# Usage: bash scripts/fuzz.sh [seconds per target] [name ...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
[ $# -gt 0 ] && shift
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}

if grep -qx 'TALLYPORT_FUZZ:BOOL=ON' "$build_dir/CMakeCache.txt" 2>/dev/null; then
    cmake --build "$build_dir" --target fuzz_targets
else
    BUILD_DIR=$build_dir BUILD_TYPE=Sanitize BUILD_TARGETS=fuzz_targets \
        CMAKE_EXTRA_ARGS="-DCMAKE_CXX_COMPILER=clang++-14 -DTALLYPORT_FUZZ=ON -DTALLYPORT_FUZZ_REPLAY=OFF -DTALLYPORT_BUILD_UI=OFF" \
        bash scripts/build.sh
fi

if [ $# -gt 0 ]; then
    names=("$@")
else
    names=()
    for src in fuzz/fuzz_*.cpp; do
        name=$(basename "$src" .cpp)
        names+=("${name#fuzz_}")
    done
fi

# The targets that write files run many times faster on a memory file system.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
findings="$build_dir/findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

run_one() {
    local name=$1
    mkdir -p "$work/corpus/$name" "$findings/$name"
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/corpus/$name/"
    "$build_dir/bin/fuzz_$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -artifact_prefix="$findings/$name/" "$work/corpus/$name" >"$work/$name.log" 2>&1
}

report() {
    local name=$1 status=$2
    if [ "$status" -eq 0 ]; then
        echo "fuzz_$name: $(grep -E '^Done [0-9]+ runs' "$work/$name.log" | tail -1)," \
            "$(find "$work/corpus/$name" -type f | wc -l) inputs in the corpus"
        if [ "${FUZZ_KEEP_CORPUS:-0}" = 1 ]; then
            mkdir -p "fuzz/corpus/$name"
            "$build_dir/bin/fuzz_$name" -merge=1 "fuzz/corpus/$name" "$work/corpus/$name" >/dev/null 2>&1
        fi
    else
        echo "fuzz_$name FAILED (exit $status); the input is in $findings/$name/:"
        grep -v -E '^#[0-9]+|^INFO:' "$work/$name.log" | tail -60
    fi
}

passed=0
failed=0
pids=()
running=()
finish_oldest() {
    local status=0
    wait "${pids[0]}" || status=$?
    report "${running[0]}" "$status"
    if [ "$status" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
    pids=("${pids[@]:1}")
    running=("${running[@]:1}")
}
for name in "${names[@]}"; do
    if [ ! -x "$build_dir/bin/fuzz_$name" ]; then
        echo "fuzz_$name: no such fuzz target"
        failed=$((failed + 1))
        continue
    fi
    [ ${#pids[@]} -ge 2 ] && finish_oldest
    run_one "$name" &
    pids+=($!)
    running+=("$name")
done
while [ ${#pids[@]} -gt 0 ]; do finish_oldest; done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
