#!/usr/bin/env bash
# Times the two-pass re-encode of each profile (marbleway-cli --mode 3 on the same clip)
# against one single-pass ffmpeg/libx264 run at the same preset and bit rate, so the cost
# of the second pass (and of the audio and mux steps around it) shows as a ratio.
#
#   bench/reencode.sh [build-dir]   default build-dir: build
#   BENCH_SECONDS=30                length of the generated 1280x720 MPEG-2 clip
#   BENCH_PROFILES="0 1 2 3 4 5"    profiles to time
#   BENCH_DIR=/tmp                  where the work folder goes (removed at the end)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli=$build/bin/marbleway-cli
seconds=${BENCH_SECONDS:-30}
profiles=${BENCH_PROFILES:-0 1 2 3 4 5}
ffmpeg=/usr/bin/ffmpeg

[ -x "$cli" ] || { echo "no $cli: build first (cmake --build build)" >&2; exit 1; }

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/reencode-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out" "$work/temp"
src="$work/clip.mpg"
echo "making a ${seconds}s 1280x720 MPEG-2 clip at about 4 Mbit/s ..." >&2
"$ffmpeg" -nostdin -loglevel error -y \
  -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$seconds" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" \
  -c:v mpeg2video -b:v 4000k -maxrate 4000k -bufsize 2000k -c:a mp2 -b:a 192k "$src"

now() { date +%s.%N; }
timed() {
  local t0 t1
  t0=$(now)
  "$@" >/dev/null 2>&1
  t1=$(now)
  echo "$t1 - $t0" | bc -l
}

presets=(slow fast veryfast superfast ultrafast slow)
names=("Slow" "Fast" "Very Fast" "Super Fast" "Ultra Fast" "HiBR/Slow")
printf '%-11s %8s %12s %12s %8s\n' profile "-b" "marbleway" "ffmpeg 1x" ratio
for p in $profiles; do
  rm -f "$work/out/"*
  # The clip's rate is above the 3 Mbit/s cap, so the encoder gets 3000k (6000k for HiBR).
  kbps=3000
  [ "$p" = 5 ] && kbps=6000
  t_mw=$(timed env XDG_CONFIG_HOME="$work/config" "$cli" --temp-folder "$work/temp" --save-folder "$work/out" \
    --mode 3 --device 2 --profile "$p" "$src")
  [ -f "$work/out/[Qor] clip.mp4" ] || { echo "marbleway-cli produced no output for profile $p" >&2; exit 1; }
  t_ff=$(timed "$ffmpeg" -nostdin -y -i "$src" -an -c:v libx264 -preset "${presets[$p]}" -b:v "${kbps}k" -r 25 \
    "$work/single.mp4")
  printf '%-11s %7sk %10.2f s %10.2f s %8.2f\n' "${names[$p]}" "$kbps" "$t_mw" "$t_ff" "$(echo "$t_mw / $t_ff" | bc -l)"
done
