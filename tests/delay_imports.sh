#!/usr/bin/env bash
# Prints the DLLs an exe delay-loads, one a line. MinGW's linker leaves the header's
# delay-import entry empty, so this finds the descriptors themselves: each begins with
# the attribute word 1 and the address of its DLL's name.
set -euo pipefail
exe=$1
base=0x$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^ImageBase\s*//p')
# Every section as: address, size, file offset.
sections=$(x86_64-w64-mingw32-objdump -h "$exe" | awk '/^ *[0-9]+ \./ {print $4, $3, $6}')
words=$(od -A n -t x4 -v "$exe" | tr -s ' \n' '\n' | grep .)
strings -t d "$exe" | grep -iE '^ *[0-9]+ [a-z0-9_]+\.dll$' | while read -r offset name; do
  while read -r address size file; do
    if (( offset >= 0x$file && offset < 0x$file + 0x$size )); then
      rva=$(printf '%08x' $(( 0x$address - base + offset - 0x$file )))
      if awk -v rva="$rva" 'previous == "00000001" && $1 == rva {found = 1} {previous = $1} END {exit !found}' \
           <<<"$words"; then
        echo "$name" | tr 'A-Z' 'a-z'
      fi
    fi
  done <<<"$sections"
done
