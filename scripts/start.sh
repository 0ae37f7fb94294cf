#!/usr/bin/env bash
# Builds Quorvane.exe and runs it under Wine in a working folder (default build/run/;
# give the game's folder to edit its config.ini). With no display set it runs on a
# virtual one, saves a screenshot to build/screenshot.png and ends the program.
# QUORVANE_LOCALE=en_US.UTF-8 runs it as on an English Windows (build/screenshot-en_US.png),
# QUORVANE_DPI=144 as on a display at 150 % (build/screenshot-144dpi.png).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/env.sh 2>/dev/null
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/windows -j"$(nproc)" --target Quorvane >/dev/null
exe="$root/build/windows/Quorvane.exe"

folder=${1:-build/run}
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
cd "$folder"  # config.ini is read and written in the current directory

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  prepare_wine_prefix
  echo "Quorvane is running in $folder"
  exec "$wine_cmd" "$exe"
fi

use_headless_prefix
start_xvfb
start_wine
trap 'stop_wine; stop_xvfb' EXIT
"$wine_cmd" "$exe" </dev/null >/dev/null 2>&1 &
pid=$!
shot="build/screenshot$locale_suffix.png"
rm -f "$root/$shot"
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Quorvane$' | head -n 1)
[ -n "$window" ] || { echo "No display: Quorvane showed no window within 60 s" >&2; exit 1; }
sleep 1  # let it paint
# A notice up over the dialog (a box, at the screen's centre) is in the shot too: the
# part of the screen that all the visible windows cover.
crop=$(for w in $(xdotool search --onlyvisible --name .); do xdotool getwindowgeometry --shell "$w"; done |
  awk -F= '/^X=/ {x = $2} /^Y=/ {y = $2} /^WIDTH=/ {w = $2} /^HEIGHT=/ {
    if (!n++ || x < l) l = x; if (n == 1 || y < t) t = y; if (x + w > r) r = x + w; if (y + $2 > b) b = y + $2 }
    END {printf "%dx%d+%d+%d", r - l, b - t, l, t}')
import -window root -crop "$crop" "$root/$shot"
# A window that never painted (a program that hung or crashed) comes out as one colour.
read -r width height colours < <(convert "$root/$shot" -format '%w %h %k\n' info:)
if ! kill -0 "$pid" 2>/dev/null || [ "$colours" -lt 3 ] || [ "$width" -lt 400 ] || [ "$height" -lt 180 ]; then
  echo "No display: the screenshot shows no dialog ($width x $height pixels, $colours colours): $shot" >&2
  exit 1
fi
echo "No display: ran Quorvane on a virtual one in $folder; screenshot: $shot ($width x $height)"
