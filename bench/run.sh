#!/usr/bin/env bash
# Measures Quorvane.exe against a baseline dialog in the same run, under Wine on a
# virtual display: idle CPU (also with 4 virtual controllers on Wine's own DirectInput),
# start-up time, size and imports, the time from a press to the label, the time from
# plugging a controller in to its first binding, what a burst of plug events costs, and
# the capture figures. Given another Quorvane.exe (an earlier build, say), it measures
# that one beside this tree's in the same run, as "before".
# Usage: bash bench/run.sh [rounds] [before.exe]   (default 3; each round idles every program 20 s)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
before_exe=${2:+$(realpath "$2")}
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
mkdir -p "$work/plain" "$work/baseline" "$work/before"
cp build/windows/Quorvane.exe "$work/plain/"
[ -z "$before_exe" ] || cp "$before_exe" "$work/before/Quorvane.exe"
exes=(plain); [ -z "$before_exe" ] || exes+=(before)
cp build/windows/idle_baseline.exe "$work/baseline/"

now_ns() { date +%s%N; }
# CPU time in ns of every thread of a process, from the scheduler's own accounting.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f\n", s}'; }  # %d stops at 2^31 in mawk
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
launch() {  # folder exe title [WINEDLLOVERRIDES [WINEDEBUG, its output to folder/debug.log]]
  local folder=$1 exe=$2 title=$3 overrides=${4:-$WINEDLLOVERRIDES} debug=${5:-$WINEDEBUG} t0
  t0=$(now_ns)
  (cd "$folder" && WINEDLLOVERRIDES="$overrides" WINEDEBUG="$debug" exec "$wine_cmd" "$exe" </dev/null >/dev/null 2>debug.log) &
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
  for exe in "${exes[@]}"; do
    read -r a s < <(idle "$work/$exe" Quorvane.exe Quorvane); app[$exe]+="$a "; server[$exe]+="$s "
  done
  read -r a s < <(idle "$work/baseline" idle_baseline.exe "Quorvane baseline"); app[base]+="$a "; server[base]+="$s "
done
for run in $(seq 7); do
  for exe in "${exes[@]}"; do launch "$work/$exe" Quorvane.exe Quorvane; start[$exe]+="$startup_ms "; finish; done
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
  for exe in "${exes[@]}"; do
    read -r a s < <(idle "$work/$exe" Quorvane.exe Quorvane); app[pads$exe]+="$a "; server[pads$exe]+="$s "
  done
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
finish

# From plugging a fifth controller in (written to the pads' channel) to the probe seeing
# the binding of its button, as a player presses it: pressed and released every few tens
# of milliseconds from the plug on, until the label shows. Only the label is watched
# meanwhile: nothing else lists the controllers in that time. Its product id sorts first,
# so it is controller 1; it is unplugged after each binding and plugged back with its
# identity.
plugs=${BENCH_PLUGS:-12}  # more for a closer look: Wine's share varies by 100 ms and more
plugged=
declare -A plug_times cpu_burst listings
plug_series() {  # exe
  local i t0 cursor labels shown button
  for i in $(seq 0 $((plugs - 1))); do
    # The checked action, and a button whose label it does not show yet.
    ask state
    cursor=${reply##* check }; cursor=${cursor%% *}
    labels=${reply#labels }; IFS='|' read -ra shown <<<"${labels% check *}"
    button=$((i % 16))
    [ "${shown[$cursor]}" = "JOY1_B$((button + 1))" ] && button=$(((button + 1) % 16))
    echo "wait $cursor JOY1_B$((button + 1)) 5000" >&"${PROBE[1]}"
    t0=$(now_ns)
    if [ -z "$plugged" ]; then echo "plug 5100" >&"$pads"; plugged=1; else echo "replug 5" >&"$pads"; fi
    start_pressing 5 "$button"
    IFS= read -r -t 10 reply <&"${PROBE[0]}" || { echo "no answer from the probe"; exit 1; }
    stop_reports 5; echo "release 5 $button" >&"$pads"
    reply=${reply%$'\r'}
    [[ "$reply" == seen* ]] || { echo "plug $i did not bind: $reply"; exit 1; }
    plug_times[$1]+="$(( (${reply#seen } - t0) / 1000 )) "  # microseconds
    sleep 0.2
    echo "unplug 5" >&"$pads"
    ask pads 4
    sleep "1.$((RANDOM % 5))"  # the unplug's own listings are over; the next plug starts afresh
  done
}

# A loose cable: 30 plug events in about a second (pad 5 out and back in 15 times), then
# 2 s for the tool to settle. The tool's CPU over that time, and how often it listed the
# controllers: counted from Wine's trace of DirectInput in a second run, since tracing
# costs CPU itself.
enumerations() { grep -c 'dinput8_EnumDevices' "$1/debug.log" || true; }
burst() {  # exe: sets burst_cpu_ms and burst_listings
  local a0 n0
  echo "replug 5" >&"$pads"; ask pads 5; sleep 1.5
  a0=$(cpu_ns "$app_pid"); n0=$(enumerations "$work/$1")
  for _ in $(seq 15); do
    echo "unplug 5" >&"$pads"; sleep 0.033
    echo "replug 5" >&"$pads"; sleep 0.033
  done
  sleep 2
  burst_cpu_ms=$(awk -v n=$(($(cpu_ns "$app_pid") - a0)) 'BEGIN {printf "%.1f", n / 1e6}')
  burst_listings=$(($(enumerations "$work/$1") - n0))
  echo "unplug 5" >&"$pads"; ask pads 4; sleep 1.5
}

for exe in "${exes[@]}"; do
  launch "$work/$exe" Quorvane.exe Quorvane
  sleep 1
  plug_series "$exe"
  burst "$exe"; cpu_burst[$exe]=$burst_cpu_ms
  finish
  launch "$work/$exe" Quorvane.exe Quorvane "$WINEDLLOVERRIDES" "-all,trace+dinput"
  sleep 1
  burst "$exe"; listings[$exe]=$burst_listings
  finish
done
stop_pad_session

med() { tr ' ' '\n' <<<"$1" | grep . | median; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.2f", a / b; else print "-"}'; }

ba=$(med "${app[base]}"); bs=$(med "${server[base]}")
pba=$(med "${app[padbase]}"); pbs=$(med "${server[padbase]}")
bt=$(med "${start[base]}")
sorted=$(tr ' ' '\n' <<<"$latencies" | grep . | sort -n)
lat_med=$(median <<<"$sorted" | awk '{printf "%.1f", $1 / 1000}')
lat_p90=$(awk -v n="$presses" '{v[NR] = $1} END {i = int(0.9 * n + 0.999); printf "%.1f", v[i] / 1000}' <<<"$sorted")
lat_max=$(tail -n 1 <<<"$sorted" | awk '{printf "%.1f", $1 / 1000}')
declare -A qa qs pa ps qt plug
for exe in "${exes[@]}"; do
  qa[$exe]=$(med "${app[$exe]}"); qs[$exe]=$(med "${server[$exe]}")
  pa[$exe]=$(med "${app[pads$exe]}"); ps[$exe]=$(med "${server[pads$exe]}")
  qt[$exe]=$(med "${start[$exe]}")
  plug_sorted=$(tr ' ' '\n' <<<"${plug_times[$exe]}" | grep . | sort -n)
  plug[$exe]="$(median <<<"$plug_sorted" | awk '{printf "%.0f", $1 / 1000}') ms ($(tail -n 1 <<<"$plug_sorted" | awk '{printf "%.0f", $1 / 1000}') ms)"
done
size=$(stat -c %s build/windows/Quorvane.exe)
imports=$(x86_64-w64-mingw32-objdump -p build/windows/Quorvane.exe | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z\n' 'a-z ')
# One row: figure, this tree's value, the before exe's (if given), the baseline's, the aim.
row() {  # figure now before baseline aim
  local ratio=
  [ -z "$4" ] || ratio=$(ratio "${2% *}" "${4% *}")
  if [ -n "$before_exe" ]; then echo "| $1 | $2 | $3 | $4 | $ratio | $5 |"; else echo "| $1 | $2 | $4 | $ratio | $5 |"; fi
}

echo
echo "Medians of $rounds idle rounds (20 s each, after 3 s settle) and 7 start-ups; share of one core."
[ -z "$before_exe" ] || echo "Before: $before_exe, measured in the same run."
echo
if [ -n "$before_exe" ]; then
  echo "| figure | Quorvane | before | baseline | ratio | aim |"; echo "|---|---|---|---|---|---|"
else
  echo "| figure | Quorvane | baseline | ratio | aim |"; echo "|---|---|---|---|---|"
fi
b=${exes[1]:-plain}
row "idle CPU, process" "${qa[plain]} %" "${qa[$b]} %" "$ba %" "≤ 1.5"
row "idle CPU, process + wineserver" "${qs[plain]} %" "${qs[$b]} %" "$bs %" ""
row "idle CPU with 4 virtual controllers, process" "${pa[plain]} %" "${pa[$b]} %" "$pba %" "≤ 1.5"
row "idle CPU with 4 virtual controllers, process + wineserver" "${ps[plain]} %" "${ps[$b]} %" "$pbs %" ""
row "start-up to visible window" "${qt[plain]} ms" "${qt[$b]} ms" "$bt ms" "≤ 1.2"
row "press to label, median of $presses" "$lat_med ms" "" "" "≤ 60 ms"
row "press to label, 90th percentile (max)" "$lat_p90 ms ($lat_max ms)" "" "" ""
row "plug to first binding, pressing, median of $plugs (max)" "${plug[plain]}" "${plug[$b]}" "" "≤ 150 ms"
row "30 plug events in about 1 s: CPU of the tool" "${cpu_burst[plain]} ms" "${cpu_burst[$b]} ms" "" ""
row "30 plug events in about 1 s: listings" "${listings[plain]}" "${listings[$b]}" "" "≤ 2"
row "size of Quorvane.exe" "$size bytes ($(awk -v s="$size" 'BEGIN {printf "%.1f", s / 1024}') KiB)" "" "" "≤ 33 KiB (32 and the manifest)"
row "imports" "$imports(dinput8.dll and winmm.dll loaded by their full path once the window is up)" "" "" "system DLLs only"
echo
"$wine_cmd" build/windows/capture_bench.exe </dev/null 2>/dev/null | tr -d '\r'
