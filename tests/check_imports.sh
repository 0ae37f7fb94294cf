#!/usr/bin/env bash
# Quorvane.exe must run from a bare folder: it may import Windows system DLLs only,
# never a MinGW runtime DLL. dinput8 and winmm are loaded on first use (delay-loaded),
# so they stand in the exe as names, not in its import table.
set -euo pipefail
exe=$1
allowed='^(kernel32|user32|gdi32|advapi32|msvcrt|dinput8|winmm|ntdll|shell32|ole32|comctl32)\.dll$'
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "no import table found in $exe"; exit 1; }
echo "imports: $(echo $imports)"
bad=$(echo "$imports" | grep -vE "$allowed" || true)
[ -z "$bad" ] || { echo "not a system DLL: $bad"; exit 1; }
for dll in dinput8.dll winmm.dll; do
  strings "$exe" | grep -qix "$dll" || { echo "$dll is not delay-loaded"; exit 1; }
done
subsystem=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^Subsystem\s*//p')
[[ "$subsystem" == 00000002* ]] || { echo "not a GUI exe: $subsystem"; exit 1; }
echo "3 passed, 0 failed"
