#!/usr/bin/env bash
# wine-run.sh [--display] PREFIX PROGRAM.exe [ARGUMENT...]: runs a Windows program under Wine,
# headless unless --display keeps the X display, in the Wine prefix PREFIX, which is made on first
# use, with the Japanese font the window is laid out for among its Windows fonts.
set -euo pipefail
display=false
if [[ $1 == --display ]]; then
  display=true
  shift
fi
prefix=$(realpath -m "$1")
shift

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer prompts (nothing here needs .NET or an HTML engine), no menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
$display || unset DISPLAY WAYLAND_DISPLAY
# Wine hands the program its arguments as UTF-16 decoded from the locale's encoding.
export LC_ALL=C.UTF-8
# Wine keeps the build machine's QT_ variables from a Windows program, which would take the
# Linux Qt's settings for its own; those given here are meant for the program, so they go in under
# the WINE prefix by which Wine passes them on. Without a console, Qt on Windows sends its test
# reports and warnings to the debugger unless told to write them out.
export QT_FORCE_STDERR_LOGGING=1
for variable in $(compgen -e | grep '^QT_'); do export "WINE$variable=${!variable}"; done

# The font is copied last: a prefix that has it is whole.
font=/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf
if [[ ! -f $prefix/drive_c/windows/Fonts/${font##*/} ]]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [[ ! -f $prefix/drive_c/windows/Fonts/${font##*/} ]]; then
      wineboot --init >/dev/null 2>&1
      cp "$font" "$prefix/drive_c/windows/Fonts/"
    fi
  ) 9>"$prefix.lock"
fi
exec wine "$@"
