#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ (clang, AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each over its seed corpus. The text routines run with a time limit per input, so work that grows
# faster than the input is reported like a crash. Findings are written to build-fuzz/findings/<target>/.
# Usage: scripts/fuzz.sh [seconds per target (default 600)] [target ...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${ORVANTA_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-600}"
shift || true
all=(fuzz_library_decode fuzz_wav fuzz_dictionary fuzz_corrections fuzz_preservation fuzz_builtin_rules
    fuzz_edited_span fuzz_toggle_parse fuzz_fn_hold_state fuzz_clean_text)
targets=("$@")
((${#targets[@]})) || targets=("${all[@]}")

"$here/install-packages.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DORVANTA_WERROR=ON -DORVANTA_BUILD_TESTS=OFF -DORVANTA_BUILD_BENCH=OFF -DORVANTA_FUZZ=ON
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

# Per-input limits (seconds) and largest inputs (bytes). The text routines get inputs as long as a
# dictation piece, so a quadratic step shows up as a timeout.
limits() {
    case "$1" in
    fuzz_dictionary | fuzz_corrections | fuzz_preservation | fuzz_builtin_rules | fuzz_edited_span | fuzz_clean_text)
        echo "-timeout=2 -max_len=24000 -dict=$root/fuzz/text.dict" ;;
    fuzz_library_decode) echo "-timeout=5 -max_len=65536 -dict=$root/fuzz/library.dict" ;;
    fuzz_wav) echo "-timeout=5 -max_len=65536" ;;
    *) echo "-timeout=2 -max_len=4096" ;;
    esac
}

export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=()
for target in "${targets[@]}"; do
    work="$build/corpus/$target"
    findings="$build/findings/$target"
    mkdir -p "$work" "$findings"
    echo "== $target ($seconds s)"
    # shellcheck disable=SC2046
    if ! "$build/fuzz/$target" $(limits "$target") -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" "$root/fuzz/corpus/$target" 2>"$build/findings/$target.log"; then
        failed+=("$target")
    fi
    grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb|==[0-9]+== ERROR|SUMMARY|property failed)' \
        "$build/findings/$target.log" || true
    grep -E '^(Done|#[0-9]+ *DONE)' "$build/findings/$target.log" | tail -1 || true
done
if ((${#failed[@]})); then
    echo "Findings in: ${failed[*]} (see $build/findings/)"
    exit 1
fi
