#!/usr/bin/env bash
# `zvf changes` as a program: over a full index where every size differs (sizes decide it all),
# and over a recording of a long still run (every frame read and compared) against
# `cat FILE > /dev/null` of the same file, with the page cache warm and cold (cold rounds drop
# the caches, which needs root).
# Usage: bench/changes_vs_cat.sh BUILD_DIR [WORK_DIR]   (BUILD_DIR: a Release build with apps)
set -euo pipefail
build=${1:?usage: changes_vs_cat.sh BUILD_DIR [WORK_DIR]}
work=${2:-${TMPDIR:-/tmp}}/zorvideo-changes-vs-cat
zvf="$build/apps/zvf/zvf"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# 499,900 entries whose sizes alternate, frames a hole of a sparse file.
python3 - "$work/sizes.zvf" <<'PY'
import struct, sys
n, offset, parts = 499_900, 0, []
for i in range(n):
    size = 1000 + i % 2
    parts.append(struct.pack("<qid", offset, size, 46000.5 + i / 86400))
    offset += size
with open(sys.argv[1], "wb") as f:
    f.write(struct.pack("<i", n))
    f.seek(2000)
    f.write(b"".join(parts))
    f.truncate(10_000_000 + offset)
PY

# An operator screen of the sample writer (1280 x 1024, 256 colours) 36,000 times over, ten hours
# at a frame a second, then the next screen.
"$zvf" sample "$work/one.zvf" --frames 2 --size 1280x1024 >/dev/null 2>&1
python3 - "$work/one.zvf" "$work/still.zvf" <<'PY'
import struct, sys
with open(sys.argv[1], "rb") as f:
    f.seek(2000)
    (o0, s0, t0), (o1, s1, t1) = [struct.unpack("<qid", f.read(20)) for _ in range(2)]
    f.seek(10_000_000 + o0); first = f.read(s0)
    f.seek(10_000_000 + o1); second = f.read(s1)
n = 36_000
with open(sys.argv[2], "wb") as f:
    f.write(struct.pack("<i", n + 1))
    f.seek(2000)
    f.write(b"".join(struct.pack("<qid", i * s0, s0, 46000.5 + i / 86400) for i in range(n)))
    f.write(struct.pack("<qid", n * s0, s1, 46000.5 + n / 86400))
    f.seek(10_000_000)
    block = first * 64
    for i in range(0, n, 64):
        f.write(block[: min(64, n - i) * s0])
    f.write(second)
PY
sync

seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); echo "$t1 - $t0" | bc; }
mbs() { echo "scale=0; $1 / 1000000 / $2" | bc; }
best() { printf '%s\n' "$@" | sort -g | head -1; }
drop() { sync; echo 3 >/proc/sys/vm/drop_caches; }
cat_file() { cat "$1" >/dev/null; }

runs=()
for round in 1 2 3 4 5; do runs+=("$(seconds "$zvf" changes "$work/sizes.zvf")"); done
echo "zvf changes, 499,900 entries, every size differs: best $(best "${runs[@]}") s" \
    "($("$zvf" changes "$work/sizes.zvf" | wc -l) lines)"

bytes=$(stat -c %s "$work/still.zvf")
echo "still run: $("$zvf" changes "$work/still.zvf" | tr "\n" " ")"
cat_file "$work/still.zvf"
cats=() zvfs=()
for round in 1 2 3; do
    cats+=("$(seconds cat_file "$work/still.zvf")")
    zvfs+=("$(seconds "$zvf" changes "$work/still.zvf")")
done
c=$(best "${cats[@]}") z=$(best "${zvfs[@]}")
echo "warm, $bytes bytes: cat ${c}s ($(mbs "$bytes" "$c") MB/s)  zvf changes ${z}s ($(mbs "$bytes" "$z") MB/s)"

if [[ -w /proc/sys/vm/drop_caches ]]; then
    cats=() zvfs=()
    for round in 1 2; do
        drop; cats+=("$(seconds cat_file "$work/still.zvf")")
        drop; zvfs+=("$(seconds "$zvf" changes "$work/still.zvf")")
    done
    c=$(best "${cats[@]}") z=$(best "${zvfs[@]}")
    echo "cold, $bytes bytes: cat ${c}s ($(mbs "$bytes" "$c") MB/s)  zvf changes ${z}s ($(mbs "$bytes" "$z") MB/s)"
else
    echo "cold rounds skipped: /proc/sys/vm/drop_caches is not writable (root only)"
fi
