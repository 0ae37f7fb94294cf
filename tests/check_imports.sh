#!/usr/bin/env bash
# Quorvane.exe must run from a bare folder: it may import Windows system DLLs only,
# never a MinGW runtime DLL. dinput8 and winmm are loaded by their full path once the
# window is up: neither is imported, and nothing patches an import slot at run time (no
# delay-load helper, no VirtualProtect of the program's own). It carries its version for
# Explorer and its manifest, and stays small. Given the release zip too, checks what a
# player gets.
# Usage: check_imports.sh EXE VERSION [ZIP]
set -euo pipefail
exe=$1 version=$2 zip=${3:-}
passed=0
pass() { passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; echo "$passed passed, 1 failed"; exit 1; }

table=$(x86_64-w64-mingw32-objdump -p "$exe")
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$table" | tr 'A-Z' 'a-z')
[ -n "$imports" ] || fail "no import table found in $exe"
echo "imports: $(echo $imports)"
[ "$(sort <<<"$imports" | tr '\n' ' ')" = "kernel32.dll msvcrt.dll user32.dll " ] || fail "imports more than kernel32, msvcrt and user32"
pass
patching=$(grep -owE 'VirtualProtect|__delayLoadHelper2|__pfnDliNotifyHook2' <<<"$table$(strings "$exe")" | sort -u || true)
[ -z "$patching" ] || fail "patches its own imports: $(echo $patching)"
pass
subsystem=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^Subsystem\s*//p')
[[ "$subsystem" == 00000002* ]] || fail "not a GUI exe: $subsystem"
pass
size=$(stat -c %s "$exe")
[ "$size" -le 65536 ] || fail "the exe is $size bytes, more than 64 KiB"
stamp=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^Time\/Date\s*//p')
[[ "$stamp" == *" 1970" ]] || fail "a link time in the header: $stamp"
pass

# The version resource: its fixed part holds the numbers, each string block the texts
# (read as lines, each key at the end of its line after its binary header).
IFS=. read -r major minor patch <<<"$version"
raw=$(wrestool -x --raw --type=16 "$exe" | od -A n -t x4 -v | tr -s ' \n' ' ')
fixed=$(printf 'feef04bd 00010000 %04x%04x %04x0000 %04x%04x %04x0000' \
  "$major" "$minor" "$patch" "$major" "$minor" "$patch")
[[ "$raw" == *"$fixed"* ]] || fail "the version numbers are not $version"
texts=$(wrestool -x --raw --type=16 "$exe" | iconv -f UTF-16LE -t UTF-8 | tr '\0' '\n' | grep .)
for block in 041104B0 040904B0; do
  for pair in "FileVersion $version" "ProductVersion $version" "ProductName Quorvane" \
              "LegalCopyright Copyright (c) 2026 the Quorvane authors"; do
    grep -A 20 "$block\$" <<<"$texts" | grep -A 1 "${pair%% *}\$" | sed -n 2p | grep -qxF "${pair#* }" ||
      fail "block $block: ${pair%% *} is not \"${pair#* }\""
  done
done
grep -A 2 "041104B0\$" <<<"$texts" | grep -q '人' || fail "no Japanese file description"
pass

# The manifest: asInvoker, the system's look, each Windows from Vista as itself, drawn at
# the display's own scale.
manifest=$(wrestool -x --raw --type=24 "$exe" | tr -s ' \n' ' ')
for entry in 'level="asInvoker" uiAccess="false"' 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
    e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
    1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a '>true/pm<' '>PerMonitorV2, PerMonitor<'; do
  [[ "$manifest" == *"$entry"* ]] || fail "the manifest lacks $entry"
done
pass

if [ -n "$zip" ]; then
  [ "$(unzip -Z1 "$zip" | tr '\n' ' ')" = "Quorvane.exe README.txt LICENSE " ] ||
    fail "the zip holds: $(unzip -Z1 "$zip" | tr '\n' ' ')"
  unzip -p "$zip" Quorvane.exe | cmp -s - "$exe" || fail "the zip's exe is not $exe"
  unzip -p "$zip" LICENSE | grep -q "^MIT License" || fail "the zip's LICENSE is not the MIT licence"
  unzip -p "$zip" README.txt | grep -q "config.ini" || fail "the zip's README does not explain config.ini"
  pass
fi
echo "$passed passed, 0 failed"
