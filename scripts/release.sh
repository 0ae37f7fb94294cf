#!/usr/bin/env bash
# Builds Quorvane.exe from scratch and packs what a player downloads:
# dist/Quorvane-VERSION-win64.zip with Quorvane.exe, README.txt and LICENSE. The same
# commit gives the same bytes anywhere: the exe is built a second time in the test
# build's folder and must come out identical (no link time, no build path in it), and
# the zip's entries carry the commit's time, in a fixed order. Prints both SHA-256s.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/env.sh 2>/dev/null
fail() { echo "release: $*" >&2; exit 1; }

version=$(sed -n 's/^project(Quorvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt"
commit_time=$(git log -1 --format=%ct) || fail "not a git checkout: the entries' time comes from the commit"
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  echo "release: uncommitted changes: this zip is not the commit's" >&2

build() {  # folder
  local toolchain=-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
  [ ! -f "$1/CMakeCache.txt" ] || toolchain=  # set once, when the folder is made
  cmake -S . -B "$1" $toolchain >/dev/null
  cmake --build "$1" -j"$(nproc)" --target Quorvane >/dev/null
}
rm -rf build/release
build build/release
exe=build/release/Quorvane.exe
# The tests run the exe of build/windows: it must be this one, byte for byte.
build build/windows
cmp -s "$exe" build/windows/Quorvane.exe ||
  fail "build/release and build/windows give different exes (a stale build/windows? remove it)"
! grep -qaF "$root" "$exe" || fail "the exe holds the build path $root"

stage=build/release/zip
mkdir -p "$stage" dist
cp "$exe" "$stage/Quorvane.exe"
# Texts with CRLF line ends, the README with a UTF-8 mark, for every Notepad.
{ printf '\xef\xbb\xbf'; sed "s/@VERSION@/$version/; s/\$/\r/" docs/player-readme.txt; } > "$stage/README.txt"
sed 's/$/\r/' LICENSE > "$stage/LICENSE"
chmod 644 "$stage"/*
entries=(Quorvane.exe README.txt LICENSE)
for entry in "${entries[@]}"; do touch -d "@$commit_time" "$stage/$entry"; done
zip="dist/Quorvane-$version-win64.zip"
rm -f "$zip"
# No extra fields (owner, exact times); zip stores local time, so UTC everywhere.
(cd "$stage" && TZ=UTC zip -X -q -9 "$root/$zip" "${entries[@]}")

checks=$(bash tests/check_imports.sh "$exe" "$version" "$zip") || { echo "$checks"; fail "the release does not pass its checks"; }
echo "$zip ($(stat -c %s "$zip") bytes), Quorvane.exe $version ($(stat -c %s "$exe") bytes)"
sha256sum "$zip" "$exe"
