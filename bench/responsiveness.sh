#!/usr/bin/env bash
# The viewer's slowest answer to an outside X client while it loads a file: starts the viewer on
# a virtual screen, makes it own the clipboard, then loads FILE while clipboard_probe asks for the
# clipboard every 10 ms for SECONDS. Usage: bench/responsiveness.sh BIN_DIR FILE SECONDS
# (run under xvfb-run; needs xdotool)
set -euo pipefail
bin=$1 file=$2 seconds=$3
home=$(mktemp -d)
trap 'rm -rf "$home"; kill "$viewer" 2>/dev/null || true' EXIT
HOME=$home "$bin/ini-file-parser" >/dev/null 2>&1 &
viewer=$!
wid=""
for _ in $(seq 1 200); do
    wid=$(xdotool search --pid "$viewer" --name "Ini-File" 2>/dev/null | head -1 || true)
    [[ -n $wid ]] && break
    sleep 0.05
done
[[ -n $wid ]] || { echo "no viewer window"; exit 1; }
xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
# The file name box: select its text, copy it (the viewer now owns the clipboard), type the path.
xdotool mousemove --window "$wid" 100 16 click 1 key ctrl+a key ctrl+c
xdotool type --delay 0 "$file"
"$bin/clipboard_probe" "$seconds" "$home/stop" &
probe=$!
sleep 0.5
xdotool mousemove --window "$wid" 449 17 click 1 # Load
wait "$probe"
