#!/usr/bin/env bash
# `zvf export` of a 1 GB range against `cp` of the same recording followed by a sync of the copy
# (the export syncs its target before it reports success), on the same disk.
# Usage: bench/export_vs_cp.sh BUILD_DIR [WORK_DIR]   (BUILD_DIR: a Release build with apps)
set -euo pipefail
build=${1:?usage: export_vs_cp.sh BUILD_DIR [WORK_DIR]}
work=${2:-${TMPDIR:-/tmp}}/zorvideo-export-vs-cp
zvf="$build/apps/zvf/zvf"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# 10,000 frames of 100,000 bytes back to back (raw bytes: the export does not decode them).
python3 - "$work/src.zvf" <<'PY'
import os, struct, sys
n, size = 10_000, 100_000
with open(sys.argv[1], "wb") as f:
    f.write(struct.pack("<i", n))
    f.seek(2000)
    f.write(b"".join(struct.pack("<qid", i * size, size, 46000.5 + i / 86400) for i in range(n)))
    block = os.urandom(16 << 20)
    f.seek(10_000_000)
    left = n * size
    while left:
        f.write(block[:min(left, len(block))])
        left -= min(left, len(block))
PY
sync

seconds() { local t0 t1; t0=$(date +%s.%N); "$@"; t1=$(date +%s.%N); echo "$t1 - $t0" | bc; }
copy() { cp "$1" "$2" && sync "$2"; }
# Each command starts after a sync, so that neither pays for the other's writeback; the order
# alternates between rounds.
for round in 1 2 3 4 5 6; do
    rm -f "$work/cp.zvf" "$work/exp.zvf"
    if ((round % 2)); then
        sync; c=$(seconds copy "$work/src.zvf" "$work/cp.zvf")
        sync; e=$(seconds "$zvf" export "$work/src.zvf" "$work/exp.zvf" 0 9999)
    else
        sync; e=$(seconds "$zvf" export "$work/src.zvf" "$work/exp.zvf" 0 9999)
        sync; c=$(seconds copy "$work/src.zvf" "$work/cp.zvf")
    fi
    echo "round $round: cp ${c}s  export ${e}s  export/cp throughput $(echo "scale=2; $c / $e" | bc)"
done
