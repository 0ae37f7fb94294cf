#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages; does
# nothing when everything is already there. Run by a normal user, it asks sudo only
# for what is missing, so the build and Wine stay that user's.
set -euo pipefail

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "Needs root for: $*; run this once as root, or install sudo" >&2
    exit 1
  fi
}

packages=(cmake make g++ clang libclang-rt-dev googletest mingw-w64 binutils wine wine64 xvfb xdotool x11-utils
          locales fonts-ipafont-gothic imagemagick icoutils procps zip unzip
          fonts-horai-umefont fonts-wine  # the dialog's font, and Wine's own (caption buttons)
          libsdl2-2.0-0                   # Wine's gamepad backend sees the players' pads through it
          libsdl2-dev pkg-config)         # the real-controller tests' virtual pads are built against it
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes the ANSI code page from the locale: ja_JP.UTF-8 gives code page 932, and
# en_US.UTF-8 code page 1252, a player's English Windows.
missing_locales=
for wanted in ja_JP en_US; do
  locale -a 2>/dev/null | grep -qi "^$wanted\.utf-\?8\$" && continue
  missing_locales=1
  as_root sed -i "s/^# *\($wanted.UTF-8 UTF-8\)/\1/" /etc/locale.gen
  grep -q "^$wanted.UTF-8 UTF-8" /etc/locale.gen || echo "$wanted.UTF-8 UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
done
[ -z "$missing_locales" ] || as_root locale-gen >/dev/null
