#!/usr/bin/env bash
# What the running screen saver costs, next to XScreenSaver hacks in the same
# run. For each screen size an Xvfb of its own; on it each program runs alone,
# warms up, and then the CPU time (user + system, from /proc) that it and the
# X server take per second of wall time is read over a window, with its
# resident memory (VmRSS at the end of the window, VmHWM the peak). Then
# bench_full_screen's frame loop (if built) gives frames per second and the
# standard deviation of the interval between frames. Our program runs once
# on each present path (the GL renderer, the server scaling, the window's framebuffer).
# Usage: [PATHS="gl xrender software"] bench/saver_cpu.sh [BUILD_DIR] [SECONDS] [WxH ...]
#   default: build 10 1920x1080 3840x2160
# Only meaningful on an otherwise quiet machine: the load is printed first.
set -euo pipefail
build="${1:-build}"
window="${2:-10}"
shift $(( $# > 2 ? 2 : $# ))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1920x1080 3840x2160)
build="$(cd "$build" && pwd)"
saver="$build/src/modes/tavorensia"
frames_bench="$build/bench/bench_full_screen"
hacks=/usr/libexec/xscreensaver
[ -x "$saver" ] || { echo "no $saver; build first" >&2; exit 1; }
warmup=3
# Every way to the screen, forced (TAVORENSIA_PRESENT); PATHS="xrender" for one.
read -r -a paths <<< "${PATHS:-gl xrender software}"

work="$(mktemp -d)"
xvfb_pid=""
stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  xvfb_pid=""
}
cleanup() { stop_xvfb; rm -rf "$work"; }
trap cleanup EXIT

display=""
start_xvfb() {
  rm -f "$work/displayfd"
  exec 5<> "$work/displayfd"
  Xvfb -displayfd 5 -screen 0 "$1x24" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  display=""
  for _ in $(seq 50); do
    display="$(head -n1 "$work/displayfd" 2>/dev/null || true)"
    [ -n "$display" ] && break
    sleep 0.1
  done
  [ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }
}

ticks="$(getconf CLK_TCK)"
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
status_kib() { awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/status"; }

# A hive holding the given settings, in a folder for XDG_CONFIG_HOME.
hive() {
  local config="$work/config-$1"
  mkdir -p "$config/tavorensia"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tavorensia]\n' \
    > "$config/tavorensia/registry.reg"
  local pair
  for pair in "Fast $2" "Bright 2" "Satiation $3" "Picture $4" "Blur $5" "Color $6" "Rands 0"; do
    set -- $pair
    printf '"%s"=dword:%08x\n' "$1" "$2" >> "$config/tavorensia/registry.reg"
  done
  echo "$config"
}

# measure NAME COMMAND...: one table row. Environment for the command goes
# in front of it as NAME=VALUE words (run through env).
measure() {
  local name="$1"; shift
  DISPLAY=":$display" env "$@" >/dev/null 2>&1 &
  local pid=$!
  sleep "$warmup"
  if ! kill -0 "$pid" 2>/dev/null; then
    printf '| %-46s | %s |\n' "$name" "ended before the window"
    return
  fi
  local p0 x0 p1 x1 rss hwm
  p0="$(cpu_ticks "$pid")"; x0="$(cpu_ticks "$xvfb_pid")"
  sleep "$window"
  p1="$(cpu_ticks "$pid")"; x1="$(cpu_ticks "$xvfb_pid")"
  rss="$(status_kib "$pid" VmRSS)"; hwm="$(status_kib "$pid" VmHWM)"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  awk -v n="$name" -v p="$((p1 - p0))" -v x="$((x1 - x0))" -v hz="$ticks" -v s="$window" \
      -v rss="$rss" -v hwm="$hwm" 'BEGIN {
    ours = 1000 * p / hz / s; server = 1000 * x / hz / s
    printf "| %-46s | %10.0f | %8.0f | %5.0f | %7.1f | %7.1f |\n", n, ours, server, ours + server,
           rss / 1024, hwm / 1024 }'
}

# Frames per second and the interval's standard deviation of the real form
# and event loop (bench_full_screen), with the given environment.
frame_stats() {
  local name="$1"; shift
  [ -x "$frames_bench" ] || { echo "($frames_bench not built: no frame statistics)"; return; }
  DISPLAY=":$display" env "$@" "$frames_bench" --benchmark_filter=FullScreenLoop \
      --benchmark_format=json 2>/dev/null |
    awk -v n="$name" '
      /"name": "FullScreenLoop/ { split($0, a, "/"); arg = a[2] }
      /"frames_per_s"/ { gsub(/[",]/, "", $2); fps = $2 }
      /"interval_sd_ms"/ { gsub(/[",]/, "", $2); sd = $2 }
      /"satiation"/ { gsub(/[",]/, "", $2); sat = $2 }
      /^    }/ && arg != "" {
        printf "%s, %s: %.1f frames per second, interval standard deviation %.2f ms\n",
               n, (arg == "-1" ? "defaults" : sprintf("Satiation %d", sat + 0)), fps, sd
        arg = "" }'
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg), window: ${window} s after ${warmup} s warm-up"
defaults="$(hive defaults 20 80 25 0 5)"
satiated="$(hive satiated 20 100 75 100 3)"
for size in "${sizes[@]}"; do
  start_xvfb "$size"
  echo
  echo "Xvfb ${size}x24"
  printf '| %-46s | %10s | %8s | %5s | %7s | %7s |\n' program "ours ms/s" "X ms/s" total "RSS MiB" "HWM MiB"
  printf '|%s|\n' "------------------------------------------------|------------|----------|-------|---------|---------"
  for path in "${paths[@]}"; do
    measure "tavorensia /s, defaults, $path" TAVORENSIA_PRESENT="$path" XDG_CONFIG_HOME="$defaults" "$saver" /s
    measure "tavorensia /s, Satiation 100, Blur 100, $path" TAVORENSIA_PRESENT="$path" \
      XDG_CONFIG_HOME="$satiated" "$saver" /s
  done
  for hack in metaballs cwaves marbling; do
    if [ -x "$hacks/$hack" ]; then
      measure "XScreenSaver $hack -root" "$hacks/$hack" -root
    fi
  done
  for path in "${paths[@]}"; do
    frame_stats "tavorensia /s, $path" TAVORENSIA_PRESENT="$path"
  done
  stop_xvfb
done
