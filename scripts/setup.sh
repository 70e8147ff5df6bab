#!/usr/bin/env bash
# Installs what the build needs from Debian's packages (only what is missing), then configures
# and builds into build/. Sourced by run.sh (which builds only the programs it installs and
# runs), test.sh and bench/run.sh.
set -euo pipefail

QUILLORY_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QUILLORY_BUILD="${QUILLORY_BUILD:-$QUILLORY_ROOT/build}"

# desktop-file-utils and appstream check the installed menu entry; dpkg-dev lets cpack find
# the Debian package's dependencies; qt6-l10n-tools and qt6-tools-dev bring lupdate, lrelease
# and their CMake package, which compile quillory-cli's translations; man-db and groff-base
# check the manual pages; dbus-daemon gives the window's tests a session bus of their own
# (dbus-run-session).
packages=(cmake g++ make qt6-base-dev qt6-webengine-dev libgl-dev libxkbcommon-dev zlib1g-dev fonts-noto-cjk curl
  desktop-file-utils appstream dbus-daemon dpkg-dev qt6-l10n-tools qt6-tools-dev man-db groff-base)

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
# QUILLORY_TARGETS (space-separated) builds only those targets, and what they need; by default
# everything, the tests and benchmarks among it.
# shellcheck disable=SC2086
cmake --build "$QUILLORY_BUILD" -j"$(nproc)" ${QUILLORY_TARGETS:+--target $QUILLORY_TARGETS}
