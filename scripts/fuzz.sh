#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz/) into build-fuzz/ with clang and the address and
# undefined-behaviour sanitizers, then runs each over a scratch copy of its seed corpus.
#   scripts/fuzz.sh [ci|full]   (or FUZZ_MODE=ci|full; ci when neither is given)
# ci gives each target 30 seconds, full runs each for 1,000,000 inputs. Any crash, leak, hang or
# broken invariant fails the script; the input is kept in build-fuzz/fuzz-artifacts/<target>/
# and the target's output in build-fuzz/fuzz-logs/<target>.log.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
mode="${1:-${FUZZ_MODE:-ci}}"
case "$mode" in
    ci) limit=(-max_total_time=30) ;;
    full) limit=(-runs=1000000) ;;
    *)
        echo "usage: $0 [ci|full]" >&2
        exit 2
        ;;
esac
targets=(site_list answer_file_name transfer_statement kim_register exam_journal)
build="$repo/build-fuzz"

CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -G Ninja -DBUILD_FUZZERS=ON \
    -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target fuzzers

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$build/fuzz-logs"
failed=()
for target in "${targets[@]}"; do
    corpus="$scratch/$target"
    artifacts="$build/fuzz-artifacts/$target"
    log="$build/fuzz-logs/$target.log"
    mkdir -p "$corpus" "$artifacts"
    cp -R "$repo/tests/fuzz/corpus/$target/." "$corpus/"
    start=$SECONDS
    if "$build/bin/fuzz_$target" "${limit[@]}" -timeout=25 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        failed+=("$target")
        tail -n 30 "$log" >&2
    fi
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    coverage="$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 || true)"
    echo "fuzz_$target: $result, ${runs:-?} inputs in $((SECONDS - start)) s, $coverage"
done

if [ "${#failed[@]}" -ne 0 ]; then
    echo "fuzzing failed: ${failed[*]} (inputs in $build/fuzz-artifacts/)" >&2
    exit 1
fi
