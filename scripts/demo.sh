#!/usr/bin/env bash
# Sets up, builds and starts Tallyport in a fresh demo program directory (build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
build_dir=${BUILD_DIR:-build}
demo_dir="$build_dir/demo"
rm -rf "$demo_dir"
mkdir -p "$demo_dir"
cp "$build_dir/bin/tallyport" "$build_dir/bin/ding.wav" "$demo_dir/"
[ -f "$build_dir/bin/wexa.mdb" ] && cp "$build_dir/bin/wexa.mdb" "$demo_dir/"
exec "$demo_dir/tallyport"
