#!/usr/bin/env bash
# Builds Quorvane.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null
cmake --build build/windows -j"$(nproc)" >/dev/null
echo "Built build/windows/"
