#!/usr/bin/env bash
# Builds Quarn and runs every test. Installs missing packages first (as root).
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh

quarn_install_deps
quarn_build

cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)"
