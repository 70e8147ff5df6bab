#!/usr/bin/env bash
# Installs what is missing, builds, installs Quillory into a folder of its own and starts it there.
#   ./run.sh          the program against the real forum
#   ./run.sh --demo   the program against the simulated forum and its sample bar, on 127.0.0.1
# The pictures land beside the installed program, outside the build tree, so that no rebuild,
# `rm -rf build` or `git clean` can touch them: <home>/bin/<bar>吧/<album>/<n>.jpg, where <home>
# is $QUILLORY_HOME (default ~/Quillory), and <home>/demo for the demo.
set -euo pipefail
cd "$(dirname "$0")"
# Only what is installed and run here is built: the tests and benchmarks are test.sh's.
QUILLORY_TARGETS="quillory quillory-cli"
[ "${1:-}" != "--demo" ] || QUILLORY_TARGETS="$QUILLORY_TARGETS forumsim"
source scripts/setup.sh

home=${QUILLORY_HOME:-$HOME/Quillory}
[ "${1:-}" != "--demo" ] || home=$home/demo
cmake --install "$QUILLORY_BUILD" --prefix "$home" --strip >/dev/null
echo "Quillory is in $home/bin; its pictures go to $home/bin/<bar>吧/<album>/."

if [ "${1:-}" != "--demo" ]; then
  exec "$home/bin/quillory"
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
QUILLORY_FORUM_HOST="$address" QUILLORY_IMAGE_HOST="$address" "$home/bin/quillory"
