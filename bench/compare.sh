#!/usr/bin/env bash
# Times one marbleway-cli conversion (defaults: the video is copied, AC-3 5.1 becomes AAC
# stereo) against the plain ffmpeg one-liner that does the same job and against HandBrakeCLI's
# closest iPhone preset, with copying the file (cp) as the floor. Prints the ratios.
#
#   bench/compare.sh [build-dir]   default build-dir: build
#   BENCH_SECONDS=60               length of the generated 1280x720 H.264 MKV with AC-3 5.1
#   BENCH_DIR=/tmp                 where the work folder goes (removed at the end)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli=$build/bin/marbleway-cli
seconds=${BENCH_SECONDS:-60}
ffmpeg=/usr/bin/ffmpeg
handbrake=$(command -v HandBrakeCLI || true)

[ -x "$cli" ] || { echo "no $cli: build first (cmake --build build)" >&2; exit 1; }
[ -x "$ffmpeg" ] || { echo "no $ffmpeg (apt-get install ffmpeg)" >&2; exit 1; }

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/compare-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out" "$work/temp"
src="$work/clip.mkv"
echo "making a ${seconds}s 1280x720 H.264 MKV with AC-3 5.1 ..." >&2
"$ffmpeg" -nostdin -loglevel error -y \
  -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$seconds" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" \
  -filter_complex "[1:a]pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0[a]" \
  -map 0:v -map "[a]" -c:v libx264 -preset veryfast -profile:v high -pix_fmt yuv420p \
  -c:a ac3 -b:a 384k "$src"

now() { date +%s.%N; }
timed() { # label command...
  local t0 t1
  t0=$(now)
  "${@:2}" >/dev/null 2>&1
  t1=$(now)
  echo "$t1 - $t0" | bc -l
}

t_cp=$(timed cp cp "$src" "$work/copy.mkv")
t_mw=$(timed marbleway env XDG_CONFIG_HOME="$work/config" "$cli" --temp-folder "$work/temp" \
  --save-folder "$work/out" "$src")
[ -f "$work/out/[Qor] clip.mp4" ] || { echo "marbleway-cli produced no output" >&2; exit 1; }
t_ff=$(timed ffmpeg "$ffmpeg" -nostdin -y -i "$src" -c:v copy -c:a aac -ac 2 "$work/ffmpeg.mp4")

printf '%-34s %8.2f s\n' "cp (floor)" "$t_cp"
printf '%-34s %8.2f s\n' "marbleway-cli" "$t_mw"
printf '%-34s %8.2f s\n' "ffmpeg -c:v copy -c:a aac -ac 2" "$t_ff"
printf 'marbleway / ffmpeg one-liner: %.2f (goal: at most 1.5)\n' "$(echo "$t_mw / $t_ff" | bc -l)"
if [ -n "$handbrake" ]; then
  t_hb=$(timed handbrake "$handbrake" -i "$src" -o "$work/handbrake.mp4" --preset "Apple 720p30 Surround")
  printf '%-34s %8.2f s\n' "HandBrakeCLI (Apple 720p30)" "$t_hb"
  printf 'HandBrakeCLI / marbleway: %.2f (goal: at least 5)\n' "$(echo "$t_hb / $t_mw" | bc -l)"
else
  echo "HandBrakeCLI not installed (apt-get install handbrake-cli): that ratio is not measured" >&2
fi
