#!/usr/bin/env bash
# What the running screen saver costs, next to XScreenSaver hacks in the same
# run. For each screen size an Xvfb of its own; on it each program runs alone,
# warms up, and then the CPU time (user + system, from /proc) that it and the
# X server take per second of wall time is read over a window, with its
# resident memory (VmRSS at the end of the window, VmHWM the peak). Then
# bench_full_screen's frame loop (if built) gives frames per second and the
# standard deviation of the interval between frames. Our program runs once
# on each present path (the GL renderer, the server scaling, the window's framebuffer).
# With LOCKED=1 each setting runs a second time with an own password set:
# /s is then the lock's holder and its children, whose CPU time and memory
# are summed. SAVER=PATH measures another build of the saver (the package's
# /usr/bin/tavorensia); TAVORENSIA_EXACT=1 in the environment, the exact path.
# Usage: [PATHS="gl xrender software"] [LOCKED=1] [SAVER=PATH] bench/saver_cpu.sh [BUILD_DIR] [SECONDS] [WxH ...]
#   default: build 10 1920x1080 3840x2160
# Only meaningful on an otherwise quiet machine: the load is printed first.
set -euo pipefail
build="${1:-build}"
window="${2:-10}"
shift $(( $# > 2 ? 2 : $# ))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1920x1080 3840x2160)
build="$(cd "$build" && pwd)"
saver="${SAVER:-$build/src/modes/tavorensia}"
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
# A process and its descendants (the lock's holder and its children).
tree() {
  local p
  echo "$1"
  for p in $(cat /proc/"$1"/task/*/children 2>/dev/null); do tree "$p"; done
}
cpu_ticks() {
  local p sum=0
  for p in $(tree "$1"); do
    sum=$((sum + $(awk '{ print $14 + $15 }' "/proc/$p/stat" 2>/dev/null || echo 0)))
  done
  echo "$sum"
}
status_kib() {
  local p sum=0
  for p in $(tree "$1"); do
    sum=$((sum + $(awk -v k="$2:" '$1 == k { print $2 }' "/proc/$p/status" 2>/dev/null || echo 0)))
  done
  echo "$sum"
}

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

# The own password "open sesame" in a hive, stored as the change dialog (/a)
# stores it, typed on the current display.
set_password() {
  DISPLAY=":$display" XDG_CONFIG_HOME="$1" "$saver" /a 0 >/dev/null 2>&1 &
  local setter=$!
  for _ in $(seq 100); do
    DISPLAY=":$display" xdotool search --name "Tavorensia Screensaver" >/dev/null 2>&1 && break
    sleep 0.1
  done
  sleep 0.5
  DISPLAY=":$display" xdotool type --delay 20 "open sesame"
  DISPLAY=":$display" xdotool key Tab
  DISPLAY=":$display" xdotool type --delay 20 "open sesame"
  DISPLAY=":$display" xdotool key Return
  sleep 0.5
  DISPLAY=":$display" xdotool key Return
  wait "$setter" || true
  grep -q argon2id "$1/tavorensia/registry.reg" || { echo "no password stored in $1" >&2; exit 1; }
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
locked_defaults=""
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
  if [ "${LOCKED:-0}" = 1 ]; then
    if [ -z "$locked_defaults" ]; then
      locked_defaults="$(hive locked-defaults 20 80 25 0 5)"
      locked_satiated="$(hive locked-satiated 20 100 75 100 3)"
      set_password "$locked_defaults"
      set_password "$locked_satiated"
    fi
    for path in "${paths[@]}"; do
      measure "locked: holder + children, defaults, $path" TAVORENSIA_PRESENT="$path" \
        XDG_CONFIG_HOME="$locked_defaults" XSS_SLEEP_LOCK_FD= "$saver" /s
      measure "locked: holder + children, Sat 100, Blur 100, $path" TAVORENSIA_PRESENT="$path" \
        XDG_CONFIG_HOME="$locked_satiated" XSS_SLEEP_LOCK_FD= "$saver" /s
    done
  fi
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
