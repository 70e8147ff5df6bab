#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there.
#   tst_install.sh <build folder> <version>
set -euo pipefail
build=$1
version=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

expected="bin/quillory
bin/quillory-cli
share/applications/org.quillory.Quillory.desktop
share/icons/hicolor/scalable/apps/org.quillory.Quillory.svg
share/metainfo/org.quillory.Quillory.metainfo.xml"
actual=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
if [ "$actual" != "$expected" ]; then
  printf 'installed files differ; got:\n%s\n' "$actual" >&2
  exit 1
fi
[ -x "$prefix/bin/quillory" ]

desktop-file-validate "$prefix/share/applications/org.quillory.Quillory.desktop"
# Strict: anything beyond a pedantic remark fails the check.
appstreamcli validate --strict --no-net "$prefix/share/metainfo/org.quillory.Quillory.metainfo.xml"

# Without a display, as from a terminal on a server: --version needs no window.
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/quillory" --version)
if [ "$answer" != "quillory $version" ]; then
  echo "--version answered: $answer" >&2
  exit 1
fi
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/quillory-cli" --version)
case "$answer" in
  "quillory-cli $version"*) ;;
  *) echo "quillory-cli --version answered: $answer" >&2; exit 1 ;;
esac
echo "installed and checked in $prefix"
