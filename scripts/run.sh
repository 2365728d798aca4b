#!/usr/bin/env bash
# Builds the Linux program and runs it. It keeps running (a calibration every
# 9 s while one is due); stop it with Ctrl+C. Setting the clock needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh host
cmake --preset host
cmake --build --preset host -j "$(nproc)" --target tavrel-clock
exec build/host/bin/tavrel-clock
