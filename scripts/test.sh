#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit and integration) under the C
# and the Russian locale.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests
bash scripts/build.sh -DVELTON_TESTS=ON
cd build
# Once under the C locale and once under the Russian one, as on a user's machine.
failed=0
for locale in C ru_RU.UTF-8; do
  echo "Tests under the locale $locale"
  env -u LANGUAGE LANG="$locale" LC_ALL="$locale" \
    ctest --output-on-failure --parallel "$(nproc)" --timeout 600 "$@" || failed=1
done
exit "$failed"
