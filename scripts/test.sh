#!/usr/bin/env bash
# Builds both builds and runs every test: the native tests under the sanitizers, the
# Windows tests under Wine on a virtual display, and a short fuzzing run. Prints one
# summary line and exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1
source scripts/env.sh 2>/dev/null
jobs=$(nproc)

# The dialog tests' other runs, each in a prefix of its own: as a player with an English
# Windows, and the layout at 150 % (144 DPI).
variant() { (export "$1" && source scripts/env.sh 2>/dev/null && use_headless_prefix && "${@:2}"); }
english() { variant QUORVANE_LOCALE=en_US.UTF-8 "$@"; }
scaled() { variant QUORVANE_DPI=144 "$@"; }

cleanup() {
  stop_wine
  english stop_wine
  scaled stop_wine
  stop_xvfb
}
trap cleanup EXIT

step() { printf '\n== %s\n' "$*"; }

step "Native build (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ >/dev/null &&
  cmake --build build/native -j"$jobs" >/dev/null || { echo "native build failed"; exit 1; }

step "Windows build"
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake >/dev/null &&
  cmake --build build/windows -j"$jobs" >/dev/null || { echo "Windows build failed"; exit 1; }

rm -rf build/results
mkdir -p build/results/native build/results/windows
status=0

step "Native tests"
(cd build/native && GTEST_OUTPUT="xml:$root/build/results/native/" ctest --output-on-failure -j"$jobs") || status=1

step "Windows tests under Wine"
(use_realpad_prefix; prepare_wine_prefix)  # the real-controller tests' own prefix
use_headless_prefix
start_xvfb || exit 1
start_wine
english start_wine
scaled start_wine
(cd build/windows && GTEST_OUTPUT="xml:Z:$root/build/results/windows/" ctest --output-on-failure -j"$jobs") || status=1

step "Fuzzing the bindings file and labels (20 s)"

if clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc tests/fuzz_bindings.cpp \
     src/bindings/bindings.cpp src/bindings/labels.cpp src/bindings/replace_file.cpp \
     src/bindings/flush_and_pause.cpp -o build/fuzz_bindings &&
   (cd build && ./fuzz_bindings -max_total_time=20 -print_final_stats=1 -artifact_prefix=results/ > results/fuzz.log 2>&1); then
  fuzz_runs=$(sed -n 's/^stat::number_of_executed_units: *//p' build/results/fuzz.log)
  echo "fuzzing: $fuzz_runs inputs, no fault"
else
  tail -30 build/results/fuzz.log
  echo "fuzzing found a fault"
  status=1
fi

rm -rf build/quorvane-fuzz-*

# One line for the whole run, counted from every test case's result.
count() { cat build/results/*/*.xml 2>/dev/null | sed -n "s/^<testsuites tests=\"\([0-9]*\)\" failures=\"\([0-9]*\)\".*/\\$1/p" | awk '{s += $1} END {print s + 0}'; }
total=$(count 1)
failures=$(count 2)
[ "$status" -eq 0 ] || [ "$failures" -gt 0 ] || failures=1
echo
echo "Tests: $((total - failures)) passed, $failures failed"
exit $status
