#!/usr/bin/env bash
# Measures the lock against its targets, with the real programs under an Xvfb
# of its own (two monitors side by side): the holder's resident memory and
# CPU while the picture runs, the picture back after the drawing child is
# killed, and the unlock after the right password. (How fast a stranger's
# window is covered again is printed by the LockHolder tests.) Usage: bench/lock_targets.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build="${1:-build}"
exe="$(realpath "$build/src/modes/tavorensia")"
dir="$(mktemp -d)"
display=":$((90 + RANDOM % 100))"
cleanup() { kill "$lock" "$xvfb" 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x480x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY="$display" XDG_CONFIG_HOME="$dir" XSS_SLEEP_LOCK_FD=
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xrandr --setmonitor left 640/0x480/0+0+0 none >/dev/null
xrandr --setmonitor right 640/0x480/0+640+0 none >/dev/null

now() { date +%s%N; }
ms() { echo $(( ($2 - $1) / 1000000 )); }
# Share of the screen that is lit (not black), 0..1.
lit() { xwd -root -silent | convert xwd:- -colorspace gray -threshold 1% -format "%[fx:mean]" info:; }
lit_above() { awk -v a="$(lit)" -v b="$1" 'BEGIN { exit !(a > b) }'; }

# The own password, as the change dialog stores it.
mkdir -p "$dir/tavorensia"
"$exe" /a 0 >/dev/null 2>&1 & setter=$!
for _ in $(seq 100); do xdotool search --name "Tavorensia Screensaver" >/dev/null 2>&1 && break; sleep 0.1; done
sleep 0.5
xdotool type --delay 20 "open sesame"; xdotool key Tab; xdotool type --delay 20 "open sesame"; xdotool key Return
sleep 0.5; xdotool key Return; wait "$setter" || true
grep -q argon2id "$dir/tavorensia/registry.reg" || { echo "no password stored" >&2; exit 1; }

"$exe" /s > "$dir/lock.log" 2>&1 & lock=$!
for _ in $(seq 100); do lit_above 0.5 && break; sleep 0.2; done
sleep 2
echo "holder: $(readlink /proc/$lock/exe); src/lock: $(cat "$(dirname "$0")"/../src/lock/*.cpp "$(dirname "$0")"/../src/lock/*.hpp | wc -l) lines"
echo "holder maps SDL, GL, Wayland or ImGui: $(grep -cE 'SDL|libGL|libEGL|vulkan|wayland|imgui' /proc/$lock/maps || true) lines"
grep VmRSS /proc/$lock/status | sed 's/^/holder /'
t0=$(awk '{print $14 + $15}' /proc/$lock/stat); sleep 10; t1=$(awk '{print $14 + $15}' /proc/$lock/stat)
echo "holder CPU: $(( (t1 - t0) * 1000 / $(getconf CLK_TCK) / 10 )) ms a second (10 s)"

draw=$(pgrep -P "$lock" -f -- --lock-draw)
start=$(now); kill -SEGV "$draw"
sleep 0.3
until lit_above 0.5; do sleep 0.05; done
echo "picture back $(ms "$start" "$(now)") ms after SIGSEGV of the drawing child (screenshot time included)"

start=$(now)
xdotool type --delay 15 "open sesame"; xdotool key Return
sent=$(now)
while kill -0 "$lock" 2>/dev/null && [ -e /proc/$lock/stat ] && ! grep -q '^State:.*Z' /proc/$lock/status; do sleep 0.005; done
wait "$lock" && status=0 || status=$?
echo "unlock $(ms "$sent" "$(now)") ms after Return (status $status)"
