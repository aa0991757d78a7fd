#!/usr/bin/env bash
# Builds the unit and speech tests with clang's AddressSanitizer and UndefinedBehaviorSanitizer and runs
# them inside the private desktop. Any report (memory error, leak, undefined behaviour) fails the test.
# The benchmarks, the desktop and end-to-end tests, the installation check and the layering check (no
# program of ours to instrument; the main suite runs it) are not built or run here.
# Usage: scripts/sanitize.sh [ctest arguments]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${ORVANTA_SANITIZE_BUILD_DIR:-$root/build-asan}"
labels='unit|speech'
skipped='^(test_install|test_layering)$'

"$here/install-packages.sh"
"$here/fetch-whisper.sh" >/dev/null || true
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DORVANTA_WERROR=ON -DORVANTA_BUILD_BENCH=OFF -DORVANTA_SANITIZE=address,undefined
# Only what the chosen tests need: their executables and the program some of them launch.
mapfile -t targets < <(cd "$build" && ctest -N -L "$labels" -E "$skipped" 2>/dev/null |
    sed -n 's/^ *Test *#[0-9]*: //p')
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" orvanta

# Leaks are reports too (ORVANTA_DETECT_LEAKS=0 turns the check off while hunting something else).
export ASAN_OPTIONS="detect_leaks=${ORVANTA_DETECT_LEAKS:-1}:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$here/sanitizers/lsan.supp"
cd "$build"
"$here/with-desktop.sh" ctest --output-on-failure --timeout 900 -L "$labels" -E "$skipped" "$@"
