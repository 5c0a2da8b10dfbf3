#!/usr/bin/env bash
# Installs the Debian packages that the build, the demo bank and the tests need; installs only
# what is missing.
set -euo pipefail

build_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6opengl6-dev libqt6svg6 qt6-translations-l10n
  libcurl4-openssl-dev ca-certificates libgmime-3.0-dev libxml2-dev zlib1g-dev libsodium-dev
  gnupg
  libgtest-dev libgmock-dev libbenchmark-dev
)
# The demo bank that scripts/run.sh starts: the mail and web servers of the tests.
demo_packages=(
  dovecot-core dovecot-pop3d dovecot-imapd python3 python3-aiosmtpd lighttpd util-linux
)
# lighttpd-mod-openssl: the bank's web server over HTTPS in the tests.
# fonts-dejavu-core: the printed reports show letters that CP1251 lacks (Cyrillic of other
# languages); the font they fall back to must have them.
test_packages=(
  zip unzip poppler-utils iproute2 locales openssl libreoffice-writer-nogui lighttpd-mod-openssl fonts-dejavu-core
)

wanted=("${build_packages[@]}" "${demo_packages[@]}")
if [ "${1:-}" = "--tests" ]; then
  wanted+=("${test_packages[@]}")
fi

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The tests run under the Russian locale as well, and check that number and date texts do
# not follow it; the program's start-up is tested under an English locale too.
if [ "${1:-}" = "--tests" ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  generate=false
  for wanted_locale in ru_RU en_US; do
    if ! locale -a 2>/dev/null | grep -qi "^${wanted_locale}\.utf-\?8$"; then
      "${sudo_cmd[@]}" sh -c "grep -q '^${wanted_locale}.UTF-8 UTF-8' /etc/locale.gen || echo '${wanted_locale}.UTF-8 UTF-8' >> /etc/locale.gen"
      generate=true
    fi
  done
  if [ "$generate" = true ]; then
    "${sudo_cmd[@]}" locale-gen
  fi
fi
