#!/usr/bin/env bash
# windows-qt.sh LINK: Qt 6 for 64-bit Windows (Core, Gui, Widgets, Test and the windows and
# offscreen platform plugins, as DLLs) cross-built with MinGW-w64 from Debian's qt6-base source,
# of the version of the machine's own Qt tools (moc, rcc and uic run on the build machine and must
# be of the same Qt). Built once per source version into a cache outside the clone that every
# clone on the machine shares (windows-cache.sh); LINK becomes a symbolic link to it. The
# first build takes about 17 minutes on two idle cores and 2 GB of disk while it runs; the
# installed Qt keeps 110 MB.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
link=$1
jobs=${JOBS:-2}

# shellcheck source=scripts/windows-cache.sh
source "$root/scripts/windows-cache.sh"
cache=$(windows_cache)
version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
prefix=$cache/qt-$version-mingw64
work=$prefix.work

# Qt's bundled third-party libraries go into its DLLs, so the Windows Qt depends on nothing from
# the build machine. Left out: what the window does not use (SQL, network, D-Bus, printing, XML,
# Qt Concurrent, pictures other than PNG), and tablet support, whose Wintab header the Debian
# source does not carry. Two stay in although unused, as Qt 6.4's windows platform plugin does
# not build without them: OpenGL (on Windows "dynamic OpenGL", which needs nothing when building
# and is loaded only if used), and Direct2D (whose absence leaves out a font database that the
# plugin still calls).
options=(
  -DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
  -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_textmarkdownreader=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF
  -DFEATURE_ico=OFF -DFEATURE_tabletevent=OFF
)
compiler=$(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix)
# What the installed Qt was built from; a change of any builds it again.
recipe="qt6-base $version, g++-mingw-w64 $compiler, ${options[*]}"

# Qt's Japanese texts. The .qm files are the same on every platform, so the Linux package's copy
# serves; it goes where Qt on Windows looks for its translations, beside its plugins.
install_translation() {
  mkdir -p "$prefix/translations"
  cp /usr/share/qt6/translations/qtbase_ja.qm "$prefix/translations/"
}

# build_qt: fetches the source, configures, builds and installs into $prefix, timed.
build_qt() {
  rm -rf "$prefix" "$work"
  mkdir -p "$work"
  local log=$work/build.log
  local started=$SECONDS
  echo "windows-qt: building Qt $version for Windows once, into $prefix (about 17 minutes on" \
    "two idle cores; the log is $log)"
  source_home=$work source_user=windows-qt
  # shellcheck source=scripts/debian-source.sh
  source "$root/scripts/debian-source.sh"
  local fetched source
  fetched=$(fetch_source qt6-base "$version")
  source=${fetched#* }
  if ! {
    cmake -S "$source" -B "$work/build" -G Ninja -Wno-dev \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" &&
      cmake --build "$work/build" -j "$jobs" && cmake --install "$work/build"
  } >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "windows-qt: building Qt failed; the whole log is $log" >&2
    exit 1
  fi
  # Qt's DLLs load the GCC and MinGW-w64 runtimes as DLLs of their own; these are the ones they
  # were linked against.
  local runtime
  for runtime in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$(x86_64-w64-mingw32-g++-posix -print-file-name="$runtime")" "$prefix/bin/"
  done
  # The licence texts a program shipping these DLLs carries: Qt under the LGPL 3 (which is the
  # GPL 3 with further permissions), and Debian's summary of every part, the bundled libraries
  # with their own licences included.
  mkdir -p "$prefix/share/licenses/qt6-base"
  cp "$source/LICENSES/LGPL-3.0-only.txt" "$source/LICENSES/GPL-3.0-only.txt" \
    "$source/debian/copyright" "$prefix/share/licenses/qt6-base/"
  local seconds=$((SECONDS - started))
  printf '%d min %02d s on %s, %s MB installed\n' $((seconds / 60)) $((seconds % 60)) \
    "$(date -u +%Y-%m-%d)" "$(du -sm "$prefix" | cut -f1)" >"$prefix/elevara-build-time"
  echo "$recipe" >"$prefix/elevara-recipe"
  rm -rf "$work"
}

# One build at a time per cache; a second clone waits for the first and then uses its Qt.
exec 9>"$prefix.lock"
flock 9
if [[ -f $prefix/elevara-recipe && $(cat "$prefix/elevara-recipe") == "$recipe" ]]; then
  echo "windows-qt: Qt $version for Windows from the cache $prefix (its build took" \
    "$(cat "$prefix/elevara-build-time"))"
else
  build_qt
  echo "windows-qt: Qt $version for Windows built in $(cat "$prefix/elevara-build-time")"
fi
install_translation
mkdir -p "$(dirname "$link")"
ln -sfn "$prefix" "$link"
