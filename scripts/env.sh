# Sourced by the scripts: where things are, and the Wine settings every run shares.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The player's Windows: Japanese (ANSI code page 932), unless QUORVANE_LOCALE names
# another, such as en_US.UTF-8 for an English one (code page 1252).
locale_name=${QUORVANE_LOCALE:-ja_JP.UTF-8}
export LANG=$locale_name LC_ALL=$locale_name
# Another language has prefixes of its own: Wine rewrites a prefix's font settings
# whenever a program starts under another code page than the last one.
locale_suffix=
[ "$locale_name" = ja_JP.UTF-8 ] || locale_suffix="-${locale_name%%.*}"
# The display's scale as Windows sets it: QUORVANE_DPI=144 is 150 %, in prefixes of its own.
dpi=${QUORVANE_DPI:-}
[ -z "$dpi" ] || locale_suffix="$locale_suffix-${dpi}dpi"
# Two Wine prefixes of the project's own: one for the user's desktop, one for virtual
# displays (tests, benchmarks, screenshots), where no window manager runs.
export WINEPREFIX="$root/build/wine-desktop$locale_suffix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko install prompts while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine_cmd=/usr/lib/wine/wine64
[ -x "$wine_cmd" ] || wine_cmd=$(command -v wine64 || command -v wine)

# Makes the prefix once, before any test runs, so parallel tests do not race to create
# it; then, on every run, sets what the dialog's fonts and a crashing test need (safe to
# repeat, and it reaches prefixes made before).
prepare_wine_prefix() {
  local rescaled=
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine_cmd" wineboot --init </dev/null >/dev/null 2>&1 || true
    rescaled=$dpi
    if [ "$WINEPREFIX" != "$root/build/wine-desktop$locale_suffix" ]; then
      # With no window manager, managed windows make every DestroyWindow wait 2 s
      # for a withdrawal that never comes.
      "$wine_cmd" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    fi
  fi
  # "MS Shell Dlg" is "MS UI Gothic" in Japanese; Ume UI Gothic has its metrics, so
  # every caption fits the template and the underscore is drawn. Replacements, unlike
  # FontSubstitutes, survive a run in another locale.
  "$wine_cmd" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'Ume UI Gothic' /f \
    </dev/null >/dev/null 2>&1
  [ -z "$dpi" ] ||
    "$wine_cmd" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
  # Wine's own fonts (Marlett draws the caption buttons) are not found without it.
  "$wine_cmd" reg add 'HKCU\Software\Wine\Fonts' /v Path /d 'Z:\usr\share\wine\fonts' /f </dev/null >/dev/null 2>&1
  # In the test prefixes a crash starts the debugger on its own and, without its dialog
  # (which would wait for a click until the test's timeout), prints the backtrace to the
  # test's log and ends the program at once.
  if [ "$WINEPREFIX" != "$root/build/wine-desktop$locale_suffix" ]; then
    local aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
    "$wine_cmd" reg add "$aedebug" /v Debugger /d 'winedbg --auto %ld %ld' /f </dev/null >/dev/null 2>&1
    "$wine_cmd" reg add "$aedebug" /v Auto /d 1 /f </dev/null >/dev/null 2>&1
    "$wine_cmd" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
  fi
  # A new prefix's desktop and services started at 96 DPI and keep it (the themed radio
  # buttons stay at their 100 % size): a new server reads the scale, as a Windows started
  # with it does.
  if [ -n "$rescaled" ]; then
    stop_wine
    wineserver -w 2>/dev/null || true
  fi
}

use_headless_prefix() { export WINEPREFIX="$root/build/wine-headless$locale_suffix"; }
# The real-controller tests restart their own Wine server with virtual pads attached.
use_realpad_prefix() { export WINEPREFIX="$root/build/wine-realpad$locale_suffix"; }

# Keeps one Wine server, with its services, alive for all the runs that follow. The
# services are started here with no terminal or pipe attached: started by a test, they
# would hold that test's output pipe open and the test would never seem to end.
start_wine() {
  mkdir -p "$WINEPREFIX"
  # Persistent before the prefix is prepared: a server that its settings started would
  # still be up, and a running server refuses -p.
  wineserver -p </dev/null >/dev/null 2>&1 || true  # already running
  prepare_wine_prefix
  wineserver -p </dev/null >/dev/null 2>&1 || true  # a new scale's prefix has just ended it
  "$wine_cmd" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Ends the prefix's server and what runs in it. A service still starting when the server
# goes is not among the processes it kills and would wait forever: end those by PID too.
stop_wine() {
  local left
  wineserver -k 2>/dev/null || true  # no server: nothing to end
  left=$(prefix_pids '^[A-Za-z]:\\')
  [ -z "$left" ] || kill -KILL $left 2>/dev/null || true
}

# The processes of this prefix whose command line matches the pattern, a PID a line.
prefix_pids() {  # pattern
  local pid
  for pid in $(pgrep -f "$1"); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
  return 0  # for callers under set -e
}

# Starts Xvfb on a free display; sets DISPLAY and xvfb_pid. Xvfb picks the number itself
# (-displayfd) and writes it once it is ready: two runs starting at once never share one.
start_xvfb() {
  local told n=
  told=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$told" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    read -r n <"$told" && break  # a whole line: the number is all there
    n=
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$told"
  [ -n "$n" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$n"
}

stop_xvfb() {
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
}
