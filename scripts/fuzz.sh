#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, AddressSanitizer and UndefinedBehaviorSanitizer over
# JUCE and our code) in build/fuzz and runs every harness for a bounded time, starting from the
# committed inputs in tests/fuzz-regressions/<target>/ and the corpus of earlier runs. Exits non-zero when any harness finds a crash, a hang, a leak or an oversized
# allocation; its input is left in build/fuzz/findings/<target>/.
#
# Environment:
#   FUZZ_SECONDS   seconds per target (default 30)
#   FUZZ_TARGETS   targets to run, separated by blanks (default: all)
#   FUZZ_JOBS      targets run at the same time (default: the number of cores)
#
# Installs nothing: besides the packages of a normal build it needs clang, libclang-rt-dev
# (libFuzzer and the sanitizer runtimes) and llvm (llvm-symbolizer, for readable stacks).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=${FUZZ_SECONDS:-30}
jobs=${FUZZ_JOBS:-$(nproc)}
all_targets=(audio_file data_file midi_map config_file playlist midi_messages xml_check)
read -r -a targets <<< "${FUZZ_TARGETS:-${all_targets[*]}}"

build=build/fuzz
findings=$build/findings
logs=$build/logs
corpus=$build/corpus

export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
flags="-fsanitize=fuzzer-no-link,address,undefined -g -O1"

mkdir -p "$build"

# One run at a time per build folder: a second would delete the first one's HOME and findings.
exec 9> "$build/lock"
flock -n 9 || { echo "fuzz.sh is already running in $build" >&2; exit 1; }

probe=$build/probe
if ! command -v clang++ > /dev/null \
   || ! echo 'extern "C" int LLVMFuzzerTestOneInput (const unsigned char*, unsigned long) { return 0; }' \
        | clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o "$probe" 2> /dev/null; then
    echo "fuzz.sh needs clang with libFuzzer and the sanitizer runtimes (Debian: clang libclang-rt-dev llvm)" >&2
    exit 1
fi
rm -f "$probe"

# Sanitizer reports name functions and lines only when a symbolizer is found.
if ! command -v llvm-symbolizer > /dev/null; then
    for candidate in /usr/lib/llvm-*/bin/llvm-symbolizer; do
        [ -x "$candidate" ] && export ASAN_SYMBOLIZER_PATH="$candidate"
    done
fi

# The application and the tests are not built here: only the harnesses.
cmake -S . -B "$build" \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug \
      -DVELORIN_BUILD_FUZZERS=ON -DVELORIN_BUILD_TESTS=OFF -DVELORIN_BUILD_BENCH=OFF \
      -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" > "$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
build_start=$SECONDS
cmake --build "$build" -j"$(nproc)" --target velorin_fuzzers
echo "fuzz: build took $((SECONDS - build_start)) s"

# Every sanitizer report ends the run; leaks are looked for after each input.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:symbolize=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$root/fuzz/ubsan.supp:${UBSAN_OPTIONS:-}"

# The harnesses keep their HOME (and any temporary file) in here, never in the real one.
tmp=$build/tmp
rm -rf "$tmp" "$findings" "$logs"
mkdir -p "$tmp" "$findings" "$logs"
export TMPDIR=$root/$tmp

max_len_of() {
    case "$1" in
        audio_file) echo 16384 ;;
        data_file|playlist|xml_check) echo 8192 ;;
        midi_map|config_file) echo 4096 ;;
        midi_messages) echo 2048 ;;
        *) echo "unknown target $1" >&2; exit 2 ;;
    esac
}

run_target() {
    local target=$1
    local dict=fuzz/dicts/$target.dict
    # An input still running after 10 s is a hang.
    local args=(
        -max_total_time="$seconds"
        -timeout=10
        -rss_limit_mb=2048
        -malloc_limit_mb=512
        -max_len="$(max_len_of "$target")"
        -print_final_stats=1
        -artifact_prefix="$root/$findings/$target/"
    )
    [ -f "$dict" ] && args+=(-dict="$dict")
    mkdir -p "$corpus/$target" "$findings/$target"

    local inputs=("$corpus/$target" "tests/fuzz-regressions/$target")

    "$build/fuzz/${target}_fuzzer" "${args[@]}" "${inputs[@]}" > "$logs/$target.log" 2>&1
}

pids=()
names=()
for target in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        sleep 1
    done

    echo "fuzz: $target for $seconds s"
    run_target "$target" &
    pids+=($!)
    names+=("$target")
done

failed=0
printf '%-14s %10s %12s %10s %9s  %s\n' target execs execs/s corpus rss_mb result
for i in "${!pids[@]}"; do
    target=${names[$i]}
    status=0
    wait "${pids[$i]}" || status=$?
    log=$logs/$target.log

    final_stat() { sed -n "s/^stat::$1: *//p" "$log" | tail -1; }
    execs=$(final_stat number_of_executed_units)
    rate=$(final_stat average_exec_per_sec)
    rss=$(final_stat peak_rss_mb)
    units=$(ls "$corpus/$target" | wc -l)

    found=$(find "$findings/$target" -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' | wc -l)
    slow=$(find "$findings/$target" -name 'slow-unit-*' | wc -l)

    if [ "$status" -eq 0 ] && [ "$found" -eq 0 ]; then
        result=ok
        [ "$slow" -gt 0 ] && result="ok ($slow slow inputs kept)"
    else
        result="FOUND (exit $status)"
        failed=1
    fi

    printf '%-14s %10s %12s %10s %9s  %s\n' "$target" "${execs:--}" "${rate:--}" "$units" "${rss:--}" "$result"
done

if [ "$failed" -ne 0 ]; then
    echo
    for target in "${names[@]}"; do
        for file in "$findings/$target"/*; do
            [ -e "$file" ] || continue
            echo "fuzz: $target: $file"
        done
    done

    for target in "${names[@]}"; do
        if grep -aq "^==[0-9]*==ERROR\|^SUMMARY:\|==velorin-fuzz==" "$logs/$target.log"; then
            echo
            echo "---- $target (from $logs/$target.log) ----"
            grep -a -A40 -m1 "==ERROR\|==velorin-fuzz==\|runtime error\|ALARM\|out-of-memory\|Assertion failure" "$logs/$target.log" | head -60 || true
        fi
    done

    echo
    echo "fuzz: findings above; reproduce one with: $build/fuzz/<target>_fuzzer <file>"
    exit 1
fi

echo "fuzz: no findings"
