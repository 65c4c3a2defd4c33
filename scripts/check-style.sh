#!/usr/bin/env bash
# Fails when the code differs from what .clang-format makes of it, or when the test code (tests/,
# fuzz/, soak/) joins statements with the comma operator. Uses Debian 12's clang-format and clang.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/packages.sh
bash scripts/ensure-packages.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

# 1. Formatting: every source and header of the product, the tests, fuzzers, soak and benchmark.
failed=0
mapfile -t sources < <(find engine ui app tests fuzz soak bench -name '*.cpp' -o -name '*.h' | sort)
if ! clang-format --dry-run --Werror "${sources[@]}"; then
    echo "check-style.sh: formatting differs from .clang-format (clang-format -i FILE fixes it)" >&2
    failed=1
fi

# 2. One statement per line in the test code: clang's -Wcomma flags every comma operator outside
#    a for header. Each test source is parsed (not compiled) with the flags CMake gives it.
build=build/style
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DVELORIN_BUILD_FUZZERS=ON > /dev/null

# compile_commands.json has one "directory", "command" and "file" line per entry; the command is
# a shell command in a JSON string.
checks="$build/comma-checks.txt"
awk -v root="$PWD/" '
    function value(line) { sub(/^[^:]*: "/, "", line); sub(/",?$/, "", line); return line }
    /^  "directory":/ { directory = value($0) }
    /^  "command":/   { command = value($0) }
    /^  "file":/ {
        file = value($0)
        if (index(file, root) == 1 && substr(file, length(root) + 1) ~ /^(tests|fuzz|soak)\// && ! seen[file]++)
            print "cd \"" directory "\" && " command " -fsyntax-only -Wno-everything -Wcomma -Werror=comma -ferror-limit=0"
    }' "$build/compile_commands.json" \
    | sed -e 's/\\\\/\x01/g' -e 's/\\"/"/g' -e 's/\x01/\\/g' > "$checks"

if [ ! -s "$checks" ]; then
    echo "check-style.sh: no test sources found in $build/compile_commands.json" >&2
    exit 1
fi

if ! xargs -d '\n' -P "$(nproc)" -n 1 sh -c < "$checks"; then
    echo "check-style.sh: one statement per line: no comma operator outside a for header in the test code" >&2
    failed=1
fi

echo "check-style.sh: ${#sources[@]} files formatted, $(wc -l < "$checks") test sources parsed: $([ $failed = 0 ] && echo fine || echo FAILED)"
exit $failed
