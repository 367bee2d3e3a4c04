#!/usr/bin/env bash
# windows-package.sh BUILD: writes BUILD/elevara-cli-VERSION-windows-x86_64.zip from the Windows
# build in BUILD: elevara-cli.exe (stripped), the README with CR LF line ends, and the licence
# texts of everything linked into the executable.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
exe=$build/cli/elevara-cli.exe
deps=$build/deps/prefix
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=elevara-cli-$version-windows-x86_64
stage=$build/package/$name

rm -rf "$build/package"
mkdir -p "$stage/licences"
x86_64-w64-mingw32-strip -o "$stage/elevara-cli.exe" "$exe"
sed 's/\r*$/\r/' "$root/README.md" >"$stage/README.md"
sed 's/\r*$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"

# licence NAME FILE: one licence text, named after what it covers.
licence() { sed 's/\r*$/\r/' "$2" >"$stage/licences/$1.txt"; }

# Always linked: the GCC runtime (libstdc++, libgcc; GPL with the runtime library exception) and
# the MinGW-w64 runtime with winpthreads.
licence gcc-runtime /usr/share/doc/gcc-mingw-w64-base/copyright
licence mingw-w64-runtime /usr/share/doc/mingw-w64-common/copyright
# Linked when the program uses them, which their functions in the executable show.
symbols=$(x86_64-w64-mingw32-nm --defined-only "$exe" | awk '{print $3}')
uses() { grep -qx "$1" <<<"$symbols"; }
if uses inflate || uses deflate; then licence zlib /usr/share/doc/libz-mingw-w64/copyright; fi
if uses zip_open || uses zip_source_buffer; then licence libzip "$deps/share/licenses/libzip/LICENSE"; fi
if uses png_create_write_struct || uses png_create_read_struct; then
  licence libpng "$deps/share/licenses/libpng1.6/LICENSE"
fi
# licence_of NAME: the licence text windows-deps.sh installed for the library NAME.
licence_of() { licence "$1" "$(find "$deps/share/licenses/$1" -type f | head -n 1)"; }
if uses TIFFClientOpenExt; then licence_of tiff; fi
if uses libdeflate_alloc_compressor; then licence_of libdeflate; fi
if uses GTIFNew; then licence_of libgeotiff; fi
if uses proj_context_create; then licence_of proj; fi
if uses sqlite3_open_v2; then licence_of sqlite3; fi

rm -f "$build/$name.zip"
(cd "$build/package" && cmake -E tar cf "$build/$name.zip" --format=zip "$name")
echo "windows-package: $build/$name.zip"
