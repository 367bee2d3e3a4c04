#!/usr/bin/env bash
# windows-package.sh BUILD: writes BUILD/elevara-VERSION-windows-x86_64.zip from the Windows build
# in BUILD: elevara.exe with the Qt DLLs it loads beside it, laid out as Qt's windeployqt lays them
# out (platforms/, styles/, translations/), elevara-cli.exe, the README and LICENSE.txt with CR LF
# line ends, and the licence texts of everything linked into the programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
programs=("$build/app/elevara.exe" "$build/cli/elevara-cli.exe")
deps=$build/deps/prefix
qt=$build/deps/qt
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=elevara-$version-windows-x86_64
stage=$build/package/$name

rm -rf "$build/package"
mkdir -p "$stage/licences"
# ship FILE FOLDER: a program or DLL, without its symbols and debugging sections.
ship() { x86_64-w64-mingw32-strip --strip-unneeded -o "$2/${1##*/}" "$1"; }
for program in "${programs[@]}"; do ship "$program" "$stage"; done
sed 's/\r*$/\r/' "$root/README.md" >"$stage/README.md"
sed 's/\r*$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"

# Qt's plugins for a window program on Windows: the windows platform and the native styles.
# Pictures other than PNG (Qt's own) are never read, so no image format plugin goes along.
mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"
ship "$qt/plugins/platforms/qwindows.dll" "$stage/platforms"
for style in "$qt"/plugins/styles/*.dll; do ship "$style" "$stage/styles"; done
cp "$qt/translations/qtbase_ja.qm" "$stage/translations/"

# Beside the executables, every DLL of Qt's folder that they or the plugins load, and the DLLs
# those load in turn (the GCC and MinGW-w64 runtimes among them); the system's DLLs are
# Windows' own.
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
pending=("$stage"/*.exe "$stage"/platforms/*.dll "$stage"/styles/*.dll)
while ((${#pending[@]} > 0)); do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  for dll in $(imports "$file"); do
    if [[ -f $qt/bin/$dll && ! -f $stage/$dll ]]; then
      ship "$qt/bin/$dll" "$stage"
      pending+=("$stage/$dll")
    fi
  done
done

# licence NAME FILE: one licence text, named after what it covers.
licence() { sed 's/\r*$/\r/' "$2" >"$stage/licences/$1.txt"; }

# Always linked: the GCC runtime (libstdc++, libgcc; GPL with the runtime library exception) and
# the MinGW-w64 runtime with winpthreads, and Qt, under the LGPL 3 (the GPL 3 with further
# permissions) with the bundled libraries that Debian's summary lists.
licence gcc-runtime /usr/share/doc/gcc-mingw-w64-base/copyright
licence mingw-w64-runtime /usr/share/doc/mingw-w64-common/copyright
licence qt-LGPL-3.0 "$qt/share/licenses/qt6-base/LGPL-3.0-only.txt"
licence qt-GPL-3.0 "$qt/share/licenses/qt6-base/GPL-3.0-only.txt"
licence qt-copyright "$qt/share/licenses/qt6-base/copyright"
# Linked when a program uses them, which their functions in the executables show.
symbols=$(for program in "${programs[@]}"; do
  x86_64-w64-mingw32-nm --defined-only "$program" | awk '{print $3}'
done)
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
