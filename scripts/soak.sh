#!/usr/bin/env bash
# Builds velorin_soak and runs it for SOAK_SECONDS (default 60) with SOAK_SEED (default 1).
#
# It builds in the Debug tree that test.sh configures (build/debug, or SOAK_BUILD_DIR): the
# framework is compiled there already, and JUCE's assertions are live, which the soak is
# meant to catch. It fails when the program fails, and when the output shows a JUCE
# assertion or a leak report, also one printed after the program's own checks, as the
# framework shuts down.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
bash scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}" jackd2

build="${SOAK_BUILD_DIR:-build/debug}"
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

# A tree configured before (perhaps as another build type) keeps its settings.
if [ -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" > /dev/null
else
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug > /dev/null
fi
cmake --build "$build" --target velorin_soak -j"$(nproc)"

log="$(mktemp)"
trap 'rm -f "$log"' EXIT

# Adding a folder prints a line per file ("Added ..."): kept in the log, not shown.
status=0
"$build/soak/velorin_soak" "${SOAK_SECONDS:-60}" "${SOAK_SEED:-1}" 2>&1 | tee "$log" | sed -u '/^Added /d' || status=$?

if grep -q -e "JUCE Assertion failure" -e "Leaked objects detected" "$log"; then
    echo "velorin_soak: a JUCE assertion or leak report in the output" >&2
    status=1
fi

exit "$status"
