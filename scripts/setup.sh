#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages; does
# nothing when everything is already there.
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-dev googletest mingw-w64 binutils wine wine64 xvfb xdotool x11-utils
          locales fonts-ipafont-gothic imagemagick icoutils procps)
# SDL lets Wine see game controllers (a player's own, and the tests' virtual pads).
packages+=(libsdl2-2.0-0 libsdl2-dev)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes the ANSI code page from the locale: ja_JP.UTF-8 gives code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
