#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
# The suites mostly wait on the pages' pace (under a core in all), so five run at once.
ctest --test-dir "$QUILLORY_BUILD" --output-on-failure -j5 "$@"
