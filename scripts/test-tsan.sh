#!/usr/bin/env bash
# Builds the engine, the tallyport program and the tests that run threads beside the event loop
# (outbox SMTP worker, notification channels and Alertmanager, MQTT network thread, web server,
# trend history loader, report job, the headless service, the soak run of the whole engine) with
# ThreadSanitizer into build-tsan/ (or $BUILD_DIR), and runs them. The windows are left out: none
# of these tests opens one, and the program is built to run only without a window.
# Any report fails the run. Qt, libcurl and libmosquitto come from Debian uninstrumented:
# tests/tsan.supp silences reports whose frames lie inside those libraries only, and says why for
# each entry; src/threadcheck shows the checker the order Qt's event queue gives. g++ builds it: clang 14's runtime aborts when QProcess starts a
# process (its clone() interception fails a check of its own). QProcess starts programs with a
# vfork-like clone, which the runtime takes for a fork of a threaded process: die_after_fork=0 lets
# the parent go on starting threads, as it safely may.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-tsan}
# tst_headless runs the instrumented tallyport program as a child: a report there fails the test
# and is shown in its log.
tests=(tst_outbox tst_outboxsafety tst_notify tst_alertmanager tst_mqtt tst_webserver tst_websecurity
    tst_trendhistory tst_reportbuilder tst_monthlyreport tst_headless)
# Qt Test's crash handler forks to print a stack, and a fork inside the checker's runtime after an
# abort deadlocks on the runtime's own lock: without it a failing test ends instead of hanging.
export QTEST_DISABLE_STACK_DUMP=1
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:die_after_fork=0:second_deadlock_stack=1:history_size=4:suppressions=$PWD/tests/tsan.supp}
BUILD_DIR=$build_dir BUILD_TYPE=${BUILD_TYPE:-Sanitize} BUILD_TARGETS="tallyport tallyport-soak ${tests[*]}" \
    CMAKE_EXTRA_ARGS="-DCMAKE_CXX_COMPILER=${TSAN_CXX:-g++} -DTALLYPORT_TSAN=ON -DTALLYPORT_BUILD_UI=OFF -DTALLYPORT_FUZZ_REPLAY=OFF -DTALLYPORT_BUILD_BENCH=OFF ${CMAKE_EXTRA_ARGS:-}" \
    bash scripts/build.sh
# With the argument "build" it only builds the tree.
[ "${1:-}" = build ] && exit 0
pattern="^($(IFS='|'; echo "${tests[*]}"))\$"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build_dir" --output-on-failure -R "$pattern" \
    -j"${TEST_JOBS:-$(( $(nproc) * 2 ))}"
# A short soak: poll cycles, mail outages and restarts with every worker thread running.
"$build_dir/bin/tallyport-soak" --cycles "${TSAN_SOAK_CYCLES:-60}" --parallel 8
