# Sourced by the scripts: where things are, and the Wine settings every run shares.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Two Wine prefixes of the project's own: one for the user's desktop, one for virtual
# displays (tests, benchmarks, screenshots), where no window manager runs.
export WINEPREFIX="$root/build/wine-desktop"
export WINEDEBUG=-all
export WINEARCH=win64
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
# No Mono or Gecko install prompts while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine_cmd=/usr/lib/wine/wine64
[ -x "$wine_cmd" ] || wine_cmd=$(command -v wine64 || command -v wine)

# Makes the prefix once, before any test runs, so parallel tests do not race to create it.
prepare_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine_cmd" wineboot --init </dev/null >/dev/null 2>&1 || true
    if [ "$WINEPREFIX" != "$root/build/wine-desktop" ]; then
      # With no window manager, managed windows make every DestroyWindow wait 2 s
      # for a withdrawal that never comes.
      "$wine_cmd" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    fi
    wineserver -w
  fi
}

use_headless_prefix() { export WINEPREFIX="$root/build/wine-headless"; }
# The real-controller tests restart their own Wine server with virtual pads attached.
use_realpad_prefix() { export WINEPREFIX="$root/build/wine-realpad"; }

# Keeps one Wine server, with its services, alive for all the runs that follow. The
# services are started here with no terminal or pipe attached: started by a test, they
# would hold that test's output pipe open and the test would never seem to end.
start_wine() {
  prepare_wine_prefix
  wineserver -p </dev/null >/dev/null 2>&1 || true  # already running
  "$wine_cmd" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_wine() {
  wineserver -k 2>/dev/null
}

# Starts Xvfb on a free display; sets DISPLAY and xvfb_pid.
start_xvfb() {
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && return 0
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  return 1
}

stop_xvfb() {
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
}
