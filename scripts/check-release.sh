#!/usr/bin/env bash
# Checks the Windows release: the zip holds exactly the program, the read-me
# and SHA256SUMS, the sums match, and two clean builds of the same sources in
# different folders give byte-identical programs and zips.
set -euo pipefail
cd "$(dirname "$0")/.."

version=1.2.0.0
zip=build/windows/tavrel-clock-$version-win32.zip
[ -f "$zip" ] || { echo "missing $zip"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

unzip -q "$zip" -d "$work/unpacked"
names=$(cd "$work/unpacked" && ls | sort | tr '\n' ' ')
[ "$names" = "README.txt SHA256SUMS tavrel-clock.exe " ] || { echo "unexpected members: $names"; exit 1; }
(cd "$work/unpacked" && sha256sum -c --quiet SHA256SUMS)
grep -q "Task Manager" "$work/unpacked/README.txt"
grep -q "任务管理器" "$work/unpacked/README.txt"
cmp -s "$work/unpacked/tavrel-clock.exe" build/windows/bin/tavrel-clock.exe ||
  { echo "the zip's program is not the built one"; exit 1; }
echo "release zip: members and sums ok ($(stat -c %s build/windows/bin/tavrel-clock.exe) bytes program)"

# Two clean builds from copies of the tracked sources in different folders.
for side in a b/deeper; do
  mkdir -p "$work/$side/src"
  git ls-files -z | xargs -0 cp --parents -t "$work/$side/src"
  cmake -S "$work/$side/src" -B "$work/$side/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_TESTING=OFF -DCMAKE_TOOLCHAIN_FILE="$work/$side/src/cmake/mingw-i686.cmake" >/dev/null
  cmake --build "$work/$side/build" -j "$(nproc)" --target release >/dev/null
done
sum_a=$(sha256sum < "$work/a/build/bin/tavrel-clock.exe")
sum_b=$(sha256sum < "$work/b/deeper/build/bin/tavrel-clock.exe")
zip_a=$(sha256sum < "$work/a/build/tavrel-clock-$version-win32.zip")
zip_b=$(sha256sum < "$work/b/deeper/build/tavrel-clock-$version-win32.zip")
sum_preset=$(sha256sum < build/windows/bin/tavrel-clock.exe)
if [ "$sum_a" != "$sum_b" ] || [ "$zip_a" != "$zip_b" ] || [ "$sum_a" != "$sum_preset" ]; then
  echo "builds differ: exe $sum_a / $sum_b / preset $sum_preset, zip $zip_a / $zip_b"
  exit 1
fi
echo "reproducible: tavrel-clock.exe ${sum_a%% *}"
