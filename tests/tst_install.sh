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
share/doc/quillory/copyright
share/icons/hicolor/scalable/apps/org.quillory.Quillory.svg
share/man/man1/quillory-cli.1.gz
share/man/man1/quillory.1.gz
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

# The manual pages render without a warning, on a terminal and on a typesetter, and say the
# version they belong to.
for page in quillory quillory-cli; do
  file="$prefix/share/man/man1/$page.1.gz"
  warnings=$( { LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$file" >/dev/null; } 2>&1)
  [ -z "$warnings" ] || { printf 'man -l %s:\n%s\n' "$page.1" "$warnings" >&2; exit 1; }
  warnings=$(gzip -dc "$file" | groff -man -ww -z 2>&1)
  [ -z "$warnings" ] || { printf 'groff %s:\n%s\n' "$page.1" "$warnings" >&2; exit 1; }
  warnings=$(gzip -dc "$file" | groff -Tutf8 -man -ww -z 2>&1)
  [ -z "$warnings" ] || { printf 'groff -Tutf8 %s:\n%s\n' "$page.1" "$warnings" >&2; exit 1; }
  gzip -dc "$file" | grep -q "^\.TH .* \"Quillory $version\"" || { echo "$page.1 names no version $version" >&2; exit 1; }
done

# Debian's machine-readable copyright: its format line, and a licence for every Files stanza.
copyright="$prefix/share/doc/quillory/copyright"
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/'
files=$(grep -c '^Files:' "$copyright")
licensed=$(awk '/^Files:/{f=1} f&&/^License:/{n++; f=0} END{print n+0}' "$copyright")
[ "$files" -ge 1 ] && [ "$files" = "$licensed" ] || { echo "copyright: a Files stanza without a License" >&2; exit 1; }

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
