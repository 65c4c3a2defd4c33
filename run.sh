#!/usr/bin/env bash
# Builds Velorin (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/packages.sh
bash scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}"

export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVELORIN_BUILD_TESTS=OFF -DVELORIN_BUILD_BENCH=OFF
cmake --build build/release -j"$(nproc)"

exec build/release/app/Velorin
