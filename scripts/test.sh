#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit and integration).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests
bash scripts/build.sh -DVELTON_TESTS=ON
cd build
ctest --output-on-failure --parallel "$(nproc)" --timeout 600 "$@"
