#!/usr/bin/env bash
# The main job: builds ZORVideo (Release), links the recorder to the mapped
# C:\VELD\ZORVideoService.exe (where the settings window starts it), makes a sample recording at
# the mapped default recording path (C:\VELD\ZORVIDEO\BigFile.zvf under ZORVIDEO_ROOT) when it
# is missing, and shows it the way the operator sees it: the demo host with the plug-in's viewer.
# Without a display it runs under xvfb-run and saves screenshots instead.
# Usage: ./run.sh [--screenshot-dir DIR]
set -euo pipefail
cd "$(dirname "$0")"

shots=${ZORVIDEO_SCREENSHOT_DIR:-$PWD/out}
if [[ ${1:-} == --screenshot-dir ]]; then shots=$2; fi

tools/bootstrap
build=${ZORVIDEO_RUN_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZORVIDEO_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

export ZORVIDEO_ROOT=${ZORVIDEO_ROOT:-${XDG_DATA_HOME:-$HOME/.local/share}/zorvideo}
# The recorder where the settings window's "Запустить" looks for it: C:\VELD\ZORVideoService.exe.
recorder="$ZORVIDEO_ROOT/drive_c/VELD/ZORVideoService.exe"
mkdir -p "$(dirname "$recorder")"
ln -sfn "$(realpath "$build/apps/recorder/ZORVideoService")" "$recorder"
echo "run.sh: the recorder is installed at $recorder" >&2
sample="$ZORVIDEO_ROOT/drive_c/VELD/ZORVIDEO/BigFile.zvf"
if [[ ! -s $sample ]]; then
    mkdir -p "$(dirname "$sample")"
    echo "run.sh: writing a sample recording to $sample" >&2
    # ZORVIDEO_SAMPLE_START fixes the sample's first date-time (tools/update-screenshots).
    "$build/apps/zvf/zvf" sample "$sample" --frames 120 --delay 1000 --size 1280x1024 \
        ${ZORVIDEO_SAMPLE_START:+--start "$ZORVIDEO_SAMPLE_START"}
fi
"$build/apps/zvf/zvf" info "$sample"

host="$build/apps/host/zorvideo-host"
viewer="$build/apps/showvideo/showvideo"
headless=0
[[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]] && headless=1
xrun=()
if [[ $headless == 1 ]]; then
    xrun=(xvfb-run -a -s "-screen 0 1280x1024x24")
    mkdir -p "$shots"
fi

if [[ -x $host ]]; then
    if [[ $headless == 1 ]]; then
        "${xrun[@]}" "$host" --screenshot "$shots/host.png"
        "${xrun[@]}" "$host" --show 'C:\VELD\ZORVIDEO\BigFile.zvf' --screenshot "$shots/viewer.png"
        "${xrun[@]}" "$host" --settings --screenshot "$shots/settings.png"
        "${xrun[@]}" "$host" --export 'C:\VELD\ZORVIDEO\BigFile.zvf' --screenshot "$shots/export.png"
        echo "run.sh: no display; screenshots of the host, the viewer, the settings and the export window:"
        echo "  $shots/host.png"
        echo "  $shots/viewer.png"
        echo "  $shots/settings.png"
        echo "  $shots/export.png"
    else
        exec "$host" --show 'C:\VELD\ZORVIDEO\BigFile.zvf'
    fi
elif [[ -x $viewer ]]; then
    if [[ $headless == 1 ]]; then
        "${xrun[@]}" "$viewer" "$sample" --screenshot "$shots/viewer.png"
        echo "run.sh: no display; screenshot of the viewer: $shots/viewer.png"
    else
        exec "$viewer" "$sample"
    fi
fi
