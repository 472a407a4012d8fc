#!/usr/bin/env bash
# The recorder at its default pace on an operator screen: one frame a second of the sample
# screen shown as the root window of an Xvfb (1920x1080 by default), for SECONDS (300). Prints,
# once a minute, the recorder's processor time (user + system, from /proc/PID/stat) and its
# resident memory (VmRSS), then the share of one core over the whole run, the growth of the
# resident memory from the first minute to the end, and the frames' sizes.
#
# Usage: bench/recorder_cpu.sh [BUILD_DIR [SECONDS [WIDTHxHEIGHT [BITRATE]]]]
#   BUILD_DIR: a Release build with ZORVIDEO_BUILD_BENCHMARKS and ZORVIDEO_BUILD_TESTS (for
#   bench/recorder_frame, which shows the sample screen). The recorder runs under nice -n 15.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/bench}
seconds=${2:-300}
size=${3:-1920x1080}
bitrate=${4:-4}
recorder="$build/apps/recorder/ZORVideoService"
shower="$build/bench/recorder_frame"
zvf="$build/apps/zvf/zvf"

work=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 2>/dev/null &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
"$shower" --show-sample "$size" >/dev/null &
pids+=($!)
sleep 2

export ZORVIDEO_ROOT="$work/root"
mkdir -p "$ZORVIDEO_ROOT/drive_c/WINDOWS"
printf '[ZORVideo]\r\nzvOutFile=C:\\VELD\\ZORVIDEO\\BigFile.zvf\r\nzvBitRate=%s\r\nzvWaitForNextFrame=1000\r\nzvMinHDDSize=100\r\nzvEnableRec=1\r\nzvMaxFileSize=4000\r\nzvRecursiveRecord=1\r\n' \
    "$bitrate" >"$ZORVIDEO_ROOT/drive_c/WINDOWS/cnf.INI"
nice -n 15 "$recorder" 2>"$work/log" &
pid=$!
pids+=($pid)

ticks=$(getconf CLK_TCK)
cpu_ms() { awk -v t="$ticks" '{ sub(/.*\) /, ""); print ($12 + $13) * 1000 / t }' "/proc/$pid/stat"; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status"; }

start_cpu=$(cpu_ms)
start=$(date +%s.%N)
echo "recorder $pid on $DISPLAY ($size, zvBitRate $bitrate, 1000 ms), load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%8s %12s %10s\n' "second" "cpu_ms" "rss_kb"
rss_first=""
for ((s = 60; s <= seconds; s += 60)); do
    sleep 60
    printf '%8d %12.0f %10d\n' "$s" "$(cpu_ms)" "$(rss_kb)"
    [[ -z $rss_first ]] && rss_first=$(rss_kb)
done
end=$(date +%s.%N)
end_cpu=$(cpu_ms)
rss_last=$(rss_kb)
kill -TERM "$pid"
wait "$pid" || true

file="$ZORVIDEO_ROOT/drive_c/VELD/ZORVIDEO/BigFile.zvf"
frames=$("$zvf" info "$file" | awk '/^frames:/ { print $2 }')
awk -v c0="$start_cpu" -v c1="$end_cpu" -v t0="$start" -v t1="$end" -v f="$frames" \
    -v r0="$rss_first" -v r1="$rss_last" 'BEGIN {
    printf "cpu: %.0f ms over %.0f s = %.2f %% of one core (%.1f ms per frame, %d frames)\n",
        c1 - c0, t1 - t0, (c1 - c0) / ((t1 - t0) * 10), (c1 - c0) / f, f
    printf "rss: %d kB after the first minute, %d kB at the end: %+d kB\n", r0, r1, r1 - r0 }'
"$zvf" frames "$file" | awk '{ n++; s += $3; if (min == "" || $3 < min) min = $3; if ($3 > max) max = $3 }
    END { printf "frame bytes: mean %.0f, min %d, max %d\n", s / n, min, max }'
"$zvf" check "$file" >/dev/null && echo "zvf check: sound"
