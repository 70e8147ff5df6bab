#!/usr/bin/env bash
# Installs what is missing, builds, installs Quillory into a folder of its own and starts it there.
#   ./run.sh          the program against the real forum
#   ./run.sh --demo   the program against the simulated forum and its sample bar, on 127.0.0.1
# The pictures land beside the installed program, outside the build tree, so that no rebuild,
# `rm -rf build` or `git clean` can touch them: the programs lie in <home> itself, and the
# pictures in <home>/<bar>吧/<album>/<n>.jpg, where <home> is $QUILLORY_HOME (default ~/Quillory),
# and <home>/demo for the demo. The rest of the installation (menu entry, icon, manual pages)
# lies in the hidden <home>/.install.
set -euo pipefail
cd "$(dirname "$0")"
# Only what is installed and run here is built: the tests and benchmarks are test.sh's. The demo
# builds only what it starts, the window and the simulated forum, so that its window comes
# first; quillory-cli is installed beside it once a plain ./run.sh has built it.
QUILLORY_TARGETS="quillory quillory-cli"
[ "${1:-}" != "--demo" ] || QUILLORY_TARGETS="quillory forumsim"
# A build of its own, optimised and without debug information, which compiles in far less time
# than the tests' and is stripped on installing anyway.
QUILLORY_BUILD="${QUILLORY_BUILD:-$PWD/build-run}"
QUILLORY_BUILD_TYPE="${QUILLORY_BUILD_TYPE:-Release}"
source scripts/setup.sh

home=${QUILLORY_HOME:-$HOME/Quillory}
[ "${1:-}" != "--demo" ] || home=$home/demo
cmake --install "$QUILLORY_BUILD" --prefix "$home/.install" --strip >/dev/null
# The programs save beside themselves: out of bin/, so that the pictures are not in a folder
# named bin. Each is replaced whole, also while an older one runs.
for program in quillory quillory-cli; do
  [ -e "$home/.install/bin/$program" ] || continue
  cp "$home/.install/bin/$program" "$home/.$program.new"
  mv -f "$home/.$program.new" "$home/$program"
done
rm -rf "$home/.install/bin"
echo "Quillory is in $home; its pictures go to $home/<bar>吧/<album>/."
# Earlier versions of this script installed into bin/, and their pictures stay there.
if [ -x "$home/bin/quillory" ]; then
  echo "The pictures of earlier runs stay in $home/bin; the program there is an old one."
fi

if [ "${1:-}" != "--demo" ]; then
  exec "$home/quillory"
fi

portfile=$(mktemp)
"$QUILLORY_BUILD/forumsim" --config tools/forumsim/sample.json >"$portfile" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$portfile"' EXIT
for _ in $(seq 100); do
  grep -q '^listening on ' "$portfile" && break
  sleep 0.05
done
address=$(sed -n 's/^listening on //p' "$portfile")
[ -n "$address" ] || { echo "the simulated forum did not start" >&2; exit 1; }
echo "Simulated forum on $address: type 风景 and press 开始下载."
QUILLORY_FORUM_HOST="$address" QUILLORY_IMAGE_HOST="$address" "$home/quillory"
