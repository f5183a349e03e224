#!/usr/bin/env bash
# Times the MP4Box adapter's mux step alone, the way a copy job calls it: a 1280x720 H.264
# stream taken out of an MKV plus an ADTS AAC file. Several adapter builds can be compared
# in one run; their calls are alternated and the median of each is printed.
#
#   bench/mux.sh [MP4Box ...]      default: build/bin/tools/MP4Box
#   BENCH_SECONDS=60               length of the generated clip
#   BENCH_RUNS=5                   runs per adapter
#   BENCH_DIR=/tmp                 where the work folder goes (removed at the end)
#   BENCH_NOSAR=1                  the stream's VUI states no aspect ratio (as many MKV and AVI
#                                  streams), so -par 1=1:1 rewrites its SPS
#   BENCH_TEXT=1                   an SRT track is muxed as well
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${BENCH_SECONDS:-60}
runs=${BENCH_RUNS:-5}
ffmpeg=/usr/bin/ffmpeg
adapters=("$@")
[ ${#adapters[@]} -gt 0 ] || adapters=("$root/build/bin/tools/MP4Box")

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/mux-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "making a ${seconds}s 1280x720 H.264 MKV with AC-3 5.1, its raw video and AAC ..." >&2
"$ffmpeg" -nostdin -loglevel error -y \
  -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$seconds" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" \
  -filter_complex "[1:a]pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0[a]" \
  -map 0:v -map "[a]" ${BENCH_NOSAR:+-vf setsar=0} -c:v libx264 -preset veryfast -profile:v high -pix_fmt yuv420p \
  -c:a ac3 -b:a 384k "$work/clip.mkv"
mkvextract "$work/clip.mkv" tracks "0:$work/temp.h264" >/dev/null
"$ffmpeg" -nostdin -loglevel error -y -i "$work/clip.mkv" -vn -ac 2 -c:a aac -b:a 136k "$work/temp.aac"

text=()
if [ -n "${BENCH_TEXT:-}" ]; then
  for ((i = 0; i < seconds / 3; i++)); do
    printf '%d\n00:%02d:%02d,000 --> 00:%02d:%02d,500\nLine %d <i>of</i> the subtitle\n\n' \
      $((i + 1)) $((i * 3 / 60)) $((i * 3 % 60)) $((i * 3 / 60)) $((i * 3 % 60 + 2)) $i
  done >"$work/sub.srt"
  text=(-add "$work/sub.srt:lang=ko:hdlr=sbtl:group=2")
fi

now() { date +%s%N; }
declare -A times
for ((r = 0; r < runs; r++)); do
  for i in "${!adapters[@]}"; do
    rm -f "$work/progressing.mp4"
    t0=$(now)
    "${adapters[$i]}" -ipod -add "$work/temp.h264:fps=25:level=3.1:delay=0" -par 1=1:1 \
      -add "$work/temp.aac:delay=0" "${text[@]}" "$work/progressing.mp4" >/dev/null 2>&1
    t1=$(now)
    [ -f "$work/progressing.mp4" ] || { echo "${adapters[$i]} wrote nothing" >&2; exit 1; }
    times[$i]+="$(((t1 - t0) / 1000000)) "
  done
done
for i in "${!adapters[@]}"; do
  median=$(echo "${times[$i]}" | tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  printf '%-60s median %5d ms  (runs: %s)\n' "${adapters[$i]}" "$median" "${times[$i]}"
done
