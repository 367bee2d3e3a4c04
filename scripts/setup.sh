#!/usr/bin/env bash
# Installs the Debian packages that the named targets need, and only those that are missing.
#   scripts/setup.sh GROUP...   groups: build window test demo fuzz bench format windows
# Installing needs root: it runs apt-get itself as root, through sudo otherwise.
set -euo pipefail

declare -A groups=(
  [build]="cmake ninja-build g++ make libpng-dev libzip-dev libtiff-dev libgeotiff-dev pkgconf"
  # Qt 6 Widgets, Qt's own labels in Japanese, a Japanese UI font the window's layout fits, a
  # virtual display for it.
  [window]="qt6-base-dev libgl-dev qt6-translations-l10n fonts-ipafont-gothic xvfb xauth"
  # GoogleTest, and GDAL, which judges the georeferenced outputs; the window's tests need the
  # window's packages (Qt Test comes with Qt).
  [test]="libgtest-dev gdal-bin python3-gdal"
  # The demo's elevara-cli, and gdalinfo, which shows where the ENVI header places a mosaic.
  [demo]="gdal-bin"
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
declare -A needs=([window]="build" [test]="window" [demo]="build" [fuzz]="build" [bench]="window"
  [windows]="test")

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

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "setup: missing: ${missing[*]}" >&2
    echo "setup: installing them needs root: run this again as root, or install sudo and join" \
      "its group (as root: apt-get install sudo && adduser $(id -un) sudo, then log in again)" >&2
    exit 1
  fi
  as_root=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
# Through env, since sudo drops the caller's environment.
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
# The Japanese font's alternative is linked into a font folder after fontconfig has cached that
# folder; without a fresh system cache, each user's first start writes one into their home.
if command -v fc-cache >/dev/null; then "${as_root[@]}" fc-cache --system-only; fi
echo "setup: done"
