#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each for SECONDS (default 60), one at a
# time on one core, from the corpus kept in build/fuzz/corpus/<target> (grown by each run) and the
# seeds written at build time. A crash, leak, timeout or sanitizer report stops the script with the
# failing input saved in build/fuzz/artifacts/. ZORVIDEO_FUZZ_BUILD_DIR replaces build/fuzz.
#
#   ./fuzz.sh [SECONDS] [TARGET...]      targets: recording gif ini text (default: all)
#   ./fuzz.sh --long TARGET...           10 million executions or 30 minutes per target
#   ./fuzz.sh --coverage                 line coverage (llvm-cov) of the reader files over the corpora
set -euo pipefail
cd "$(dirname "$0")"

all=(recording gif ini text)
mode=short
seconds=60
if [[ ${1:-} == --long ]]; then
    mode=long
    shift
elif [[ ${1:-} == --coverage ]]; then
    mode=coverage
    shift
elif [[ ${1:-} =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=("${all[@]}")

configure() {  # build-dir extra-cmake-args...
    local dir=$1
    shift
    CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZORVIDEO_BUILD_FUZZERS=ON -DZORVIDEO_BUILD_TESTS=OFF -DZORVIDEO_BUILD_BENCHMARKS=OFF \
        "$@" >/dev/null
    cmake --build "$dir" --target fuzzers
}

if [[ $mode == coverage ]]; then
    dir=build/fuzz-coverage
    configure "$dir" -DZORVIDEO_FUZZ_COVERAGE=ON
    rm -rf "$dir/profiles"
    mkdir -p "$dir/profiles"
    objects=()
    for t in "${targets[@]}"; do
        corpus=build/fuzz/corpus/$t
        mkdir -p "$corpus"
        LLVM_PROFILE_FILE="$dir/profiles/$t.profraw" "$dir/fuzz/fuzz_$t" -runs=0 \
            "$corpus" "$dir/fuzz/seeds/$t" >/dev/null 2>&1
        objects+=(-object "$dir/fuzz/fuzz_$t")
    done
    llvm-profdata merge -sparse "$dir"/profiles/*.profraw -o "$dir/profiles/all.profdata"
    llvm-cov report -instr-profile="$dir/profiles/all.profdata" "${objects[@]:1}" \
        src/container/ZVFFrameReader.cpp src/container/ZVFformatUnit.cpp \
        src/container/RangeExport.cpp src/container/ZVFCheck.cpp src/container/GifImage.cpp \
        src/platform/IniFile.cpp src/platform/Cp1251.cpp src/platform/DateTime.cpp
    exit 0
fi

dir=${ZORVIDEO_FUZZ_BUILD_DIR:-build/fuzz}
configure "$dir"
# The timeout is wall-clock time: generous, so that a run starved by other work (nice) does not
# report a hang that is none.
options=(-rss_limit_mb=4096 -timeout=120 -print_final_stats=1)
if [[ $mode == long ]]; then
    # Long runs go under nice on a shared machine and may wait minutes for a processor.
    options+=(-runs=10000000 -max_total_time=1800 -timeout=900)
else
    options+=(-max_total_time="$seconds")
    [[ $seconds -le 60 ]] || options+=(-timeout=900)
fi
mkdir -p "$dir/artifacts"
for t in "${targets[@]}"; do
    corpus=$dir/corpus/$t
    mkdir -p "$corpus"
    log=$dir/fuzz_$t.log
    echo "fuzz_$t: ${options[*]}"
    started=$(date +%s)
    "$dir/fuzz/fuzz_$t" "${options[@]}" -artifact_prefix="$dir/artifacts/$t-" \
        "$corpus" "$dir/fuzz/seeds/$t" >"$log" 2>&1 &
    pid=$!
    # Processor time of the run, read before it is reaped: on a shared machine the wall-clock
    # rate that libFuzzer prints says more about the load than about the target.
    cpu=0
    while kill -0 "$pid" 2>/dev/null; do
        ticks=$(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null || true)
        [[ -n $ticks ]] && cpu=$ticks
        sleep 1
    done
    if ! wait "$pid"; then
        tail -n 60 "$log" >&2
        echo "fuzz_$t: FAILED (log: $log)" >&2
        exit 1
    fi
    # The last status line and the totals: executions, executions per second, coverage.
    grep -E '^#[0-9]+' "$log" | tail -n 1
    grep -E 'stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log"
    runs=$(grep -oP 'stat::number_of_executed_units: *\K[0-9]+' "$log")
    hz=$(getconf CLK_TCK)
    awk -v r="$runs" -v c="$cpu" -v hz="$hz" -v w="$(($(date +%s) - started))" 'BEGIN {
        s = c / hz; printf "cpu seconds: %.0f of %d wall; executions per cpu second: %.0f\n",
        s, w, (s > 0 ? r / s : 0) }'
done
