#!/usr/bin/env bash
# CPU time the running screen saver takes per second of wall time: starts
# `tavorensia /s` on its own Xvfb with a fresh hive holding the given
# settings, lets it warm up, then reads its user + system time from /proc
# over a window. Prints one line per configuration.
# Usage: bench/saver_cpu.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build="${1:-build}"
window="${2:-10}"
saver="$(cd "$build" && pwd)/src/app/tavorensia"
[ -x "$saver" ] || { echo "no $saver; build first" >&2; exit 1; }

work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 5<> "$work/displayfd"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 50); do
  display="$(head -n1 "$work/displayfd" 2>/dev/null || true)"
  [ -n "$display" ] && break
  sleep 0.1
done
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }

ticks="$(getconf CLK_TCK)"
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

measure() {
  local name="$1" fast="$2" satiation="$3" picture="$4" blur="$5" color="$6"
  local config="$work/config-$satiation"
  mkdir -p "$config/tavorensia"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tavorensia]\n' \
    > "$config/tavorensia/registry.reg"
  for pair in "Fast $fast" "Bright 2" "Satiation $satiation" "Picture $picture" "Blur $blur" \
              "Color $color" "Rands 0"; do
    set -- $pair
    printf '"%s"=dword:%08x\n' "$1" "$2" >> "$config/tavorensia/registry.reg"
  done
  DISPLAY=":$display" XDG_CONFIG_HOME="$config" "$saver" /s >/dev/null 2>&1 &
  local pid=$!
  sleep 3
  local before after
  before="$(cpu_ticks "$pid")"
  sleep "$window"
  after="$(cpu_ticks "$pid")"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  awk -v n="$name" -v t="$((after - before))" -v hz="$ticks" -v s="$window" \
    'BEGIN { printf "%-44s %6.0f ms CPU per second\n", n, 1000 * t / hz / s }'
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg), window: ${window} s after 3 s warm-up"
measure "defaults (Sat 80, Picture 25, Blur 0, Color 5)" 20 80 25 0 5
measure "Sat 100, Picture 75, Blur 100, Color 3" 20 100 75 100 3
