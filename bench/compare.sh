#!/usr/bin/env bash
# Times marbleway-cli against plain ffmpeg doing the same job (the video is copied, AC-3 5.1
# becomes AAC stereo), with copying the file (cp) as the floor, and prints the ratios:
#   - one file: marbleway-cli against the ffmpeg one-liner (goal: at most 1.5);
#   - a batch of 4 files: marbleway-cli --jobs 1 and --jobs 2 against a sequential ffmpeg
#     loop (goal for --jobs 2: at most 1.3) and against two ffmpegs at a time (xargs -P2);
#   - HandBrakeCLI's closest iPhone preset against one marbleway file, when it is installed.
# The contenders' runs alternate and each figure is the median of its runs, so a machine
# that gets busier or quieter during the bench weighs on all of them alike.
#
#   bench/compare.sh [build-dir]   default build-dir: build
#   BENCH_SECONDS=60               length of the single generated 1280x720 H.264 MKV with AC-3 5.1
#   BENCH_BATCH_SECONDS=30         length of each of the batch's 4 files (0: no batch figure)
#   BENCH_RUNS=5                   runs of each contender
#   BENCH_DIR=/tmp                 where the work folder goes (removed at the end)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cli=$build/bin/marbleway-cli
seconds=${BENCH_SECONDS:-60}
batch_seconds=${BENCH_BATCH_SECONDS:-30}
runs=${BENCH_RUNS:-5}
ffmpeg=/usr/bin/ffmpeg
handbrake=$(command -v HandBrakeCLI || true)

[ -x "$cli" ] || { echo "no $cli: build first (cmake --build build)" >&2; exit 1; }
[ -x "$ffmpeg" ] || { echo "no $ffmpeg (apt-get install ffmpeg)" >&2; exit 1; }

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/compare-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out" "$work/temp" "$work/ff"

make_clip() { # seconds output
  "$ffmpeg" -nostdin -loglevel error -y \
    -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$1" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$1" \
    -filter_complex "[1:a]pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0[a]" \
    -map 0:v -map "[a]" -c:v libx264 -preset veryfast -profile:v high -pix_fmt yuv420p \
    -c:a ac3 -b:a 384k "$2"
}

src="$work/clip.mkv"
echo "making a ${seconds}s 1280x720 H.264 MKV with AC-3 5.1 ..." >&2
make_clip "$seconds" "$src"
batch=()
if [ "$batch_seconds" -gt 0 ]; then
  echo "making 4 files of ${batch_seconds}s for the batch ..." >&2
  for i in 1 2 3 4; do
    make_clip "$batch_seconds" "$work/batch$i.mkv"
    batch+=("$work/batch$i.mkv")
  done
fi

now() { date +%s%N; }
declare -A times
timed() { # label command...
  local t0 t1
  t0=$(now)
  "${@:2}" >"$work/last.out" 2>&1 || { echo "$1 failed:" >&2; tail -n 40 "$work/last.out" >&2; exit 1; }
  t1=$(now)
  times[$1]+="$(((t1 - t0) / 1000000)) "
}
median() { # label -> seconds
  echo "${times[$1]}" | tr ' ' '\n' | grep . | sort -n |
    awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)] / 1000}'
}

marbleway() { # files...: converts them with --jobs $JOBS into out/, fresh
  rm -f "$work/out/"*
  env XDG_CONFIG_HOME="$work/config" "$cli" --jobs "$JOBS" --temp-folder "$work/temp" \
    --save-folder "$work/out" "$@"
}
one_ffmpeg() { # source -> ff/NAME.mp4
  "$ffmpeg" -nostdin -y -loglevel error -i "$1" -c:v copy -c:a aac -ac 2 "$work/ff/$(basename "$1" .mkv).mp4"
}
ffmpeg_loop() {
  for f in "$@"; do one_ffmpeg "$f"; done
}
ffmpeg_pairs() {
  printf '%s\0' "$@" | xargs -0 -P2 -n1 bash -c "$(declare -f one_ffmpeg); ffmpeg=$ffmpeg work=$work one_ffmpeg \"\$0\""
}

for ((r = 0; r < runs; r++)); do
  echo "run $((r + 1))/$runs ..." >&2
  timed cp cp "$src" "$work/copy.mkv"
  JOBS=1 timed single marbleway "$src"
  [ -f "$work/out/[Qor] clip.mp4" ] || { echo "marbleway-cli produced no output" >&2; exit 1; }
  timed oneliner one_ffmpeg "$src"
  if [ ${#batch[@]} -gt 0 ]; then
    JOBS=1 timed jobs1 marbleway "${batch[@]}"
    JOBS=2 timed jobs2 marbleway "${batch[@]}"
    [ "$(ls "$work/out" | wc -l)" -eq 4 ] || { echo "marbleway-cli --jobs 2 did not make 4 files" >&2; exit 1; }
    timed loop ffmpeg_loop "${batch[@]}"
    timed pairs ffmpeg_pairs "${batch[@]}"
  fi
done

ratio() { echo "$1 / $2" | bc -l; }
printf '%-44s %8.2f s\n' "cp (floor)" "$(median cp)"
printf '%-44s %8.2f s\n' "marbleway-cli, one ${seconds}s file" "$(median single)"
printf '%-44s %8.2f s\n' "ffmpeg -c:v copy -c:a aac -ac 2" "$(median oneliner)"
printf 'marbleway / ffmpeg one-liner: %.2f (goal: at most 1.5)\n' "$(ratio "$(median single)" "$(median oneliner)")"
if [ ${#batch[@]} -gt 0 ]; then
  printf '%-44s %8.2f s\n' "marbleway-cli --jobs 1, 4 x ${batch_seconds}s" "$(median jobs1)"
  printf '%-44s %8.2f s\n' "marbleway-cli --jobs 2, 4 x ${batch_seconds}s" "$(median jobs2)"
  printf '%-44s %8.2f s\n' "ffmpeg one after the other" "$(median loop)"
  printf '%-44s %8.2f s\n' "ffmpeg two at a time (xargs -P2)" "$(median pairs)"
  printf 'batch --jobs 2 / sequential ffmpeg: %.2f (goal: at most 1.3)\n' "$(ratio "$(median jobs2)" "$(median loop)")"
  printf 'batch --jobs 1 / sequential ffmpeg: %.2f\n' "$(ratio "$(median jobs1)" "$(median loop)")"
  printf 'batch --jobs 2 / ffmpeg two at a time: %.2f\n' "$(ratio "$(median jobs2)" "$(median pairs)")"
fi
if [ -n "$handbrake" ]; then
  t_hb0=$(now)
  "$handbrake" -i "$src" -o "$work/handbrake.mp4" --preset "Apple 720p30 Surround" >/dev/null 2>&1
  t_hb=$(echo "($(now) - $t_hb0) / 1000000000" | bc -l)
  printf '%-44s %8.2f s\n' "HandBrakeCLI (Apple 720p30)" "$t_hb"
  printf 'HandBrakeCLI / marbleway: %.2f (goal: at least 5)\n' "$(ratio "$t_hb" "$(median single)")"
else
  echo "HandBrakeCLI not installed (apt-get install handbrake-cli): that ratio is not measured" >&2
fi
