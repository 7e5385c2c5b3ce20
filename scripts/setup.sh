#!/usr/bin/env bash
# Installs the Debian packages Tallyport builds and tests with. Safe to run again.
# Usage: bash scripts/setup.sh [build|test]: what the build needs, what only the tests need, or
# (without an argument) both. The package lists are read again only when they are over an hour old.
set -euo pipefail
part=${1:-all}
build_packages=(
    cmake g++ ninja-build ccache pkg-config lld
    qt6-base-dev libqt6sql6-sqlite qt6-charts-dev qt6-multimedia-dev
    qt6-httpserver-dev qt6-websockets-dev
    libcurl4-openssl-dev libssl-dev libmosquitto-dev
    python3 dpkg-dev help2man systemd
)
# With the test tools: clang builds the sanitizer and fuzz trees, which CI compiles after the
# first tree, so it installs while that one compiles.
test_packages=(
    clang-14 libclang-rt-14-dev
    mosquitto python3-aiosmtpd python3-prometheus-client xvfb poppler-utils
    prometheus-alertmanager desktop-file-utils lintian
)
# Only for tests, without what they recommend: promtool (checks the shipped alerting rules; the
# package's Prometheus server is not wanted) and the browser that opens the status pages.
test_tools=(prometheus chromium)
case "$part" in
    build) test_packages=() test_tools=() ;;
    test) build_packages=() ;;
    all) ;;
    *) echo "usage: $0 [build|test]" >&2; exit 2 ;;
esac
not_installed() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}
mapfile -t missing < <(not_installed "${build_packages[@]}" "${test_packages[@]}")
mapfile -t missing_tools < <(not_installed "${test_tools[@]}")
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if [ ${#missing[@]} -gt 0 ] || [ ${#missing_tools[@]} -gt 0 ]; then
    if [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages*' -mmin -60 2>/dev/null | head -1)" ]; then
        $SUDO apt-get update
    fi
fi
if [ ${#missing[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
if [ ${#missing_tools[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing_tools[@]}"
    # Installing prometheus enables and starts its server where systemd runs (a container's
    # policy-rc.d keeps it from starting): a machine set up to build Tallyport runs none of it.
    if printf '%s\n' "${missing_tools[@]}" | grep -qx prometheus && [ -d /run/systemd/system ]; then
        $SUDO systemctl disable --now prometheus.service >/dev/null 2>&1 || true
    fi
fi
