#!/usr/bin/env bash
# Builds and runs the benchmarks:
#   bench/run.sh album   one sample album with the shipped delays (about 15 s)
#   bench/run.sh save        2,000 pictures of 50 KB, ours against curl
#   bench/run.sh latency     300 pictures of 100 KB, each answered after 30 ms, ours against curl
#   bench/run.sh bar         5 albums of 40 such pictures with the shipped page pace (about 55 s)
#   bench/run.sh bigpicture  one picture of 1 GiB: how much the program's peak memory grows
#   bench/run.sh scan        the page scans on crafted pages: time and peak memory
#   bench/run.sh log         lines per second into the window's log at 1,000 and at 100,000 lines
#   bench/run.sh hostile [case...]  hostile album pages: time and peak memory of a whole job
#   bench/run.sh pace [--keep]  quillory-cli on 12 lazy albums, fixed pace against adaptive with 4 pages (about 4 min)
#   bench/run.sh pace --config tools/forumsim/libraries.json --bar 库   the same two paces over a bar of
#                    galleries, album by album: pictures saved, in page order or not (blind.json: bar 盲)
set -euo pipefail
cd "$(dirname "$0")/.."
# it needs only the command-line program and the simulated forum
[ "${1:-}" != pace ] || export QUILLORY_TARGETS="${QUILLORY_TARGETS:-quillory-cli forumsim}"
source scripts/setup.sh
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
case "${1:-all}" in
  album) "$QUILLORY_BUILD/bench/bench_album" tools/forumsim/sample.json "${2:-7310001}" 2>/dev/null ;;
  save) "$QUILLORY_BUILD/bench/bench_save" "${2:-2000}" 51200 0 ;;
  latency) "$QUILLORY_BUILD/bench/bench_save" "${2:-300}" 102400 30 ;;
  bar) "$QUILLORY_BUILD/bench/bench_bar" 5 40 30 2>/dev/null ;;
  bigpicture) "$QUILLORY_BUILD/bench/bench_save" 1 1073741824 0 --ours-only ;;
  scan)
    for n in 65536 1048576 33554432; do "$QUILLORY_BUILD/bench/bench_scan" ids "$n"; done
    for n in 4000 100000; do "$QUILLORY_BUILD/bench/bench_scan" albums "$n"; done ;;
  log) "$QUILLORY_BUILD/bench/bench_log" "${2:-2000}" 2>/dev/null ;;
  hostile) shift; python3 bench/hostile.py "$QUILLORY_BUILD" "$@" ;;
  pace) shift; python3 bench/pace.py "$@" "$QUILLORY_BUILD" ;;
  all) for b in album save latency bar bigpicture scan log; do "$0" "$b"; done ;;
esac
