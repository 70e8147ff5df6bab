#!/usr/bin/env bash
# Installs what is missing, builds, and starts Quillory.
#   ./run.sh          the program against the real forum
#   ./run.sh --demo   the program against the simulated forum and its sample bar, on 127.0.0.1
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

# The web engine refuses to start its sandbox as root.
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1

if [ "${1:-}" != "--demo" ]; then
  exec "$QUILLORY_BUILD/quillory"
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
QUILLORY_FORUM_HOST="$address" QUILLORY_IMAGE_HOST="$address" "$QUILLORY_BUILD/quillory"
