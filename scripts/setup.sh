#!/usr/bin/env bash
# Installs the Debian packages that the named targets need, and only those that are missing.
#   scripts/setup.sh GROUP...   groups: build window test fuzz bench format windows
set -euo pipefail

declare -A groups=(
  [build]="cmake ninja-build g++ make libpng-dev libzip-dev libtiff-dev libgeotiff-dev pkgconf"
  # Qt 6 Widgets, Qt's own labels in Japanese, a Japanese UI font the window's layout fits, a
  # virtual display for it.
  [window]="qt6-base-dev libgl-dev qt6-translations-l10n fonts-ipafont-gothic xvfb xauth"
  # GoogleTest, and GDAL, which judges the georeferenced outputs; the window's tests need the
  # window's packages (Qt Test comes with Qt).
  [test]="libgtest-dev gdal-bin python3-gdal"
  # libFuzzer and the sanitizers' runtime for clang.
  [fuzz]="clang libclang-rt-14-dev"
  [bench]=""
  [format]="clang-format"
  # make windows: the MinGW-w64 cross compiler, zlib for it, GoogleTest's and the other
  # libraries' sources (unpacked with dpkg-source), Wine to run the tests; tclsh and sqlite3 make
  # SQLite's one-file source and PROJ's database on the build machine.
  [windows]="g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest dpkg-dev wine wine64 tcl sqlite3"
)
# What each group needs besides its own packages; make windows also builds the Linux elevara-cli,
# whose outputs the Windows one must match.
declare -A needs=([window]="build" [test]="window" [fuzz]="build" [bench]="window" [windows]="test")

wanted=()
add_group() {
  local group=$1
  [[ -v groups[$group] ]] || { echo "setup: unknown group '$group'" >&2; exit 2; }
  [[ -v needs[$group] ]] && add_group "${needs[$group]}"
  # shellcheck disable=SC2206
  wanted+=(${groups[$group]})
}
(($# > 0)) || set -- test
for group in "$@"; do add_group "$group"; done

missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
# Each package once, in the order first wanted.
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | awk 'NF && !seen[$0]++')

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
