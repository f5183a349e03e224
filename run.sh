#!/usr/bin/env bash
# Sets up and builds Marbleway, then runs the main job:
#   ./run.sh              converts a generated sample clip and prints where the result is
#   ./run.sh FILE...      converts the given files (marbleway-cli options may come first)
#   ./run.sh gui [FILE..] opens the window (with the sample clip in the list)
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >/dev/null

sample_dir="$PWD/out/sample"
make_sample() {
  mkdir -p "$sample_dir"
  local clip="$sample_dir/sample clip.mkv"
  if [ ! -f "$clip" ]; then
    # Five seconds of 640x360 H.264 with 5.1 AC-3 sound: a copy-path conversion.
    ffmpeg -nostdin -loglevel error -y \
      -f lavfi -i "testsrc2=size=640x360:rate=25:duration=5" \
      -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=5" \
      -filter_complex "[1:a]pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0[a]" \
      -map 0:v -map "[a]" -c:v libx264 -preset veryfast -profile:v main -level 3.0 -pix_fmt yuv420p \
      -c:a ac3 -b:a 384k "$clip"
  fi
  printf '%s\n' "$clip"
}

if [ "${1:-}" = "gui" ]; then
  shift
  if [ $# -eq 0 ]; then set -- "$(make_sample)"; fi
  exec build/bin/Marbleway "$@"
fi

if [ $# -eq 0 ]; then
  clip=$(make_sample)
  mkdir -p out/converted
  set +e
  build/bin/marbleway-cli --save-folder "$PWD/out/converted" "$clip"
  status=$?
  set -e
  result="$PWD/out/converted/[Qor] sample clip.mp4"
  if [ -f "$result" ]; then
    echo "Result: $result"
  else
    echo "No result was produced (see the status above)." >&2
  fi
  exit $status
fi
exec build/bin/marbleway-cli "$@"
