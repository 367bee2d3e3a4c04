#!/usr/bin/env bash
# windows-deps.sh FOLDER: static MinGW-w64 builds of the libraries the Windows build links that
# Debian ships for Linux only: GoogleTest from the googletest package's sources, libzip, libpng,
# and for the GeoTIFF export libdeflate, libtiff, SQLite, PROJ and libgeotiff from their Debian
# source packages. They are installed into FOLDER/prefix. FOLDER is a link to a folder of the
# machine's cache (windows-cache.sh) that every clone shares, one for each recipe (this script,
# the scripts it sources, the toolchain file and the cross compiler); each library is built
# there once per source version (*.stamp). zlib comes from libz-mingw-w64-dev.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
link=$1
toolchain=$root/cmake/mingw-w64-x86_64.cmake
# shellcheck source=scripts/windows-cache.sh
source "$root/scripts/windows-cache.sh"
recipe=$({
  cat "$0" "$root/scripts/debian-source.sh" "$root/scripts/windows-cache.sh" "$toolchain"
  dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix
} | sha256sum | cut -c1-12)
deps=$(windows_cache)/windows-deps-$recipe
mkdir -p "$deps" "$(dirname "$link")"
# A folder of an earlier layout, built in the clone, gives way to the link.
[[ -L $link || ! -e $link ]] || rm -rf "$link"
ln -sfn "$deps" "$link"
# One build at a time in the shared folder; another clone's waits for it and then finds it done.
exec 9>"$deps.lock"
flock 9
prefix=$deps/prefix
jobs=${JOBS:-2}
triple=x86_64-w64-mingw32
# The Debian release after the machine's, for a source its own archive no longer serves.
next_release=trixie
source_home=$deps source_user=windows-deps
# shellcheck source=scripts/debian-source.sh
source "$root/scripts/debian-source.sh"

# cmake_build NAME SOURCE [OPTION...]: configures, builds and installs one library into $prefix.
cmake_build() {
  local name=$1 source=$2
  shift 2
  local log=$deps/$name.log
  if ! {
    cmake -S "$source" -B "$deps/build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release -Wno-dev \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DELEVARA_WINDOWS_DEPS="$prefix" \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" &&
      cmake --build "$deps/build/$name" -j "$jobs" && cmake --install "$deps/build/$name"
  } >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "windows-deps: building $name failed; the whole log is $log" >&2
    exit 1
  fi
}

# up_to_date NAME VERSION: true when NAME was built from VERSION already.
up_to_date() {
  [[ -f $deps/$1.stamp && $(cat "$deps/$1.stamp") == "$2" ]]
}

# install_licence NAME SOURCE: the licence text that a program linking NAME ships with it.
install_licence() {
  local file
  for file in LICENSE LICENSE.md LICENSE.txt COPYING; do
    if [[ -f $2/$file ]]; then
      mkdir -p "$prefix/share/licenses/$1"
      cp "$2/$file" "$prefix/share/licenses/$1/$file"
      return
    fi
  done
  echo "windows-deps: no licence text in $2" >&2
  exit 1
}

# The installed libzip as a static library for every consumer: zip.h declares its functions as
# DLL imports unless ZIP_STATIC is defined, and the CMake package links ZLIB::ZLIB without
# looking for it.
static_libzip() {
  printf '\n#ifndef ZIP_STATIC\n#define ZIP_STATIC\n#endif\n' >>"$prefix/include/zipconf.h"
  sed -i -e 's/^#include(CMakeFindDependencyMacro)/include(CMakeFindDependencyMacro)/' \
    -e 's/^#find_dependency(ZLIB::ZLIB)/find_dependency(ZLIB)/' "$prefix/lib/cmake/libzip/libzip-config.cmake"
  grep -q '^find_dependency(ZLIB)' "$prefix/lib/cmake/libzip/libzip-config.cmake"
}

gtest_version=$(dpkg-query -W -f='${Version}' googletest)
if ! up_to_date googletest "$gtest_version"; then
  echo "windows-deps: GoogleTest $gtest_version"
  cmake_build googletest /usr/src/googletest -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON
  echo "$gtest_version" >"$deps/googletest.stamp"
fi

# The Debian index is read only when a library has not been built yet.
for package in libzip libpng1.6; do
  [[ -f $deps/$package.stamp ]] && continue
  fetched=$(fetch_source "$package")
  version=${fetched%% *} source=${fetched#* }
  echo "windows-deps: $package $version"
  case $package in
    libzip)
      cmake_build libzip "$source" -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
        -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
        -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF \
        -DBUILD_DOC=OFF
      static_libzip
      ;;
    libpng1.6)
      cmake_build libpng "$source" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF
      ;;
  esac
  install_licence "$package" "$source"
  echo "$version" >"$deps/$package.stamp"
done

# libdeflate's Makefile names its static library for MSVC on Windows; it is installed under the
# name the other builds look for.
build_libdeflate() {
  local source=$1 log=$deps/libdeflate.log
  if ! make -C "$source" -j "$jobs" CC="$triple-gcc-posix" AR="$triple-ar" libdeflatestatic.lib >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "windows-deps: building libdeflate failed; the whole log is $log" >&2
    exit 1
  fi
  mkdir -p "$prefix/lib/pkgconfig" "$prefix/include"
  cp "$source/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
  cp "$source/libdeflate.h" "$prefix/include/"
}

# build_sqlite3 SOURCE VERSION: SQLite's one-file form is generated on the build machine (with its
# C compiler and tclsh), then compiled for Windows.
build_sqlite3() {
  local source=$1 build=$deps/build/sqlite3 log=$deps/sqlite3.log
  mkdir -p "$build" "$prefix/lib" "$prefix/include"
  if ! (cd "$build" && "$source/configure" --disable-tcl && make sqlite3.c &&
    "$triple-gcc-posix" -O2 -DNDEBUG -c sqlite3.c -o sqlite3.o &&
    "$triple-ar" rcs "$prefix/lib/libsqlite3.a" sqlite3.o) >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "windows-deps: building sqlite3 failed; the whole log is $log" >&2
    exit 1
  fi
  cp "$build/sqlite3.h" "$build/sqlite3ext.h" "$prefix/include/"
  # PROJ's pkg-config file requires SQLite's.
  mkdir -p "$prefix/lib/pkgconfig"
  printf '%s\n' "prefix=$prefix" 'libdir=${prefix}/lib' 'includedir=${prefix}/include' '' \
    'Name: SQLite' 'Description: SQL database engine' "Version: ${2%%-*}" \
    'Libs: -L${libdir} -lsqlite3' 'Cflags: -I${includedir}' >"$prefix/lib/pkgconfig/sqlite3.pc"
}

# The GeoTIFF export's libraries, each needing the ones before it. libtiff compresses DEFLATE
# with libdeflate, as Debian's does, so that both builds write the same bytes, and takes no other
# codec. libgeotiff's build demands PROJ, which demands SQLite: PROJ is built without network,
# TIFF grids or programs; the GeoKeys ELEVARA writes need none of it at run time.
for package in libdeflate tiff sqlite3 proj libgeotiff; do
  [[ -f $deps/$package.stamp ]] && continue
  read -r version source < <(fetch_source "$package")
  echo "windows-deps: $package $version"
  case $package in
    libdeflate)
      build_libdeflate "$source"
      ;;
    tiff)
      cmake_build tiff "$source" -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF \
        -Dtiff-docs=OFF -Dcxx=OFF -Dzlib=ON -Dlibdeflate=ON -Dpixarlog=OFF -Djpeg=OFF \
        -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF
      ;;
    sqlite3)
      build_sqlite3 "$source" "$version"
      ;;
    proj)
      cmake_build proj "$source" -DENABLE_TIFF=OFF -DENABLE_CURL=OFF -DBUILD_APPS=OFF \
        -DBUILD_TESTING=OFF -DNLOHMANN_JSON_ORIGIN=internal -DEXE_SQLITE3=/usr/bin/sqlite3 \
        -DSQLite3_INCLUDE_DIR="$prefix/include" -DSQLite3_LIBRARY="$prefix/lib/libsqlite3.a"
      ;;
    libgeotiff)
      # Its checks for libtiff's functions link libtiff alone, which static needs libdeflate and
      # zlib besides: the functions are known to be there.
      cmake_build libgeotiff "$source" -DWITH_UTILITIES=OFF -DBUILD_MAN=OFF -DBUILD_DOC=OFF \
        -DWITH_JPEG=OFF -DWITH_ZLIB=OFF -DHAVE_TIFFOPEN=1 -DHAVE_TIFFMERGEFIELDINFO=1
      ;;
  esac
  install_licence "$package" "$source"
  echo "$version" >"$deps/$package.stamp"
done
