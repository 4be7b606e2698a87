#!/usr/bin/env bash
# Frames per output of `tavorensia /s` natively on Wayland: a headless sway
# with two outputs (1280x720 and 1024x768), the saver run for SECONDS, and
# libwayland's own client log (WAYLAND_DEBUG) read for every commit of every
# surface: per surface the frames a second and the longest gap between two.
# sway refuses root: run as root, it runs as USER (default: tavorensia-test,
# the tests' user). Usage: bench/wayland_frames.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build="$(realpath "${1:-build}")" seconds="${2:-30}"
exe="$build/src/modes/tavorensia"
user="${USER_FOR_SWAY:-tavorensia-test}"
dir="$(mktemp -d)"; chmod 755 "$dir"
as=()
if [ "$(id -u)" -eq 0 ]; then
  id "$user" >/dev/null 2>&1 || useradd --system --no-create-home --home-dir /nonexistent "$user"
  chown "$user" "$dir"; as=(runuser -u "$user" --)
fi
cleanup() { kill "$sway" 2>/dev/null || true; sleep 0.5; rm -rf "$dir"; }
trap cleanup EXIT
mkdir -p "$dir/run"; chmod 700 "$dir/run"; [ ${#as[@]} -gt 0 ] && chown -R "$user" "$dir"
cat > "$dir/sway.conf" <<CONF
output HEADLESS-1 resolution 1280x720 position 0 0
output HEADLESS-2 resolution 1024x768 position 1280 0
CONF
[ ${#as[@]} -gt 0 ] && chown "$user" "$dir/sway.conf"
env_=(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$dir" XDG_CONFIG_HOME="$dir" XDG_RUNTIME_DIR="$dir/run"
      PATH=/usr/local/bin:/usr/bin:/bin)
"${as[@]}" "${env_[@]}" WLR_BACKENDS=headless WLR_HEADLESS_OUTPUTS=2 WLR_LIBINPUT_NO_DEVICES=1 \
  WLR_RENDERER=pixman sway -c "$dir/sway.conf" >"$dir/sway.log" 2>&1 & sway=$!
for _ in $(seq 100); do ls "$dir/run" | grep -q '^wayland-[0-9]*$' && break; sleep 0.1; done
wl="$(ls "$dir/run" | grep '^wayland-[0-9]*$' | head -1)"
"${as[@]}" "${env_[@]}" WAYLAND_DISPLAY="$wl" SDL_VIDEODRIVER=wayland WAYLAND_DEBUG=client \
  timeout -s TERM "$((seconds + 6))" "$exe" /s >/dev/null 2>"$dir/wayland.log" &
saver=$!
# What the compositor shows: each output's screenshot about 0.35 s apart,
# and in how many of the intervals it changed.
sleep 3
for i in 0 1 2 3 4 5 6 7; do
  for o in 1 2; do "${as[@]}" "${env_[@]}" WAYLAND_DISPLAY="$wl" grim -o "HEADLESS-$o" "$dir/shot$o-$i.png"; done
  sleep 0.3
done
for o in 1 2; do
  changed=0
  for i in 1 2 3 4 5 6 7; do cmp -s "$dir/shot$o-$((i - 1)).png" "$dir/shot$o-$i.png" || changed=$((changed + 1)); done
  echo "HEADLESS-$o changed in $changed of 7 intervals between screenshots"
done
wait "$saver" || true
# Lines like "[1234567.890]  -> wl_surface@21.commit()"; the first 6 s (start-up and
# the screenshots) are left out, SECONDS are measured.
awk -v skip=6000 '
  /-> wl_surface@[0-9]+\.commit\(\)/ {
    t = substr($1, 2) + 0; match($0, /wl_surface@[0-9]+/); s = substr($0, RSTART + 11, RLENGTH - 11)
    if (!start) start = t
    if (t - start < skip) next
    if (s in last) { g = t - last[s]; if (g > gap[s]) gap[s] = g; if (g > 70) over[s]++ }
    else first[s] = t
    last[s] = t; n[s]++
  }
  END {
    for (s in n) if (n[s] > 10)
      printf "surface %s: %d frames, %.1f a second, longest gap %.0f ms, %d gaps over 70 ms\n", s, n[s],
             (n[s] - 1) * 1000 / (last[s] - first[s]), gap[s], over[s]
  }' "$dir/wayland.log"
