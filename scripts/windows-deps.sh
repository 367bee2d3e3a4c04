#!/usr/bin/env bash
# windows-deps.sh FOLDER: static MinGW-w64 builds of the libraries the Windows build links that
# Debian ships for Linux only: GoogleTest from the googletest package's sources, libzip and
# libpng from their Debian source packages. They are installed into FOLDER/prefix; each is built
# once per source version (FOLDER/*.stamp), so a rebuild does not repeat them. zlib comes from
# libz-mingw-w64-dev.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
deps=$(cd "$1" && pwd)
prefix=$deps/prefix
jobs=${JOBS:-2}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
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
  for file in LICENSE LICENSE.txt COPYING; do
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
