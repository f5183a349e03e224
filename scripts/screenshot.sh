#!/usr/bin/env bash
# Takes docs/main-window.png: the real Marbleway window under a virtual X server,
# made larger than its smallest size, during a run of the real tools on a small
# generated clip (with a subtitle file beside it), at the moment a tool shows its
# progress. The default options are used (a settings folder of its own, so yours
# are not shown), and the run is stopped once the picture is taken.
#   scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/main-window.png}"

if [ ! -x build/bin/Marbleway ] || [ ! -d build/bin/tools ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j2 >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/Videos"
# Long enough for the tools to be caught at work, small enough to make quickly.
clip="$work/Videos/sample clip.mkv"
ffmpeg -nostdin -loglevel error -y \
  -f lavfi -i "testsrc2=size=640x360:rate=25:duration=60" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=60" \
  -c:v libx264 -preset ultrafast -profile:v main -pix_fmt yuv420p -c:a ac3 -b:a 128k "$clip"
printf '1\r\n00:00:00,500 --> 00:00:01,500\r\n안녕하세요\r\n' > "$work/Videos/sample clip.srt"
# A second row, so the list shows the run's place in it.
cp "$clip" "$work/Videos/second clip.mkv"

mkdir -p "$(dirname "$out")"
env XDG_CONFIG_HOME="$work/config" TMPDIR="$work" \
  xvfb-run -a -s "-screen 0 1280x800x24" \
  build/bin/Marbleway --size 1100x560 --screenshot "$out" --during-run "$clip" "$work/Videos/second clip.mkv"
test -s "$out"
echo "screenshot: $out"
