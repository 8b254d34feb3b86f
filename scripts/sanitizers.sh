#!/usr/bin/env bash
# Builds everything twice at once, under AddressSanitizer with UBSan into build-asan/ and under
# ThreadSanitizer into build-tsan/, then runs every test in the first and the tests where
# threads meet in the second, one run after the other and none beside a build (the sound tests
# time what they hear), and fails if either finds anything. The program's two libraries and the
# tests' stand-in libraries get the same flags; the test programs, linked with them, load the
# sanitizer runtime first.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
suppressions="$repo/tests/sanitizers"
# The two builds run side by side; the ASan one is the longer, so it gets the spare job.
asan_jobs="${ASAN_BUILD_JOBS:-2}"
tsan_jobs="${TSAN_BUILD_JOBS:-1}"

# TSan: the sink's reports to the window, the answer's hand-over and its stop at the longest answer,
# the player's own thread, the transfer check's thread, capture start/stop races, lost cards,
# soak.
tsan_suites='Mp3FileSinkTest|AnswerLimitTest|ExamWindowTest|AnswerWindowTest|CaptureDeviceTest|CaptureStartFailureTest|RecordingQueueTest|AlsaCaptureDeviceTest|DeviceLostTest|SignalWatchTest|EncoderLibraryTest|CaptureStopRaces[A-Za-z0-9_]*|ExamSoak[A-Za-z0-9_]*|VerifyCommandLineTest\.Window[A-Za-z]*|ExamJournalTest\.LinesFromTwoThreads[A-Za-z]*'
tsan_tests="(^|/)($tsan_suites)(\\.|\$)"

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

configure_and_build() {
    local dir="$repo/$1" jobs="$2" sanitize="$3" extra="$4"
    local flags="-O1 -g -fno-omit-frame-pointer $sanitize $extra"
    cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBUILD_BENCHMARKS=OFF \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
        -DCMAKE_EXE_LINKER_FLAGS="$sanitize" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" \
        -DCMAKE_MODULE_LINKER_FLAGS="$sanitize"
    cmake --build "$dir" -j"$jobs"
}

# GCC's flow analysis gives false maybe-uninitialized warnings on instrumented std::regex.
configure_and_build build-asan "$asan_jobs" \
    "-fsanitize=address,undefined -fno-sanitize-recover=undefined" "-Wno-maybe-uninitialized" \
    2>&1 | sed -u 's/^/[asan] /' &
asan_build=$!
# The level meter's fences are not modelled, but every field they order is atomic anyway.
configure_and_build build-tsan "$tsan_jobs" "-fsanitize=thread" "-Wno-tsan" \
    2>&1 | sed -u 's/^/[tsan] /' &
tsan_build=$!
status=0
wait "$asan_build" || { status=1; echo "AddressSanitizer/UBSan build failed" >&2; }
wait "$tsan_build" || { status=1; echo "ThreadSanitizer build failed" >&2; }
[ "$status" -eq 0 ] || exit "$status"

(
    export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
    export LSAN_OPTIONS="suppressions=$suppressions/lsan.supp:print_suppressions=0"
    # Each stop-race cycle costs several times as much here; a loaded machine nears the timeout.
    export EXAM_STOP_RACE_CYCLES="${EXAM_STOP_RACE_CYCLES:-1000}"
    cd "$repo/build-asan" && ctest -j2 --output-on-failure
) 2>&1 | sed -u 's/^/[asan] /' || { status=1; echo "AddressSanitizer/UBSan tests failed" >&2; }
(
    # Qt, glibc, ALSA and PulseAudio are not instrumented: their own memory traffic is not
    # checked, or it shows as races wherever they hand memory between threads.
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$suppressions/tsan.supp"
    # A race is seen whenever both accesses happen, not only when they collide: fewer cycles do.
    export EXAM_STOP_RACE_CYCLES="${EXAM_STOP_RACE_CYCLES:-300}"
    cd "$repo/build-tsan" && ctest -j2 --output-on-failure -R "$tsan_tests"
) 2>&1 | sed -u 's/^/[tsan] /' || { status=1; echo "ThreadSanitizer tests failed" >&2; }
exit "$status"
