#!/usr/bin/env bash
# Builds the tests whose code crosses threads with clang's ThreadSanitizer and runs them once inside the
# private desktop: the microphone bridge and the live microphone (PulseAudio's thread), the WAV file
# source and PocketSphinx's loading and decoding threads, and the AT-SPI worker; the three that start
# other programs (flite, sox, the test fields) do so through tests/support/ChildProcess (posix_spawn),
# as Qt 6.4's QProcess launcher aborts this runtime. Qt, GLib and PulseAudio stay uninstrumented: their
# own accesses are not checked (ignore_noninstrumented_modules), and where our code hands work over
# through their queues base/ThreadSanitizer.h says so. Five tests, about 2.5 minutes on 2 cores (most of
# it the recognition test) after a 5-minute build. Too slow for every CI run; run it after changing
# threaded code. Any race report fails the test.
# Usage: scripts/tsan.sh [ctest arguments]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="${ORVANTA_TSAN_BUILD_DIR:-$root/build-tsan}"
tests=(test_speech_bridge test_speech_backends test_speech_microphone test_speech_recognition test_delivery_desktop)

"$here/install-packages.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DORVANTA_WERROR=ON -DORVANTA_BUILD_BENCH=OFF -DORVANTA_SANITIZE=thread
cmake --build "$build" -j "$(nproc)" --target "${tests[@]}"

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$here/sanitizers/tsan.supp"
cd "$build"
pattern="^($(IFS='|'; echo "${tests[*]}"))\$"
"$here/with-desktop.sh" ctest --output-on-failure --timeout 1800 -R "$pattern" "$@"
