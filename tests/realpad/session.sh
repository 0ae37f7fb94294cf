# Sourced after scripts/env.sh: a Wine session of the realpad prefix with virtual pads
# attached, and the probe that reads and works the dialog (tests/realpad/realpad_probe.cpp).

# A fresh server whose services carry the pads library and settings; the exe under
# test needs none of it. The last server of this prefix goes first: pads are only
# attached when the services start. The prefix is prepared once beforehand (by the
# test and bench commands), not on every session. Opens the channel as fd $pads.
# Each step's wait guards against a hang only (a minute: a busy machine may take long),
# and a failure names the step that did not come up: Wine's services, the pads library
# inside them, the probe, or the listing.
start_pad_session() {  # windows-build-dir pad-count
  use_realpad_prefix
  stop_wine
  pad_channel="$WINEPREFIX/pads.fifo"
  rm -f "$pad_channel" "$pad_channel.log"
  local settings=(LD_PRELOAD="$1/virtual_pads.so" VIRTUAL_PADS="$2" VIRTUAL_PADS_CHANNEL="$pad_channel")
  # The last server may take a moment to go; one started for the command below instead
  # would end when it ends, and the services and pads with it.
  within 600 env "${settings[@]}" wineserver -p </dev/null >/dev/null 2>&1 ||
    { echo "session: the last Wine server of $WINEPREFIX did not end within a minute"; return 1; }
  env "${settings[@]}" "$wine_cmd" cmd /c exit </dev/null >/dev/null 2>&1
  within 600 device_host_runs ||
    { echo "session: Wine's services did not start (no winedevice.exe after a minute)"; return 1; }
  within 600 grep -q '^attached' "$pad_channel.log" 2>/dev/null ||
    { echo "session: the pads library did not attach its pads in Wine's device host within a minute" \
           "(its log: $(cat "$pad_channel.log" 2>/dev/null || echo none))"; return 1; }
  within 600 test -p "$pad_channel" || { echo "session: no pads channel ($(cat "$pad_channel.log"))"; return 1; }
  exec {pads}<>"$pad_channel"  # read and write: never blocks, whoever reads it
  coproc PROBE { exec "$wine_cmd" "$1/realpad_probe.exe" 2>/dev/null; }
  probe_pid=$PROBE_PID
  ask_within=60 ask state || { echo "session: the probe did not start"; return 1; }
  ask_within=70 ask pads "$2" 60000 || return 1
  [[ "$reply" == "pads $2 "* ]] || { echo "session: DirectInput lists ${reply#pads } pads, not $2 ($(cat "$pad_channel.log"))"; return 1; }
}

# Runs a command every 0.1 s until it succeeds, at most N times.
within() {  # N command...
  local n=$1
  shift
  for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
  return 1
}

# Wine's device host, where the bus driver opens SDL and so loads the pads library.
device_host_runs() { [ -n "$(prefix_pids 'winedevice\.exe')" ]; }

# A real pad reports its state every few milliseconds; a virtual one only when it changes,
# so a button pressed before a device was opened stays unseen by it. Moving the stick a
# little, far from full deflection, makes pad $1 report until stop_reports.
declare -A reports
start_reports() {  # pad
  ( v=0; while :; do v=$((1000 - v)); echo "axis $1 0 $v" >&"$pads"; sleep 0.01; done ) &
  reports[$1]=$!
}
# A player pressing pad $1's button $2 again and again (50 ms down, 20 ms up) until
# stop_reports: a press made before Wine has a pad is never seen, even while held.
start_pressing() {  # pad button
  ( while :; do
      echo "press $1 $2" >&"$pads"; sleep 0.05
      echo "release $1 $2" >&"$pads"; sleep 0.02
    done ) &
  reports[$1]=$!
}
stop_reports() {  # pad
  [ -n "${reports[$1]:-}" ] || return 0
  kill "${reports[$1]}" 2>/dev/null; wait "${reports[$1]}" 2>/dev/null || true
  unset "reports[$1]"
  echo "axis $1 0 0" >&"$pads"
}

stop_pad_session() {
  for pad in "${!reports[@]}"; do stop_reports "$pad"; done
  [ -n "${probe_pid:-}" ] && kill "$probe_pid" 2>/dev/null
  probe_pid=
  stop_wine
}

# One probe command; its answer in $reply.
ask() {
  echo "$*" >&"${PROBE[1]}"
  IFS= read -r -t "${ask_within:-30}" reply <&"${PROBE[0]}" || { echo "no answer from the probe to: $*"; reply=; return 1; }
  reply=${reply%$'\r'}
  [ -n "${ask_quiet:-}" ] || echo "  $* -> $reply"
}
