#!/usr/bin/env bash
# Installs the Debian packages Tallyport builds and tests with. Safe to run again.
set -euo pipefail
packages=(
    cmake g++ ninja-build ccache pkg-config lld
    qt6-base-dev libqt6sql6-sqlite qt6-charts-dev qt6-multimedia-dev
    qt6-httpserver-dev qt6-websockets-dev
    libcurl4-openssl-dev libssl-dev
    libmosquitto-dev mosquitto
    python3 python3-aiosmtpd python3-prometheus-client xvfb poppler-utils
    prometheus-alertmanager
    clang-14 libclang-rt-14-dev
    dpkg-dev desktop-file-utils systemd lintian help2man
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
