#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM.exe [ARGUMENT...]: runs a Windows program under Wine, headless, in
# the Wine prefix PREFIX, which is made on first use.
set -euo pipefail
prefix=$(realpath -m "$1")
shift

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer prompts (nothing here needs .NET or an HTML engine), no menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
# Wine hands the program its arguments as UTF-16 decoded from the locale's encoding.
export LC_ALL=C.UTF-8

if [[ ! -f $prefix/system.reg ]]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [[ ! -f $prefix/system.reg ]]; then wineboot --init >/dev/null 2>&1; fi
  ) 9>"$prefix.lock"
fi
exec wine "$@"
