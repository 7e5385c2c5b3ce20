#!/usr/bin/env bash
# Builds and runs every test with CTest. Most tests spend their time waiting on timers and
# sockets, not on the processor, so three run per core ($TEST_JOBS sets the number).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
build_dir=${BUILD_DIR:-build}
# The program runs on Qt's own event loop, not GLib's (QT_NO_GLIB, set by the program itself):
# the tests run on the same one. The ThreadSanitizer step keeps GLib's.
export QT_NO_GLIB=${QT_NO_GLIB-1}
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -j"${TEST_JOBS:-$(( $(nproc) * 3 ))}"
