#!/usr/bin/env bash
# Sets up, builds and starts Tallyport with simulated devices: a fresh program directory
# (build/demo) whose database lists the devices of the scenario, the simulator playing them and
# a local mail sink that keeps the e-mails. Closing Tallyport, or Ctrl+C here, stops them all.
#
#   bash scripts/demo.sh [scenario.json]      (default: resources/demo-scenario.json)
set -euo pipefail

scenario=${1:-}
[ -n "$scenario" ] && scenario=$(realpath "$scenario")
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
scenario=${scenario:-$root/resources/demo-scenario.json}

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
    echo "demo: no display to show Tallyport on (DISPLAY is not set)." >&2
    echo "      Without a desktop, try: xvfb-run -a bash scripts/demo.sh" >&2
    exit 1
fi

bash scripts/setup.sh
bash scripts/build.sh
bin=$(cd "${BUILD_DIR:-build}/bin" && pwd)
demo_dir=$(dirname "$bin")/demo

pids=()
stop_all() {
    trap - EXIT INT TERM
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A fresh program directory: the program reads and writes its files beside its executable.
rm -rf "$demo_dir"
mkdir -p "$demo_dir"
cp "$bin/tallyport" "$bin/ding.wav" "$demo_dir/"
"$bin/tallyport-demodb" "$scenario" "$demo_dir"

# The simulated devices. Their messages (events beginning and ending) show here and in
# simulator.log.
"$bin/tallyport-sim" "$scenario" >"$demo_dir/simulator.log" 2>&1 &
sim_pid=$!
pids+=("$sim_pid")
for _ in $(seq 50); do
    [ -s "$demo_dir/simulator.log" ] || ! kill -0 "$sim_pid" 2>/dev/null && break
    sleep 0.1
done
if ! kill -0 "$sim_pid" 2>/dev/null; then
    cat "$demo_dir/simulator.log" >&2
    echo "demo: the simulator did not start (is another demo still running?)" >&2
    exit 1
fi
tail -n +1 -f --pid="$sim_pid" "$demo_dir/simulator.log" &
pids+=("$!")

# A mail sink on 127.0.0.1:2525 that prints every e-mail it receives into mail.log.
if /usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null; then
    PYTHONUNBUFFERED=1 /usr/bin/python3 -m aiosmtpd -n -l 127.0.0.1:2525 >"$demo_dir/mail.log" 2>&1 &
    sink_pid=$!
    pids+=("$sink_pid")
    sleep 0.5
    if ! kill -0 "$sink_pid" 2>/dev/null; then
        echo "demo: the mail sink did not start (port 2525 in use?); e-mails will fail:" >&2
        cat "$demo_dir/mail.log" >&2
    fi
else
    echo "demo: python3-aiosmtpd is missing; e-mails will fail (see scripts/setup.sh)" >&2
fi

cat <<EOF

Tallyport demo
  program directory  $demo_dir
                     (database, settings, sensor data files; simulator.log, mail.log)
  devices            simulated by tallyport-sim from $scenario
  e-mails            kept by the mail sink on 127.0.0.1:2525 in mail.log
Close the Tallyport window, or press Ctrl+C here, to end the demo.

EOF

"$demo_dir/tallyport" &
app_pid=$!
pids=("$app_pid" "${pids[@]}")
status=0
wait "$app_pid" || status=$?
exit "$status"
