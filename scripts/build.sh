#!/usr/bin/env bash
# Configures and builds Tallyport into build/ (or the directory given as $BUILD_DIR). Extra cmake
# options come from $CMAKE_EXTRA_ARGS; $BUILD_TARGETS names the targets to build (default: all).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
# The compiler cache keeps the results of files compiled with the precompiled headers only when
# told that their definitions and time macros may be trusted.
export CCACHE_SLOPPINESS=${CCACHE_SLOPPINESS:-pch_defines,time_macros}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} ${CMAKE_EXTRA_ARGS:-}
# Qt's moc step does not notice headers added to a globbed source list; when the list of
# headers changed since the last build, make it scan again.
headers=$(find src sim tests fuzz -name '*.h' | sort | md5sum | cut -d' ' -f1)
if [ "$(cat "$build_dir/.header-list" 2>/dev/null)" != "$headers" ]; then
    find "$build_dir" -maxdepth 3 -name ParseCache.txt -path '*_autogen.dir*' -delete
    find "$build_dir" -maxdepth 2 -type d -name '*_autogen' -exec rm -rf {} +
    echo "$headers" > "$build_dir/.header-list"
fi
targets=()
for t in ${BUILD_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$build_dir" "${targets[@]}"
