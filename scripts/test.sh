#!/usr/bin/env bash
# Builds both presets and runs every test: natively on Linux, and the Windows
# executables under 32-bit Wine inside a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh all

jobs=$(nproc)
cmake --preset host
cmake --build --preset host -j "$jobs"
ctest --preset host -j "$jobs"

cmake --preset windows
cmake --build --preset windows -j "$jobs"
scripts/wine-tests.sh
scripts/check-release.sh
