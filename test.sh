#!/usr/bin/env bash
# Builds Velorin with its tests (Debug, so JUCE's assertions are live) and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
bash scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

# One format for all the code, and one statement per line in the tests.
bash scripts/check-style.sh

export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake -S . -B build/debug -DCMAKE_BUILD_TYPE=Debug
cmake --build build/debug -j"$(nproc)"
ctest --test-dir build/debug --output-on-failure -j"$(nproc)" --timeout 300

# The suite again under AddressSanitizer + UBSan, and the threaded tests under ThreadSanitizer.
bash scripts/sanitizers.sh

# Everything the program reads from outside, fuzzed for a bounded time (FUZZ_SECONDS each).
bash scripts/fuzz.sh

# Minutes of simulated use of the whole player on a real-time paced audio device.
bash scripts/soak.sh
