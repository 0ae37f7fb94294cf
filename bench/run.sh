#!/usr/bin/env bash
# Measures Quorvane.exe against a baseline dialog in the same run, under Wine on a
# virtual display: idle CPU (also with 4 virtual controllers on Wine's own DirectInput),
# start-up time, size and imports, the time from a press to the label, the time from
# plugging a controller in to its first binding, and the capture figures.
# Usage: bash bench/run.sh [rounds]   (default 3; each round idles every program 20 s)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
bash scripts/setup.sh
source scripts/env.sh 2>/dev/null
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/windows -j"$(nproc)" --target Quorvane idle_baseline capture_bench realpad_probe virtual_pads >/dev/null
source tests/realpad/session.sh

(use_realpad_prefix; prepare_wine_prefix)  # for the session with virtual controllers
use_headless_prefix
start_xvfb
start_wine
trap 'stop_pad_session || true; stop_wine || true; stop_xvfb' EXIT  # each runs, whatever the last one left

work="$root/build/bench"
rm -rf "$work"
mkdir -p "$work/plain" "$work/baseline"
cp build/windows/Quorvane.exe "$work/plain/"
cp build/windows/idle_baseline.exe "$work/baseline/"

now_ns() { date +%s%N; }
# CPU time in ns of every thread of a process, from the scheduler's own accounting.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%d\n", s}'; }
# The Wine server of this prefix: it works in a folder named after the prefix's inode.
find_server() {
  local server_dir pid
  server_dir="server-$(printf '%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")"
  server_pid=
  for pid in $(pgrep wineserver); do
    [[ "$(readlink "/proc/$pid/cwd")" == */"$server_dir" ]] && server_pid=$pid
  done
  [ -n "$server_pid" ] || { echo "no Wine server found for $WINEPREFIX"; exit 1; }
}
find_server

# Starts one program and waits for its window; sets app_pid and startup_ms.
launch() {  # folder exe title [WINEDLLOVERRIDES]
  local folder=$1 exe=$2 title=$3 overrides=${4:-$WINEDLLOVERRIDES} t0
  t0=$(now_ns)
  (cd "$folder" && WINEDLLOVERRIDES="$overrides" exec "$wine_cmd" "$exe" </dev/null >/dev/null 2>&1) &
  app_pid=$!
  for _ in $(seq 3000); do
    xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1 && break
    sleep 0.005
  done
  startup_ms=$(( ($(now_ns) - t0) / 1000000 ))
}

finish() { kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null || true; sleep 0.5; }

median() { sort -n | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Idle share of one core, in percent, for the program and for the Wine server serving it.
idle() {  # folder exe title [overrides] -> appends to the named result files
  launch "$@"
  sleep 3
  local a0 s0 t0 a1 s1 t1
  a0=$(cpu_ns "$app_pid"); s0=$(cpu_ns "$server_pid"); t0=$(now_ns)
  sleep 20
  a1=$(cpu_ns "$app_pid"); s1=$(cpu_ns "$server_pid"); t1=$(now_ns)
  finish
  awk -v a=$((a1 - a0)) -v s=$((s1 - s0)) -v t=$((t1 - t0)) 'BEGIN {printf "%.3f %.3f\n", 100 * a / t, 100 * (a + s) / t}'
}

declare -A app server start
for round in $(seq "$rounds"); do
  echo "round $round of $rounds" >&2
  read -r a s < <(idle "$work/plain" Quorvane.exe Quorvane); app[plain]+="$a "; server[plain]+="$s "
  read -r a s < <(idle "$work/baseline" idle_baseline.exe "Quorvane baseline"); app[base]+="$a "; server[base]+="$s "
done
for run in $(seq 7); do
  launch "$work/plain" Quorvane.exe Quorvane; start[plain]+="$startup_ms "; finish
  launch "$work/baseline" idle_baseline.exe "Quorvane baseline"; start[base]+="$startup_ms "; finish
done

# The same with 4 virtual controllers attached, in the real-controller prefix: Wine's
# own DirectInput reads them (the exe finds them at start), beside a baseline there.
stop_wine
ask_quiet=1
start_pad_session "$root/build/windows" 4 || exit 1
find_server
for round in $(seq "$rounds"); do
  echo "round $round of $rounds, 4 virtual controllers" >&2
  read -r a s < <(idle "$work/plain" Quorvane.exe Quorvane); app[pads]+="$a "; server[pads]+="$s "
  read -r a s < <(idle "$work/baseline" idle_baseline.exe "Quorvane baseline"); app[padbase]+="$a "; server[padbase]+="$s "
done

# From a press (written to the pads' channel) to the probe seeing the label change:
# each press goes to the checked action, the next button each time.
presses=24
launch "$work/plain" Quorvane.exe Quorvane
sleep 1
latencies=
for i in $(seq 0 $((presses - 1))); do
  button=$((i % 16))
  echo "wait $((i % 9)) JOY1_B$((button + 1)) 3000" >&"${PROBE[1]}"
  sleep 0.05
  t0=$(now_ns)
  echo "press 1 $button" >&"$pads"
  IFS= read -r -t 10 reply <&"${PROBE[0]}" || { echo "no answer from the probe"; exit 1; }
  reply=${reply%$'\r'}
  [[ "$reply" == seen* ]] || { echo "press $i was not seen: $reply"; exit 1; }
  latencies+="$(( (${reply#seen } - t0) / 1000 )) "  # microseconds
  echo "release 1 $button" >&"$pads"
  sleep "0.$((150 + RANDOM % 60))"  # a release for the latch, at a new point of the timer's period
done

# From plugging a fifth controller in (written to the pads' channel) to the probe seeing
# the binding of a button it holds. Its product id sorts first, so it is controller 1;
# it is unplugged again after each binding and plugged back with its identity.
plugs=12
plug_times=
for i in $(seq 0 $((plugs - 1))); do
  # The checked action, and a button whose label it does not show yet.
  ask state
  cursor=${reply##* check }; cursor=${cursor%% *}
  labels=${reply#labels }; IFS='|' read -ra shown <<<"${labels% check *}"
  button=$((i % 16))
  [ "${shown[$cursor]}" = "JOY1_B$((button + 1))" ] && button=$(((button + 1) % 16))
  t0=$(now_ns)
  if [ "$i" -eq 0 ]; then echo "plug 5100" >&"$pads"; else echo "replug 5" >&"$pads"; fi
  ask pads 5; [[ "$reply" == "pads 5 "* ]] || { echo "the fifth controller was not listed: $reply"; exit 1; }
  echo "wait $cursor JOY1_B$((button + 1)) 5000" >&"${PROBE[1]}"
  # Held, and reporting as a real pad does, so the device the tool opens after the plug sees it.
  echo "press 5 $button" >&"$pads"
  start_reports 5
  IFS= read -r -t 10 reply <&"${PROBE[0]}" || { echo "no answer from the probe"; exit 1; }
  stop_reports 5
  reply=${reply%$'\r'}
  [[ "$reply" == seen* ]] || { echo "plug $i did not bind: $reply"; exit 1; }
  plug_times+="$(( (${reply#seen } - t0) / 1000 )) "  # microseconds
  echo "release 5 $button" >&"$pads"
  sleep 0.2
  echo "unplug 5" >&"$pads"
  ask pads 4
  sleep "1.$((RANDOM % 5))"  # the unplug's own enumeration is over; the next plug starts afresh
done
finish
stop_pad_session

med() { tr ' ' '\n' <<<"$1" | grep . | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "-"}'; }

qa=$(med "${app[plain]}"); qs=$(med "${server[plain]}")
ba=$(med "${app[base]}"); bs=$(med "${server[base]}")
pa=$(med "${app[pads]}"); ps=$(med "${server[pads]}")
pba=$(med "${app[padbase]}"); pbs=$(med "${server[padbase]}")
sorted=$(tr ' ' '\n' <<<"$latencies" | grep . | sort -n)
lat_med=$(median <<<"$sorted" | awk '{printf "%.1f", $1 / 1000}')
lat_p90=$(awk -v n="$presses" '{v[NR] = $1} END {i = int(0.9 * n + 0.999); printf "%.1f", v[i] / 1000}' <<<"$sorted")
lat_max=$(tail -n 1 <<<"$sorted" | awk '{printf "%.1f", $1 / 1000}')
plug_sorted=$(tr ' ' '\n' <<<"$plug_times" | grep . | sort -n)
plug_med=$(median <<<"$plug_sorted" | awk '{printf "%.0f", $1 / 1000}')
plug_max=$(tail -n 1 <<<"$plug_sorted" | awk '{printf "%.0f", $1 / 1000}')
qt=$(med "${start[plain]}"); bt=$(med "${start[base]}")
size=$(stat -c %s build/windows/Quorvane.exe)
imports=$(x86_64-w64-mingw32-objdump -p build/windows/Quorvane.exe | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z\n' 'a-z ')

echo
echo "Medians of $rounds idle rounds (20 s each, after 3 s settle) and 7 start-ups; share of one core."
echo
echo "| figure | Quorvane | baseline | ratio | aim |"
echo "|---|---|---|---|---|"
echo "| idle CPU, process | $qa % | $ba % | $(ratio "$qa" "$ba") | ≤ 1.5 |"
echo "| idle CPU, process + wineserver | $qs % | $bs % | $(ratio "$qs" "$bs") | |"
echo "| idle CPU with 4 virtual controllers, process | $pa % | $pba % | $(ratio "$pa" "$pba") | ≤ 1.5 |"
echo "| idle CPU with 4 virtual controllers, process + wineserver | $ps % | $pbs % | $(ratio "$ps" "$pbs") | |"
echo "| start-up to visible window | $qt ms | $bt ms | $(ratio "$qt" "$bt") | ≤ 1.2 |"
echo "| press to label, median of $presses | $lat_med ms | | | ≤ 60 ms |"
echo "| press to label, 90th percentile (max) | $lat_p90 ms ($lat_max ms) | | | |"
echo "| plug to first binding, median of $plugs (max) | $plug_med ms ($plug_max ms) | | | ≤ 1 s |"
echo "| size of Quorvane.exe | $size bytes ($((size / 1024)) KiB) | | | ≤ 64 KiB |"
echo "| imports | $imports($(bash tests/delay_imports.sh build/windows/Quorvane.exe | tr '\n' ' ' | sed 's/ $//; s/ /, /g') delay-loaded) | | | system DLLs only |"
echo
"$wine_cmd" build/windows/capture_bench.exe </dev/null 2>/dev/null | tr -d '\r'
