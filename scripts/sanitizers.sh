#!/usr/bin/env bash
# Runs the tests under the compiler's sanitizers:
#   build/asan  every test, with AddressSanitizer (and its leak checker) and UndefinedBehaviorSanitizer;
#   build/tsan  the tests that run more than one thread, with ThreadSanitizer.
# Any sanitizer report fails the run, also one from a program a test starts (the end-to-end test
# runs the player itself, whose output goes nowhere): every sanitizer stops the process at its
# first report, and AddressSanitizer, LeakSanitizer and ThreadSanitizer also write each report to
# a log folder, which must be empty at the end. (This compiler's UndefinedBehaviorSanitizer
# ignores log_path: its reports appear in the failing test's output; in the player they end it
# with a status the end-to-end test checks.) Prints a summary; exits non-zero if anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

source scripts/packages.sh
bash scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" || exit 1
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
jobs="$(nproc)"

# Tests that run work on other threads: the processor against a rendering thread (playlist
# changes, presses racing learned MIDI), the folder scans, the waveform's thumbnail thread, and
# the editor and host that own the timers and those threads. Not the end-to-end test: its waits
# assume a player at full speed.
tsan_tests='^(PlaylistTest|WaveformViewTest|EditorTest|HostInterfaceTest|MainComponentTest|UserSeesTest|DataFilesTest)\.'

# The tests that wait on a real program or race threads run one at a time after the others, so
# that the rest do not compete with them for the cores.
asan_paced='^EndToEndTest\.'
tsan_paced='^UserSeesTest\.Presses'

# The sanitizer runtimes of this compiler may fail to map their shadow memory when the kernel
# randomises addresses with more than 28 bits; programs then run without it.
norandom=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ]; then
    norandom=(setarch "$(uname -m)" -R)
fi

summary=()
failed=0

# run_tests CTEST-ARGS...: ctest in a process group of its own. A test that a sanitizer stops
# dies before its destructors run and leaves its JACK or X server behind; whatever is still
# running in that group afterwards is ended.
test_group=""
end_test_group()
{
    [ -n "$test_group" ] || return 0
    local left
    left=$(ps -eo pid=,pgid=,stat=,args= | awk -v g="$test_group" '$2 == g && $3 !~ /^Z/')
    if [ -n "$left" ]; then
        echo "Ending what the tests left running:"
        echo "$left"
        kill -TERM -- "-$test_group" 2>/dev/null
        sleep 3
        kill -KILL -- "-$test_group" 2>/dev/null
    fi
    test_group=""
}
trap 'end_test_group; exit 130' INT TERM

run_tests()
{
    local rc
    set -m
    "${norandom[@]}" ctest "$@" &
    test_group=$!
    set +m
    wait "$test_group"
    rc=$?
    end_test_group
    return "$rc"
}

# stage NAME DIR FLAGS SELECTED PACED: builds the tests with FLAGS in DIR and runs those matching
# SELECTED, the PACED ones last and alone; then fails the stage on any report left in DIR's logs.
stage()
{
    local name="$1" dir="$2" flags="$3" selected="$4" paced="$5" start rc=0 count=0 f
    local common=(--test-dir "$dir" --output-on-failure --timeout 180 --no-tests=error)
    start=$(date +%s)
    if ! { cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DVELORIN_BUILD_TESTS=ON -DVELORIN_BUILD_BENCH=OFF \
               -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" \
           && "${norandom[@]}" cmake --build "$dir" -j"$jobs" --target velorin_tests Velorin; }; then
        summary+=("$name build: FAILED")
        failed=1
        return
    fi
    summary+=("$name build: ok ($(( $(date +%s) - start )) s)")
    start=$(date +%s)
    run_tests "${common[@]}" -j"$jobs" -R "$selected" -E "$paced" || rc=1
    run_tests "${common[@]}" -j1 -R "$paced" || rc=1
    [ $rc -eq 0 ] && summary+=("$name tests: all passed ($(( $(date +%s) - start )) s)") \
                  || { summary+=("$name tests: FAILED ($(( $(date +%s) - start )) s), see the list above"); failed=1; }
    while IFS= read -r f; do
        [ $count -eq 0 ] && printf '\n===== %s reports =====\n' "$name"
        echo "----- $(basename "$f")"
        cat "$f"
        count=$((count + 1))
    done < <(find "$logs" -type f 2>/dev/null | sort)
    if [ $count -ne 0 ]; then
        summary+=("$name: $count sanitizer report file(s), printed above (kept in $logs)")
        failed=1
    fi
}

logs="$root/build/asan/sanitizer-logs"
rm -rf "$logs" && mkdir -p "$logs"
supp() { [ -f "scripts/$1.supp" ] && echo ":suppressions=$root/scripts/$1.supp"; }
ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:log_path=$logs/asan:log_exe_name=1" \
UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" LSAN_OPTIONS="print_suppressions=0$(supp lsan)" \
    stage "ASan+UBSan" build/asan "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g" . "$asan_paced"

logs="$root/build/tsan/sanitizer-logs"
rm -rf "$logs" && mkdir -p "$logs"
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:print_suppressions=0:log_path=$logs/tsan:log_exe_name=1$(supp tsan)" \
    stage "TSan" build/tsan "-fsanitize=thread -g -O1" "$tsan_tests" "$tsan_paced"

echo
echo "===== Sanitizer summary ====="
printf '%s\n' "${summary[@]}"
[ "$failed" -eq 0 ] && echo "SANITIZERS: passed" || { echo "SANITIZERS: FAILED"; exit 1; }
