#!/usr/bin/env bash
# Builds Tallyport with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ (or
# $BUILD_DIR) and runs every test there. clang builds it ($SANITIZE_CXX names another compiler):
# with the sanitizers it compiles in about two thirds of g++'s time. Any sanitizer report stops the
# test that made it and fails the run. The benchmarks are left out: no test runs them, and they
# are timed unsanitized.
# Built with clang, the tree also holds the libFuzzer targets (coverage instrumentation costs the
# tests little), so scripts/fuzz.sh can run them from here without building the engine again:
# FUZZ_BUILD_DIR=build-asan bash scripts/fuzz.sh. Their stored inputs run as tests here too.
# Sanitized tests use the processor more than plain ones: two run per core ($TEST_JOBS).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-asan}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
compiler=${SANITIZE_CXX:-clang++-14}
fuzz=OFF
case "$(basename "$compiler")" in clang*) fuzz=ON ;; esac
# With the argument "build" it only builds the tree.
step=scripts/test.sh
[ "${1:-}" = build ] && step=scripts/build.sh
TEST_JOBS=${TEST_JOBS:-$(( $(nproc) * 2 ))} BUILD_DIR=$build_dir BUILD_TYPE=${BUILD_TYPE:-Sanitize} CMAKE_EXTRA_ARGS="-DCMAKE_CXX_COMPILER=$compiler -DTALLYPORT_SANITIZE=ON -DTALLYPORT_FUZZ=$fuzz -DTALLYPORT_BUILD_BENCH=OFF ${CMAKE_EXTRA_ARGS:-}" \
    bash "$step"
