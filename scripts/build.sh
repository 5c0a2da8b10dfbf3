#!/usr/bin/env bash
# Configures and builds the program and its tests in build/ (Ninja, all cores).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build build --parallel
