#!/bin/bash
# test.sh [SUITE...] - builds and runs the tests, one build tree per suite:
#
#   native    the native build: unit tests, model checks, the gallery in headless
#             Chromium, benchmarks built
#   sanitize  clang with AddressSanitizer + UndefinedBehaviorSanitizer, and the fuzzers
#   win32     the 32-bit Windows build under Wine, GUI tests included
#   win64     the 64-bit Windows build under 64-bit Wine, GUI tests included
#
# With no suite named it runs all four, as CI does; each suite installs only
# what it needs. Where this machine cannot run 32-bit programs, win32 still
# builds its tree and checks the viewer's executable (a check that reads the
# file), and counts its suite as skipped. Ends with one line:
# "N passed, N failed, N skipped".
#
#   VELDER_BUILD   build folder (default: build/ in the checkout)
#   VELDER_JOBS    parallel build and test jobs (default: 2)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VELDER_BUILD:-$root/build}
jobs=${VELDER_JOBS:-2}

suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=(native sanitize win32 win64)
groups=(build)
for suite in "${suites[@]}"; do
    case $suite in
        native) groups+=(check browser) ;;
        sanitize) groups+=(check) ;;
        win32|win64) groups+=(wine "$suite" gui) ;;
        *) echo "usage: scripts/test.sh [native|sanitize|win32|win64]..." >&2; exit 2 ;;
    esac
done
"$root/scripts/deps.sh" "${groups[@]}" || exit 1

passed=0
failed=0
skipped=0
retries=0
broken=

# run_suite NAME CTEST-FILTER CMAKE-ARGS...: configure, build and test one
# build tree; a non-empty filter runs only the tests it matches.
run_suite() {
    local name=$1 filter=$2
    shift 2
    local dir=$build/$name
    echo "=== $name: configure and build"
    if ! cmake -S "$root" -B "$dir" "$@" >"$dir.configure.log" 2>&1; then
        cat "$dir.configure.log"
        broken="$broken $name"
        return
    fi
    if ! cmake --build "$dir" -j"$jobs" >"$dir.build.log" 2>&1; then
        "$root/scripts/build-failed.sh" "$dir.build.log"
        broken="$broken $name"
        return
    fi
    echo "=== $name: test"
    (cd "$dir" && ctest -j"$jobs" --output-on-failure --timeout 900 ${filter:+-R "$filter"}) | tee "$dir.test.log"
    # Timings that tests measure and print, never assert.
    grep -h '^FIGURE ' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null
    # What a test did again (a key press it saw lost), each named on its own line.
    local again
    again=$(grep -h '^RETRY ' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null)
    if [ -n "$again" ]; then
        echo "$again"
        retries=$((retries + $(echo "$again" | wc -l)))
    fi
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
release=-DCMAKE_BUILD_TYPE=RelWithDebInfo
for suite in "${suites[@]}"; do
    case $suite in
        native) run_suite native "" $release -DVELDER_BENCH=ON ;;
        sanitize)
            run_suite sanitize "" $release -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
                -DVELDER_SANITIZE=ON -DVELDER_FUZZ=ON ;;
        win32)
            toolchain=-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
            if "$root/scripts/wine-run.sh" --runs-32-bit; then
                run_suite win32 "" $release "$toolchain"
            else
                run_suite win32 '^viewer_executable$' $release "$toolchain"
                echo "=== win32: i686 suite skipped: this machine cannot run 32-bit programs" \
                    "(the kernel's 32-bit emulation is off); built, and its executable checked"
                skipped=$((skipped + 1))
            fi ;;
        win64) run_suite win64 "" $release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" ;;
    esac
done

if [ -n "$broken" ]; then
    echo "build or test run broken:$broken"
    failed=$((failed + 1))
fi
echo "retries: $retries (each named above on a RETRY line)"
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
