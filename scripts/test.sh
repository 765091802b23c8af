#!/bin/bash
# test.sh - builds and runs every test: the native build, the sanitizer and
# fuzzer build (clang, AddressSanitizer + UndefinedBehaviorSanitizer), and the
# 32-bit Windows build under Wine. Ends with one line: "N passed, N failed".
#
#   VELDER_BUILD   build folder (default: build/ in the checkout)
#   VELDER_JOBS    parallel build and test jobs (default: 2)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELDER_BUILD:-$root/build}
jobs=${VELDER_JOBS:-2}

"$root/scripts/deps.sh" build check windows gui || exit 1

passed=0
failed=0
broken=

# run_suite NAME CMAKE-ARGS...: configure, build and test one build tree.
run_suite() {
    local name=$1
    shift
    local dir=$build/$name
    echo "=== $name: configure and build"
    if ! cmake -S "$root" -B "$dir" "$@" >"$dir.configure.log" 2>&1; then
        cat "$dir.configure.log"
        broken="$broken $name"
        return
    fi
    if ! cmake --build "$dir" -j"$jobs" >"$dir.build.log" 2>&1; then
        grep -E 'error|Error' "$dir.build.log" | head -40
        broken="$broken $name"
        return
    fi
    echo "=== $name: test"
    (cd "$dir" && ctest -j"$jobs" --output-on-failure --timeout 900) | tee "$dir.test.log"
    # Timings that tests measure and print, never assert.
    grep -h '^FIGURE ' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null
    local summary
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$dir.test.log" | tail -1)
    if [ -z "$summary" ]; then
        broken="$broken $name"
        return
    fi
    local bad total
    bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    total=$(echo "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

mkdir -p "$build"
run_suite native -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDER_BENCH=ON
run_suite sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVELDER_SANITIZE=ON -DVELDER_FUZZ=ON
run_suite win32 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"

if [ -n "$broken" ]; then
    echo "build or test run broken:$broken"
    failed=$((failed + 1))
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
