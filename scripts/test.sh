#!/usr/bin/env bash
# Builds and runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${BUILD_DIR:-build}
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j2
