#!/usr/bin/env bash
# Runs make with the given targets in this folder, installing the build tools first when make is
# missing (a bare Debian has none), so that the quick start works right after cloning.
#   ./make.sh TARGET...   as make TARGET...; make itself is then installed for the next time
set -euo pipefail
cd "$(dirname "$0")"
command -v make >/dev/null || scripts/setup.sh build
exec make "$@"
