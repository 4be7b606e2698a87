#!/usr/bin/env bash
# Renders the same configurations with two tavorensia-render binaries and
# compares the files byte for byte (BMP, PNG and the y4m stream): a change
# that should not alter any picture (a restructuring) must leave every file
# identical.
# With two tavorensia binaries too, the hive files they write are compared:
# a first run's defaults over a hand-edited file (comments, keys of others,
# odd spacing and case), under an Xvfb of xvfb-run's.
# Usage: bench/same_output.sh OLD_RENDER NEW_RENDER [OLD_SAVER NEW_SAVER]
set -euo pipefail
old="$1" new="$2" oldSaver="${3:-}" newSaver="${4:-}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
configs=(
  "--seed 1 --satiation 0 --color 0 --blur 0 --frames 3"
  "--seed 2 --satiation 59 --color 1 --blur 100 --frames 3"
  "--seed 3 --satiation 80 --color 2 --blur 0 --frames 5"
  "--seed 4 --satiation 100 --color 3 --blur 100 --frames 3"
  "--seed 5 --satiation 100 --color 4 --blur 0 --picture 75"
  "--seed 6 --satiation 80 --color 5 --blur 100 --picture 60 --frames 4"
  "--seed 7 --satiation 59 --color 6 --blur 0 --picture 100 --frames 2"
  "--seed 8 --satiation 0 --color 7 --blur 100 --picture 0 --frames 2"
  "--seed 9 --satiation 70 --color 8 --blur 50 --frames 3"
  "--seed 10 --satiation 100 --color 9 --blur 100 --scalar --frames 2"
  "--seed 11 --satiation 80 --color 10 --blur 0 --fast 100 --frames 6"
  "--seed 12 --satiation 80 --color 3 --blur 100 --wallpaper 1 --frames 2"
  "--seed 13 --satiation 59 --color 10 --blur 0 --wallpaper 6"
  "--seed 14 --satiation 100 --color 5 --blur 100 --wallpaper 3"
  "--seed 15 --satiation 65 --color 7 --blur 30 --wallpaper 2 --frames 3"
  "--seed 16 --satiation 0 --color 2 --blur 100 --wallpaper 1 --scalar"
  "--seed 17 --satiation 100 --color 6 --blur 50 --size 1920x1080 png"
  "--seed 18 --satiation 80 --color 4 --blur 0 --wallpaper 4 png"
  "--seed 19 --satiation 100 --blur 50 --size 3840x2160"
  "--seed 20 --satiation 80 --color 5 --stream --frames 8 --size 1280x720 y4m"
  "--seed 21 --satiation 59 --color 9 --blur 100 --stream --frames 4 y4m"
)
same=0 differ=0
for i in "${!configs[@]}"; do
  c="${configs[$i]}" ext=bmp
  case "$c" in *" png") ext=png c="${c% png}" ;; *" y4m") ext=y4m c="${c% y4m}" ;; esac
  # shellcheck disable=SC2086
  "$old" $c -o "$out/old$i.$ext"
  # shellcheck disable=SC2086
  "$new" $c -o "$out/new$i.$ext"
  if cmp -s "$out/old$i.$ext" "$out/new$i.$ext"; then
    echo "identical  $c ($ext)"; same=$((same + 1))
  else
    echo "DIFFERENT  $c ($ext)"; differ=$((differ + 1))
  fi
done
if [ -n "$oldSaver" ]; then
  seed='Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Other Program]
; kept as it stands
"Name"="a \"quoted\" value with \\ and ü"
"Count"=dword:0000002A
"Blob"=hex:01,02,\
  03,04

[hkey_current_user\control panel\desktop]
"Wallpaper"=""
'
  # One home for both: the first run's wallpaper folder is the home folder.
  for who in old new; do
    saver="$oldSaver"; [ "$who" = new ] && saver="$newSaver"
    rm -rf "$out/hive"; mkdir -p "$out/hive/tavorensia"
    printf '%s' "$seed" > "$out/hive/tavorensia/registry.reg"
    XDG_CONFIG_HOME="$out/hive" HOME="$out/hive" timeout -s TERM 4 xvfb-run -a "$saver" /s \
      >/dev/null 2>&1 || true
    cp "$out/hive/tavorensia/registry.reg" "$out/$who.reg"
  done
  if ! cmp -s "$out/old.reg" "$out/new.reg"; then
    echo "DIFFERENT  first run over a hand-edited hive (reg)"; differ=$((differ + 1))
  elif cmp -s "$out/old.reg" <(printf '%s' "$seed"); then
    echo "UNCHANGED  first run over a hand-edited hive: nothing was written (reg)"; differ=$((differ + 1))
  else
    echo "identical  first run over a hand-edited hive (reg)"; same=$((same + 1))
  fi
fi
echo "$same identical, $differ different"
[ "$differ" -eq 0 ]
