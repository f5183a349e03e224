#!/usr/bin/env bash
# Takes docs/main-window.png: the real Marbleway window under a virtual X server,
# with a small generated clip (and a subtitle file beside it) in the list and the
# default options (a settings folder of its own, so yours are not shown).
#   scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/main-window.png}"

if [ ! -x build/bin/Marbleway ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j2 --target Marbleway >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config" "$work/Videos"
clip="$work/Videos/sample clip.mkv"
ffmpeg -nostdin -loglevel error -y \
  -f lavfi -i "testsrc2=size=320x180:rate=25:duration=2" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=2" \
  -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a ac3 -b:a 128k "$clip"
printf '1\r\n00:00:00,500 --> 00:00:01,500\r\n안녕하세요\r\n' > "$work/Videos/sample clip.srt"

# The window starts idle only with a tools folder beside it. Until the tools are
# built, an empty one in a program folder of its own stands in (Convert would then
# say that the tools are missing).
program_env=()
if [ ! -d build/bin/tools ]; then
  echo "screenshot: build/bin/tools is missing; using an empty tools folder" >&2
  mkdir -p "$work/program/tools"
  program_env=(MARBLEWAY_PROGRAM_FOLDER="$work/program")
fi

mkdir -p "$(dirname "$out")"
env XDG_CONFIG_HOME="$work/config" TMPDIR="$work" "${program_env[@]}" \
  xvfb-run -a -s "-screen 0 1280x800x24" \
  build/bin/Marbleway --screenshot "$out" "$clip"
test -s "$out"
echo "screenshot: $out"
