#!/usr/bin/env bash
# Installs the Debian packages ELEVARA needs, and only those that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ make          # build
  qt6-base-dev libgl-dev              # Qt 6 Widgets and Qt Test
  libgtest-dev                        # GoogleTest
  fonts-ipafont-gothic                # a Japanese UI font the window's layout fits
  xvfb xauth                          # running the window without a display
  clang libclang-rt-14-dev            # libFuzzer and the sanitizers
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
