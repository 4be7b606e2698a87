#!/usr/bin/env bash
# Runs tavorensia-render --bench with the fast renderer and with --scalar for
# each configuration the renderer is held to, one after the other, and prints
# one table row per configuration: medians and p99 of both, the ratio, and
# the share of bitmap bytes the two renderers agree on (--compare).
# Usage: bench/side_by_side.sh [BUILD_DIR] [FRAMES]
set -euo pipefail
build="${1:-build}"
frames="${2:-60}"
render="$build/src/render/tavorensia-render"
[ -x "$render" ] || { echo "no $render; build first" >&2; exit 1; }

field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }

row() {
  local name="$1"; shift
  local fast scalar
  fast="$("$render" --seed 4242 --bench "$@")"
  scalar="$("$render" --seed 4242 --bench --scalar "$@")"
  local same
  same="$("$render" --seed 4242 --compare "$@")"
  local fm fp sm sp
  fm="$(field median_ms <<<"$fast")"; fp="$(field p99_ms <<<"$fast")"
  sm="$(field median_ms <<<"$scalar")"; sp="$(field p99_ms <<<"$scalar")"
  printf '| %-44s | %8s | %8s | %9s | %9s | %6.1fx | %9s |\n' "$name" "$fm" "$fp" "$sm" "$sp" \
    "$(awk -v a="$sm" -v b="$fm" 'BEGIN { print (b > 0 ? a / b : 0) }')" \
    "$(field identical_pct <<<"$same")"
}

echo "load: $(cut -d' ' -f1-3 /proc/loadavg), frames per run: $frames"
printf '| %-44s | %8s | %8s | %9s | %9s | %7s | %9s |\n' configuration "fast med" "fast p99" \
  "scalar med" "scalar p99" ratio "same %"
printf '|%s|\n' "----------------------------------------------|----------|----------|-----------|-----------|---------|-----------"
row "Sat 100, Blur 100, Picture 75, Color 3" --satiation 100 --blur 100 --picture 75 --color 3 --frames "$frames"
row "Sat 100, Blur 100, Picture 25, Color 3" --satiation 100 --blur 100 --picture 25 --color 3 --frames "$frames"
for c in 0 1 2 4 5 6 7 8 9 10; do
  row "Sat 100, Blur 100, Picture 75, Color $c" --satiation 100 --blur 100 --picture 75 --color "$c" --frames "$frames"
done
row "defaults (Sat 80, Picture 25, Blur 0, Color 5)" --frames "$frames"
row "Sat 59, Blur 100 (coarse), Picture 75, Color 3" --satiation 59 --blur 100 --picture 75 --color 3 --frames "$frames"
row "wallpaper size 6, Sat 100, Blur 100" --wallpaper 6 --satiation 100 --blur 100 --picture 75 --color 3 --frames 1
