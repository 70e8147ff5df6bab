#!/usr/bin/env bash
# Builds and runs the benchmarks:
#   bench/run.sh album   one sample album with the shipped delays (about 15 s)
#   bench/run.sh save    2,000 pictures of 50 KB, ours against curl
#   bench/run.sh hostile [case...]   hostile album pages: time and peak memory of a whole job
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
case "${1:-all}" in
  album) "$QUILLORY_BUILD/bench/bench_album" tools/forumsim/sample.json "${2:-7310001}" 2>/dev/null ;;
  save) "$QUILLORY_BUILD/bench/bench_save" "${2:-2000}" ;;
  hostile) shift; python3 bench/hostile.py "$QUILLORY_BUILD" "$@" ;;
  all) "$0" album; "$0" save ;;
esac
