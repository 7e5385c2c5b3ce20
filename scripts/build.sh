#!/usr/bin/env bash
# Configures and builds Tallyport into build/ (or the directory given as $BUILD_DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} ${CMAKE_EXTRA_ARGS:-}
cmake --build "$build_dir"
