#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program on the demo profiles file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh -DVELTON_TESTS=OFF
exec ./build/velton-export "$PWD/examples/velton.ini"
