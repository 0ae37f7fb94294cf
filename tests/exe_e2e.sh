#!/usr/bin/env bash
# The real Quorvane.exe under Wine on the test display, driven by X key presses:
# it opens on the file's bindings with no controller attached, Enter and Esc neither
# save nor close, a link named config.ini.tmp fails the save without touching the file
# it leads to, and Space on the focused "これで決定" saves the table unchanged, shows
# the notice, and ends the program with exit code 0.
set -uo pipefail
exe=$1
wine_cmd=${WINE:-wine}
folder=$(mktemp -d)
elsewhere=$(mktemp -d)
trap 'rm -rf "$folder" "$elsewhere"' EXIT
cd "$folder"

# A table no default has: player p, slot s = (p + 1, s).
printf '\x04\x09' > config.ini
for p in 1 2 3 4; do for s in 0 1 2 3 4 5 6 7 8; do printf "\\x0$p\\x0$s" >> config.ini; done; done
cp config.ini original.ini

"$wine_cmd" "$exe" </dev/null >/dev/null 2>&1 &
pid=$!
fail() { echo "FAIL: $*"; kill "$pid" 2>/dev/null; echo "0 passed, 1 failed"; exit 1; }

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quorvane$' | head -n 1)
[ -n "$window" ] || fail "no window"
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 0.5

# Here a save would succeed, so Enter saving would show.
xdotool key --clearmodifiers Return Escape
sleep 1
kill -0 "$pid" 2>/dev/null || fail "Enter or Esc closed the program"
cmp -s config.ini original.ini || fail "Enter or Esc wrote config.ini"
[ ! -e config.ini.tmp ] || fail "Enter or Esc started a save"

# Wine opens, deletes and renames through a link, so the link's target would be
# harmed by any attempt to remove it: the save must refuse instead.
echo "not the program's" > "$elsewhere/target"
ln -s "$elsewhere/target" config.ini.tmp

xdotool key --clearmodifiers space
box=$(timeout 10 xdotool search --sync --onlyvisible --name "$(printf '保存失敗')" | head -n 1)
[ -n "$box" ] || fail "no failure notice with a link named config.ini.tmp"
xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
xdotool key --clearmodifiers Return
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "the failed save closed the program"
[ "$(cat "$elsewhere/target")" = "not the program's" ] || fail "the link's target was touched"
[ -L config.ini.tmp ] || fail "the link was not left as it was"
cmp -s config.ini original.ini || fail "the failed save changed config.ini"

rm config.ini.tmp
echo "garbage" > config.ini.tmp  # a stale temporary file must not get in the way
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 0.3
xdotool key --clearmodifiers space
box=$(timeout 10 xdotool search --sync --onlyvisible --name "$(printf '更新しました')" | head -n 1)
[ -n "$box" ] || fail "no saved notice"
xdotool windowfocus --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
xdotool key --clearmodifiers Return
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "still running after the notice"
wait "$pid"; code=$?
[ "$code" -eq 0 ] || fail "exit code $code"
cmp -s config.ini original.ini || fail "the saved table differs from the loaded one"
[ ! -e config.ini.tmp ] || fail "config.ini.tmp left behind"
echo "1 passed, 0 failed"
