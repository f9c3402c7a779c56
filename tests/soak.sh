#!/usr/bin/env bash
# The soak with more seeds (default 100) and optionally more steps per seed:
#   tests/soak.sh [SEEDS] [STEPS]      (build first: cmake --build build --target soak_tests)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ORVANE_BUILD_DIR:-build}
ORVANE_SOAK_SEEDS=${1:-100} ORVANE_SOAK_STEPS=${2:-1000} "$build/tests/soak/soak_tests" \
  --gtest_brief=1
