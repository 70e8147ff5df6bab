#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
# The suites spend much of their time waiting on the pages' pace, so seven run at once, the
# longest parts first (their COST), which keeps both cores of a small machine busy to the end.
ctest --test-dir "$QUILLORY_BUILD" --output-on-failure -j7 "$@"
