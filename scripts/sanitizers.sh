#!/usr/bin/env bash
# Runs the tests under the compiler's sanitizers:
#   build/asan  every test, with AddressSanitizer (and its leak checker) and
#               UndefinedBehaviorSanitizer;
#   build/tsan  the tests that run more than one thread, with ThreadSanitizer.
# Any sanitizer report fails the run, also one from a program a test starts (the
# end-to-end test runs the player itself, whose output goes nowhere): every sanitizer
# stops the process at its first report, and AddressSanitizer, LeakSanitizer and
# ThreadSanitizer also write each report to a log folder, which must be empty at the end.
# (This compiler's UndefinedBehaviorSanitizer ignores log_path: its reports appear in the
# failing test's output; in the player they end it with a status the end-to-end test checks.)
# Prints a summary; exits non-zero if anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

source scripts/packages.sh
bash scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" || exit 1

export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
jobs="$(nproc)"

# Tests that run work on other threads: the processor against a rendering thread, the
# folder scans, the waveform's thumbnail thread, the whole host on a real JACK device
# (its audio thread), and the editor and host that own the timers and those threads.
# Not the end-to-end test: its fixed waits assume a player at full speed (under this
# sanitizer the window is still 128x128 when the test measures it), and the host it
# drives runs under ThreadSanitizer in AudioDeviceTest.
tsan_tests='^(PlaylistTest|WaveformViewTest|AudioDeviceTest|EditorTest|HostInterfaceTest|MainComponentTest)\.'

# The tests paced by a real-time device, with fixed waits or a check of the playback rate,
# of each run: they run one at a time after the others, so that the rest of the suite
# does not compete with them for the cores on top of the sanitizers' own slowdown.
asan_paced='^(AudioDeviceTest|EndToEndTest)\.'
tsan_paced='^AudioDeviceTest\.'

# The sanitizer runtimes of this compiler may fail to map their shadow memory when the
# kernel randomises addresses with more than 28 bits; programs then run without it.
norandom=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ]; then
    norandom=(setarch "$(uname -m)" -R)
fi

summary=()
failed=0

note()  { summary+=("$1"); }
fail()  { summary+=("$1"); failed=1; }
clock() { date +%s; }

# configure_and_build DIR FLAGS TARGET...
configure_and_build()
{
    local dir="$1" flags="$2"
    shift 2
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DVELORIN_BUILD_TESTS=ON -DVELORIN_BUILD_BENCH=OFF \
          -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
          -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" \
        && "${norandom[@]}" cmake --build "$dir" -j"$jobs" "$@"
}

# run_tests CTEST-ARGS...: runs ctest in a process group of its own. A test that a
# sanitizer stops dies before its destructors run, and leaves its JACK server or X server
# behind; whatever is still running in that group afterwards is ended.
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

# run_suite DIR SELECTED PACED: the tests of a build whose names match SELECTED, those
# matching PACED (a subset) last and alone. Fails if either part fails or finds no test.
run_suite()
{
    local dir="$1" selected="$2" paced="$3" rc=0
    local common=(--test-dir "$dir" --output-on-failure --timeout 180 --no-tests=error)
    run_tests "${common[@]}" -j"$jobs" -R "$selected" -E "$paced" || rc=1
    run_tests "${common[@]}" -j1 -R "$paced" || rc=1
    return "$rc"
}

# reports LOGDIR NAME: fails the stage when the sanitizer left any report, and shows them.
reports()
{
    local logs="$1" name="$2" count=0 f

    while IFS= read -r f; do
        [ $count -eq 0 ] && printf '\n===== %s reports =====\n' "$name"
        echo "----- $(basename "$f")"
        cat "$f"
        count=$((count + 1))
    done < <(find "$logs" -type f 2>/dev/null | sort)

    if [ $count -ne 0 ]; then
        fail "$name: $count sanitizer report file(s), printed above (kept in $logs)"
    fi
}

#==========================================================================================
# AddressSanitizer + UndefinedBehaviorSanitizer, every test.
asan_logs="$root/build/asan/sanitizer-logs"
rm -rf "$asan_logs"
mkdir -p "$asan_logs"

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:log_path=$asan_logs/asan:log_exe_name=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
lsan_supp=""
[ -f scripts/lsan.supp ] && lsan_supp=":suppressions=$root/scripts/lsan.supp"
export LSAN_OPTIONS="print_suppressions=0$lsan_supp"

start=$(clock)
if configure_and_build build/asan "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g" --target velorin_tests Velorin; then
    note "ASan+UBSan build:  ok ($(( $(clock) - start )) s)"

    start=$(clock)
    if run_suite build/asan . "$asan_paced"; then
        note "ASan+UBSan tests:  all passed ($(( $(clock) - start )) s)"
    else
        fail "ASan+UBSan tests:  FAILED ($(( $(clock) - start )) s), see the list above"
    fi
else
    fail "ASan+UBSan build:  FAILED"
fi
reports "$asan_logs" "ASan/UBSan/LSan"
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS

#==========================================================================================
# ThreadSanitizer, the threaded tests.
tsan_logs="$root/build/tsan/sanitizer-logs"
rm -rf "$tsan_logs"
mkdir -p "$tsan_logs"

tsan_supp=""
[ -f scripts/tsan.supp ] && tsan_supp=":suppressions=$root/scripts/tsan.supp"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:print_suppressions=0:log_path=$tsan_logs/tsan:log_exe_name=1$tsan_supp"

start=$(clock)
if configure_and_build build/tsan "-fsanitize=thread -g -O1" --target velorin_tests Velorin; then
    note "TSan build:        ok ($(( $(clock) - start )) s)"

    start=$(clock)
    if run_suite build/tsan "$tsan_tests" "$tsan_paced"; then
        note "TSan tests:        all passed ($(( $(clock) - start )) s)"
    else
        fail "TSan tests:        FAILED ($(( $(clock) - start )) s), see the list above"
    fi
else
    fail "TSan build:        FAILED"
fi
reports "$tsan_logs" "TSan"
unset TSAN_OPTIONS

#==========================================================================================
echo
echo "===== Sanitizer summary ====="
printf '%s\n' "${summary[@]}"

if [ "$failed" -ne 0 ]; then
    echo "SANITIZERS: FAILED"
    exit 1
fi

echo "SANITIZERS: passed"
