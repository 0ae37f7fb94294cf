#!/usr/bin/env bash
# The real Quorvane.exe with Wine's own DirectInput, fed by virtual controllers.
# Usage: realpad.sh BUILD_DIR SCENARIO
# Each scenario gets a fresh Wine server in its own prefix, with the virtual pads
# library preloaded into Wine's services and its own X display; the probe reads and
# works the dialog as a player would, and the steps below press the pads.
set -uo pipefail
build=$(cd "$1" && pwd)  # the pads library is preloaded by this path, from another folder
name=$2

# name | pads | steps, separated by ";". Pads and buttons count from 1 and 0.
#   press/release P B, axis P A V (A: 0 X, 1 Y)   work the pads
#   unplug P            unplug pad P, and wait until DirectInput no longer lists it
#   plug [PRODUCT]      attach the next pad (product id 0x5100 + its number, or PRODUCT in
#                       hex), and wait until DirectInput lists it
#   replug P [elsewhere]  the same for pad P, as it was or under another device path
#   plug-pressing P B   attach the next pad, pad P, and press and release its button B every
#                       70 ms from the plug on, as a player does, until released; no wait for
#                       DirectInput, so only the tool lists the pads meanwhile
#   loose P N           a loose cable: pad P unplugged and plugged back N times, 100-300 ms
#                       apart, with no wait for DirectInput (the next plug waits for it)
#   hold P B            press, and keep pad P reporting as a real pad does, until released
#   sees SLOT TEXT      the label of SLOT shows TEXT (after a plug it prints how long: how soon
#                       is the bench's figure, not a test's). A press, hold or axis just before
#                       that the tool has not taken within 3 s is let go and made again, once,
#                       as a player would: a busy tool may not yet have read the last release
#                       when it came, and kept its latch.
#   mark, unchanged     labels and checks, 0.4 s after a mark, are as they were then
#   labels A|B|...      the shown row; check S: the checked radio
#   player N, slot S    choose a player or an action as a user does
#   front, back         another window takes the foreground, the dialog gets it back
#   open P, read-fails  the probe's own look at controller P (recorded; must fail)
#   confirm, file OFFSET HEX   "これで決定", the notice, exit code 0, the saved bytes
#   pause MS            let the 60 ms timer see a release
#   plant               (first) the exe runs from the folder, stand-in dinput8.dll and
#                       winmm.dll beside it, loaded first if looked for there
#   rest P A V          (first) pad P's axis A is at V already as the exe starts: a pedal held
#                       down, which DirectInput reads as centred until the pad reports
#   planted-unused      neither stand-in was loaded
scenarios=(
  "button_binds_and_saves|1|press 1 2; sees 0 JOY1_B3; check 1; release 1 2; confirm;
     file 0 0409010600420043004400450046004700480049"
  "held_button_binds_once|1|press 1 0; sees 0 JOY1_B1; mark; unchanged; check 1; release 1 0; pause 150;
     press 1 0; sees 1 JOY1_B1; labels KEY_B|JOY1_B1|KEY_C|KEY_D|KEY_E|KEY_F|KEY_G|KEY_H|KEY_I"
  "full_deflection|1|axis 1 0 1000; pause 150; axis 1 1 -32768; sees 0 JOY1_UP; axis 1 1 0; pause 150; axis 1 1 32767; sees 1 JOY1_DOWN;
     axis 1 1 0; pause 150; axis 1 0 -32768; sees 2 JOY1_LEFT; axis 1 0 0; pause 150; axis 1 0 32767;
     sees 3 JOY1_RIGHT; axis 1 0 0; pause 150; mark; axis 1 0 32000; unchanged; axis 1 0 -32000; unchanged;
     axis 1 0 0; axis 1 1 32000; unchanged; axis 1 1 -32000; unchanged; check 4"
  "two_pads_player_gating|2|mark; press 2 0; unchanged; release 2 0; player 2; pause 150; mark; press 1 0;
     unchanged; release 1 0; pause 150; press 2 0; sees 0 JOY2_B1; check 1"
  "two_pads_swap|2|player 2; press 2 0; sees 0 JOY2_B1; release 2 0; slot 3; pause 150; press 2 0;
     sees 3 JOY2_B1; labels KEY_D|KEY_B|KEY_C|JOY2_B1|KEY_E|KEY_F|KEY_G|KEY_H|KEY_I; check 4;
     player 1; labels KEY_A|KEY_B|KEY_C|KEY_D|KEY_E|KEY_F|KEY_G|KEY_H|KEY_I"
  "unplugged_first_pad|2|open 1; unplug 1; pause 300; read-fails; back; press 2 0; sees 0 JOY1_B1"
  "unplugged_while_held|2|press 1 0; sees 0 JOY1_B1; unplug 1; pause 150; press 2 0; sees 1 JOY1_B1"
  "seventeen_pads|17|press 16 0; pause 150; press 1 0; sees 0 JOY1_B1; release 1 0; pause 150; press 1 1;
     sees 1 JOY1_B2; release 1 1; release 16 0; press 17 0; pause 150; press 1 2; sees 2 JOY1_B3; release 1 2;
     pause 150; press 1 3; sees 3 JOY1_B4"
  # Four players at one desk: what one holds neither hides another's press nor holds the latch.
  "shared_desk|2|player 2; press 1 0; press 2 0; sees 0 JOY2_B1; release 2 0; pause 150; press 2 1; sees 1 JOY2_B2;
     release 2 1; release 1 0; pause 150; player 1; press 2 2; press 1 0; sees 2 JOY1_B1; release 1 0; pause 150; press 1 1;
     sees 3 JOY1_B2"
  "held_across_players|2|press 1 0; sees 0 JOY1_B1; player 2; pause 150; player 1; mark; unchanged; release 1 0;
     pause 150; press 1 1; sees 1 JOY1_B2"
  "resting_pedal|2|rest 2 1 32767; player 2; mark; axis 2 0 1000; unchanged; press 2 0; sees 0 JOY2_B1;
     release 2 0; axis 2 1 0; pause 150; axis 2 1 32767; sees 1 JOY2_DOWN"
  "planted_dlls|1|plant; press 1 3; sees 0 JOY1_B4; release 1 3; planted-unused"
  "foreground|1|open 1; mark; press 1 0; unchanged; release 1 0; back; read-fails; pause 150; press 1 0;
     sees 0 JOY1_B1"
  "plugged_in_later|0|plug-pressing 1 0; sees 0 JOY1_B1; release 1 0"
  "replugged_elsewhere|2|press 1 0; sees 0 JOY1_B1; release 1 0; open 1; unplug 1; pause 300; replug 1 elsewhere;
     read-fails; read-fails; back; hold 1 1; sees 1 JOY1_B2; release 1 1; player 2; pause 150; press 2 0;
     sees 2 JOY2_B1"
  "plugged_sorting_first|1|press 1 0; sees 0 JOY1_B1; release 1 0; pause 150; plug 5100; hold 2 3;
     sees 1 JOY1_B4; release 2 3; player 2; pause 150; press 1 0; sees 2 JOY2_B1"
  # Pad 1 back under another path reads only through a new enumeration, which lists the 17th too.
  "seventeenth_plugged|16|plug; hold 17 0; unplug 1; replug 1 elsewhere; hold 1 0; sees 0 JOY1_B1; release 1 0;
     pause 150; press 1 1; sees 1 JOY1_B2"
  # A third pad plugged in right after it, while the tool still settles, binds too.
  "loose_cable|2|loose 1 12; plug; player 3; hold 3 0; sees 0 JOY3_B1; release 3 0; player 1; pause 150;
     press 1 1; sees 1 JOY1_B2; release 1 1; player 2; pause 150; press 2 2; sees 2 JOY2_B3"
  "plugged_while_latched|1|press 1 0; sees 0 JOY1_B1; mark; plug 5100; pause 1000; hold 2 0; unchanged;
     release 2 0; release 1 0; pause 150; press 2 1; sees 1 JOY1_B2"
)

root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/env.sh" 2>/dev/null
source "$root/tests/realpad/session.sh"

scenario=
for entry in "${scenarios[@]}"; do [ "${entry%%|*}" = "$name" ] && scenario=$(tr '\n' ' ' <<<"$entry"); done
[ -n "$scenario" ] || { echo "no scenario $name"; exit 2; }
IFS='|' read -r _ pad_count steps <<<"$scenario"

folder=$(mktemp -d)
app_pid= failed= plugged_at= undo=
listed=$pad_count
# Plugs or unplugs, and waits until DirectInput lists the pads there are: Wine drops what
# a pad does before that.
change_pads() {  # +1|-1 command...
  listed=$((listed + $1))
  echo "${@:2}" >&"$pads"
  ask pads "$listed"; [[ "$reply" == "pads $listed "* ]] || fail "DirectInput lists ${reply#pads }, not $listed"
}
finish() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  stop_pad_session
  stop_xvfb
  rm -rf "$folder"
  # Counted with the other tests' results.
  if [[ "${GTEST_OUTPUT:-}" == xml:* ]]; then
    local dir=${GTEST_OUTPUT#xml:}
    dir=${dir#Z:}
    printf '<testsuites tests="1" failures="%d" name="realpad_%s"/>\n' "$([ -n "$failed" ] && echo 1 || echo 0)" \
      "$name" > "$dir/realpad_$name.xml"
  fi
}
trap finish EXIT
fail() { echo "FAIL ($name): $*"; failed=1; exit 1; }

start_xvfb || fail "no X display"
start_pad_session "$build" "$pad_count" || fail "the pads did not come up"

# Every player's row: keys A..I.
cd "$folder"
printf '\x04\x09' > config.ini
for p in 1 2 3 4; do printf '\x00A\x00B\x00C\x00D\x00E\x00F\x00G\x00H\x00I' >> config.ini; done
exe=$build/Quorvane.exe overrides=$WINEDLLOVERRIDES
IFS=';' read -ra list <<<"$steps"
for step in "${list[@]}"; do
  read -r verb a b c <<<"$step"
  [ "$verb" != rest ] || { echo "axis $a $b $c" >&"$pads"; sleep 0.3; }  # reported before the exe opens it
done
if [[ "$steps" == plant\;* ]]; then
  cp "$exe" "$build"/planted/*.dll .
  exe=$folder/Quorvane.exe overrides="$overrides;dinput8,winmm=n,b"  # Windows' own order for them
fi
WINEDLLOVERRIDES=$overrides "$wine_cmd" "$exe" </dev/null >/dev/null 2>&1 &
app_pid=$!
for _ in $(seq 600); do  # a minute, against a hang
  ask state || fail "no probe"
  [[ "$reply" == labels*KEY_I*"front 1" ]] && break
  sleep 0.1
done
[[ "$reply" == labels*"front 1" ]] || fail "the dialog did not come up in front"

labels_now() { ask state; now=${reply#labels }; now=${now% front *}; }
for step in "${list[@]}"; do
  read -r verb a b c <<<"$step"
  [ -n "$verb" ] || continue
  echo "$verb $a $b $c"
  case $verb in
    press) echo "press $a $b" >&"$pads"; undo="release $a $b" redo="press $a $b" holds= ;;
    release) stop_reports "$a"; echo "release $a $b" >&"$pads"; undo= ;;
    hold) echo "press $a $b" >&"$pads"; start_reports "$a"; undo="release $a $b" redo="press $a $b" holds=$a ;;
    axis) echo "axis $a $b $c" >&"$pads"; undo="axis $a $b 0" redo="axis $a $b $c" holds= ;;
    unplug) change_pads -1 unplug "$a" ;;
    plant | rest) ;;  # before the start
    planted-unused) loaded=$(ls ./*.loaded 2>/dev/null); [ -z "$loaded" ] || fail "loaded: $loaded" ;;
    plug | replug) plugged_at=$(date +%s%N); change_pads 1 "$verb" $a $b ;;
    plug-pressing)
      plugged_at=$(date +%s%N) listed=$((listed + 1))
      echo plug >&"$pads"; start_pressing "$a" "$b" ;;
    loose)
      for i in $(seq "$b"); do
        echo "unplug $a" >&"$pads"; sleep "0.$((100 + RANDOM % 200))"
        echo "replug $a" >&"$pads"; [ "$i" -eq "$b" ] || sleep "0.$((100 + RANDOM % 200))"
      done ;;
    pause) sleep "$(awk -v m="$a" 'BEGIN {print m / 1000}')" ;;
    sees)
      ask wait "$a" "$b" 3000
      if [[ "$reply" != seen* && -n "$undo" ]]; then
        echo "  not taken: let go and made again"
        [ -z "$holds" ] || stop_reports "$holds"
        echo "$undo" >&"$pads"; sleep 0.3
        ask wait "$a" "$b" 1  # taken after all, before the let-go
        if [[ "$reply" != seen* ]]; then
          echo "$redo" >&"$pads"; [ -z "$holds" ] || start_reports "$holds"
          ask wait "$a" "$b" 10000
        fi
      fi
      undo=
      [[ "$reply" == seen* ]] || fail "label $a shows ${reply#timeout }, not $b"
      if [ -n "$plugged_at" ]; then
        echo "  bound $(( (${reply#seen } - plugged_at) / 1000000 )) ms after the plug"
        plugged_at=
      fi ;;
    mark) labels_now; marked=$now ;;
    unchanged) sleep 0.4; labels_now; [ "$now" = "$marked" ] || fail "changed: $now (was $marked)" ;;
    labels) labels_now; [ "${now% check *}" = "$a" ] || fail "row is $now" ;;
    check) labels_now; [ "${now##* check }" = "$a" ] || fail "checked: $now" ;;
    player) ask player "$a"; [ "$reply" = "player $a" ] || fail "player list: $reply" ;;
    slot) ask slot "$a" ;;
    front) ask front; [ "$reply" = "front 1" ] || fail "the other window did not come to the front" ;;
    back) ask back; [ "$reply" = "front 1" ] || fail "the dialog did not come back to the front" ;;
    open) ask open "$a"; [ "$reply" = "open 00000000" ] || fail "probe could not open pad $a" ;;
    read-fails) ask read; [[ "$reply" == "poll 8"*" state 8"* ]] || fail "a read succeeded: $reply" ;;
    confirm)
      ask confirm; [ "$reply" = "notice saved" ] || fail "saving: $reply"
      for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
      wait "$app_pid"; code=$?; app_pid=
      [ "$code" -eq 0 ] || fail "exit code $code" ;;
    file)
      got=$(od -An -tx1 -j "$a" -N $((${#b} / 2)) config.ini | tr -d ' \n')
      [ "$got" = "$b" ] || fail "config.ini at $a: $got, not $b" ;;
    *) fail "unknown step $verb" ;;
  esac
done
echo "1 passed, 0 failed"
