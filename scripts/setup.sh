#!/usr/bin/env bash
# Installs what the build needs from Debian's packages (only what is missing), then configures
# and builds into build/. Sourced by run.sh and test.sh.
set -euo pipefail

QUILLORY_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QUILLORY_BUILD="${QUILLORY_BUILD:-$QUILLORY_ROOT/build}"

# desktop-file-utils and appstream check the installed menu entry; dpkg-dev lets cpack find
# the Debian package's dependencies.
packages=(cmake g++ make qt6-base-dev qt6-webengine-dev libgl-dev libxkbcommon-dev zlib1g-dev fonts-noto-cjk curl
  desktop-file-utils appstream dpkg-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$QUILLORY_ROOT" -B "$QUILLORY_BUILD" -DCMAKE_BUILD_TYPE="${QUILLORY_BUILD_TYPE:-RelWithDebInfo}" \
  ${QUILLORY_CMAKE_ARGS:-} >/dev/null
cmake --build "$QUILLORY_BUILD" -j"$(nproc)"
