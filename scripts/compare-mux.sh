#!/usr/bin/env bash
# Compares the MP4Box adapter's mux output against another build of it (a baseline) on the
# raw H.264 forms the engine's copy paths hand it: B-pyramids, open GOPs, 23.976, 29.97, 25
# and 50 fps, multi-slice pictures, MBAFF, non-square pixels, level changes, delays, a stream
# taken out of an MKV by mkvextract, and the container forms (#video of an MP4); with ADTS AAC
# of other rates and channel counts, delayed by odd amounts, and timed text (TTXT and SRT with
# language, layout, group and disable). For every case the two outputs must have the same
# packet list (stream, pts, dts, duration, flags), the same stream fields, the same decoded
# frames (framemd5) and the same bytes in every packet of every track (text included).
#
#   scripts/compare-mux.sh BASELINE_MP4BOX [MP4BOX]     MP4BOX defaults to build/bin/tools/MP4Box
#
# A baseline from another commit:
#   git worktree add /tmp/mux-base COMMIT && cmake -S /tmp/mux-base -B /tmp/mux-base/build -G Ninja \
#     && cmake --build /tmp/mux-base/build --target adapter_MP4Box adapter_MP4Box_nightly
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
base=${1:?usage: $0 BASELINE_MP4BOX [MP4BOX]}
new=${2:-$root/build/bin/tools/MP4Box}
ffmpeg=/usr/bin/ffmpeg
ffprobe=/usr/bin/ffprobe

work=$(mktemp -d "${TMPDIR:-/tmp}/compare-mux.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

x264() { # name rate size seconds x264-params [extra ffmpeg options...]
  local name=$1 rate=$2 size=$3 seconds=$4 params=$5
  shift 5
  "$ffmpeg" -nostdin -v error -y -f lavfi -i "testsrc2=size=$size:rate=$rate:duration=$seconds" \
    -c:v libx264 -preset veryfast -x264-params "$params" -pix_fmt yuv420p "$@" -f h264 "$name.h264"
}

echo "making the streams ..." >&2
x264 pyramid 24000/1001 320x240 3 "b-pyramid=normal:bframes=3:keyint=24"
x264 strict 24000/1001 320x240 3 "b-pyramid=strict:bframes=4:b-adapt=2:ref=5:weightp=2:keyint=30"
x264 opengop 30000/1001 320x240 3 "open-gop=1:keyint=12:bframes=3"
x264 opengop25 25 320x240 3 "open-gop=1:keyint=20:bframes=2:b-pyramid=none"
x264 slices 25 320x240 3 "slices=4:bframes=2"
x264 fifty 50 320x240 2 "bframes=0"
x264 fiftyb 50 320x240 2 "bframes=3:b-pyramid=normal"
x264 mbaff 25 320x240 3 "interlaced=1:tff=1:bframes=2"
x264 baseline 30000/1001 320x240 2 "bframes=0:cabac=0:ref=1"
x264 square 24000/1001 320x240 2 "bframes=2" -vf setsar=1/1
x264 wide 25 320x240 2 "bframes=2" -vf setsar=4/3
x264 tall 25 320x240 2 "bframes=2" -vf setsar=9/10
x264 idrs 25 320x240 3 "keyint=5:min-keyint=5:scenecut=0:bframes=3"
x264 long 24000/1001 64x64 150 "bframes=3:b-pyramid=normal"
x264 level30 30000/1001 640x480 2 "bframes=3:level=3.0"
x264 oddsar 25 320x240 2 "bframes=2" -vf setsar=5/4
x264 nosar 25 320x240 2 "bframes=2" -vf setsar=0
x264 refresh 25 320x240 3 "intra-refresh=1:keyint=25:bframes=0"
# SPS forms whose rewrite for -par and :level= moves bits (setsar=0: no aspect ratio in the VUI): HRD,
# signal type and chroma location, scaling matrices (4:2:0 and 4:4:4), 10 bits, cropping.
x264 hrd 25 320x240 2 "bframes=2:nal-hrd=vbr:vbv-maxrate=1500:vbv-bufsize=1500" -vf setsar=0
x264 cbr 24000/1001 320x240 2 "bframes=3:nal-hrd=cbr:bitrate=800:vbv-maxrate=800:vbv-bufsize=1200" -vf setsar=0
x264 signal 25 320x240 2 "bframes=2:overscan=show:colorprim=bt709:transfer=bt709:colormatrix=bt709:fullrange=on:chromaloc=1" -vf setsar=0
x264 cqm 25 320x240 2 "bframes=2:cqm=jvt" -vf setsar=0
x264 cqm444 25 320x240 2 "bframes=2:cqm=jvt" -pix_fmt yuv444p -vf setsar=0
x264 tenbit 25 320x240 2 "bframes=2" -pix_fmt yuv420p10le -vf setsar=0
x264 cropped 25 322x242 2 "bframes=2" -vf setsar=0
# The MKV copy path: the stream as mkvextract takes it out of a Matroska file.
"$ffmpeg" -nostdin -v error -y -f lavfi -i "testsrc2=size=320x240:rate=24000/1001:duration=3" \
  -c:v libx264 -preset veryfast -x264-params "bframes=3:b-pyramid=normal" source.mkv
mkvextract source.mkv tracks 0:mkvextract.h264 >/dev/null
"$ffmpeg" -nostdin -v error -y -f lavfi -i "testsrc2=size=320x240:rate=25:duration=3" \
  -c:v libx264 -preset veryfast -x264-params "bframes=3" -movflags +faststart source.mp4
"$ffmpeg" -nostdin -v error -y -f lavfi -i "sine=frequency=440:duration=3" -c:a aac -b:a 96k tone.aac
"$ffmpeg" -nostdin -v error -y -f lavfi -i "anoisesrc=d=4:r=48000:a=0.2" -ac 6 -c:a aac -b:a 320k six.aac
"$ffmpeg" -nostdin -v error -y -f lavfi -i "anoisesrc=d=0.5:r=22050:a=0.2" -ac 1 -c:a aac -b:a 32k short.aac
printf '1\n00:00:00,400 --> 00:00:01,234\n<i>First</i> line\n\n2\n00:00:01,500 --> 00:00:02,100\nSecond\n' >sub.srt
cat > sub.ttxt <<'EOF'
<?xml version="1.0" encoding="UTF-8" ?>
<TextStream version="1.1">
<TextStreamHeader width="400" height="60" layer="0" translation_x="0" translation_y="0">
<TextSampleDescription horizontalJustification="center" verticalJustification="bottom" backColor="00 00 00 00" verticalText="no" fillTextRegion="no" continuousKaraoke="no" scroll="None">
<FontTable>
<FontTableEntry fontName="Serif" fontID="1"/>
</FontTable>
<TextBox top="0" left="0" bottom="60" right="400"/>
<Style styles="Normal" fontID="1" fontSize="18" color="ff ff ff ff"/>
</TextSampleDescription>
</TextStreamHeader>
<TextSample sampleTime="00:00:00.000" xml:space="preserve"></TextSample>
<TextSample sampleTime="00:00:00.500" xml:space="preserve">Hello</TextSample>
<TextSample sampleTime="00:00:01.500" xml:space="preserve"></TextSample>
</TextStream>
EOF

# Styled text: bold, italic, underline, colours, alpha, sizes (one past 255), a second font,
# non-BMP characters, leading and trailing blanks, literal override codes, a sample too short
# to keep, line breaks, text after the video ends.
cat > styled.ttxt <<'EOF'
<?xml version="1.0" encoding="UTF-8" ?>
<TextStream version="1.1">
<TextStreamHeader width="320" height="50" layer="0" translation_x="0" translation_y="190">
<TextSampleDescription horizontalJustification="left" verticalJustification="top" backColor="10 20 30 40">
<FontTable>
<FontTableEntry fontName="Gulim" fontID="1"/>
<FontTableEntry fontName="Arial" fontID="2"/>
</FontTable>
<TextBox top="1" left="2" bottom="3" right="4"/>
<Style styles="Normal" fontID="1" fontSize="24" color="ff ff 00 ff"/>
</TextSampleDescription>
</TextStreamHeader>
<TextSample sampleTime="00:00:00.100" xml:space="preserve">Bold and italic<Style fromChar="0" toChar="4" styles="Bold" fontID="1" fontSize="24" color="ff ff 00 ff"/><Style fromChar="9" toChar="15" styles="Bold Italic" fontID="1" fontSize="24" color="ff ff 00 ff"/></TextSample>
<TextSample sampleTime="00:00:00.504" xml:space="preserve">Red &#54620;&#44544; text&#55357;&#56832; end<Style fromChar="4" toChar="7" styles="Normal" fontID="1" fontSize="24" color="ff 00 00 ff"/><Style fromChar="8" toChar="12" styles="Underlined" fontID="2" fontSize="30" color="00 ff 00 80"/></TextSample>
<TextSample sampleTime="00:00:00.506" xml:space="preserve">too short</TextSample>
<TextSample sampleTime="00:00:00.900" xml:space="preserve">  lead and trail  </TextSample>
<TextSample sampleTime="00:00:01.100" xml:space="preserve">{\b1} literal \n and \N and {x}</TextSample>
<TextSample sampleTime="00:00:01.300" xml:space="preserve">two
lines<Style fromChar="2" toChar="6" styles="Italic" fontID="1" fontSize="24" color="ff ff 00 ff"/></TextSample>
<TextSample sampleTime="00:00:01.500" xml:space="preserve">  bold lead<Style fromChar="0" toChar="4" styles="Bold" fontID="1" fontSize="24" color="ff ff 00 ff"/></TextSample>
<TextSample sampleTime="00:00:01.700" xml:space="preserve">trail bold  <Style fromChar="6" toChar="12" styles="Bold" fontID="1" fontSize="24" color="ff ff 00 ff"/></TextSample>
<TextSample sampleTime="00:00:01.900" xml:space="preserve">font only<Style fromChar="0" toChar="4" styles="Normal" fontID="2" fontSize="24" color="ff ff 00 ff"/></TextSample>
<TextSample sampleTime="00:00:02.100" xml:space="preserve">size 300<Style fromChar="0" toChar="4" styles="Normal" fontID="1" fontSize="300" color="ff ff 00 ff"/></TextSample>
<TextSample sampleTime="00:00:02.300" xml:space="preserve">alpha<Style fromChar="1" toChar="3" styles="Normal" fontID="1" fontSize="24" color="ff ff 00 00"/></TextSample>
<TextSample sampleTime="00:00:04.000" xml:space="preserve"></TextSample>
<TextSample sampleTime="00:00:05.000" xml:space="preserve">after the video</TextSample>
</TextStream>
EOF
# An SRT with a BOM and CR LF, a cue from zero, overlapping cues, one that rounds away, tags.
printf '\xef\xbb\xbf1\r\n00:00:00,000 --> 00:00:00,800\r\nfrom zero\r\n\r\n2\r\n00:00:01,000 --> 00:00:02,500\r\n<b>Hello</b> <i>world</i> <u>u</u>\r\n\r\n3\r\n00:00:02,000 --> 00:00:03,001\r\nOverlap <font color="red">red</font>\r\n\r\n4\r\n00:00:03,004 --> 00:00:03,006\r\ntiny\r\n\r\n5\r\n00:00:04,000 --> 00:00:04,500\r\n<b><i>both</i></b> caf\xc3\xa9\r\nsecond line\r\n' >tricky.srt

report() { # file: what must not change
  "$ffprobe" -v error -show_entries packet=stream_index,pts,dts,duration,flags -of csv=p=0 "$1"
  "$ffprobe" -v error -show_entries \
    stream=index,codec_name,profile,level,width,height,sample_aspect_ratio,display_aspect_ratio,r_frame_rate,avg_frame_rate,time_base,start_pts,duration_ts,nb_frames,has_b_frames:stream_tags=language:stream_disposition=default \
    -show_entries format=duration,start_time -of flat "$1"
  "$ffmpeg" -nostdin -v error -i "$1" -map 0:v:0 -f framemd5 -
  "$ffmpeg" -nostdin -v error -i "$1" -map 0 -c copy -f framemd5 -
}

failures=0
cases=0
check() { # label, then the mux arguments with OUT for the output
  local label=$1
  shift
  local outs=()
  for tool in "$base" "$new"; do
    local out="$work/out-$cases-$([ "$tool" = "$base" ] && echo base || echo new).mp4"
    local args=("${@//OUT/$out}")
    local nightly=$tool
    if [ "${args[0]}" = "NIGHTLY" ]; then
      nightly="$(dirname "$tool")/Nightly/MP4Box"
      args=("${args[@]:1}")
    fi
    "$nightly" "${args[@]}" >"$out.log" 2>&1 || { echo "FAIL $label: $nightly exited with $?" >&2; cat "$out.log" >&2; }
    report "$out" >"$out.report" 2>&1 || true
    outs+=("$out")
  done
  cases=$((cases + 1))
  if cmp -s "${outs[0]}.report" "${outs[1]}.report"; then
    echo "same  $label"
  else
    failures=$((failures + 1))
    echo "DIFF  $label"
    diff "${outs[0]}.report" "${outs[1]}.report" | head -20 || true
  fi
}

for s in pyramid strict square mkvextract long; do
  check "$s 23.976" -ipod -add "$s.h264:fps=23.976:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" \
    -add "sub.ttxt:lang=ko:layout=0x60x0x-1:hdlr=sbtl:group=2" OUT
done
check "opengop 29.97" -ipod -add "opengop.h264:fps=29.97:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
check "baseline 29.97" -ipod -add "baseline.h264:fps=29.970:level=3.0:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
check "level30 29.97" -ipod -add "level30.h264:fps=29.97:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
for s in opengop25 slices mbaff idrs; do
  check "$s 25" -ipod -add "$s.h264:fps=25:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
done
for s in fifty fiftyb; do
  check "$s 50" -ipod -add "$s.h264:fps=50:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
done
check "wide keeps 4:3" -ipod -add "wide.h264:fps=25:level=3.1:delay=0" -par 1=4:3 -add "tone.aac:delay=0" OUT
check "wide made square" -ipod -add "wide.h264:fps=25:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
check "tall keeps 9:10" -ipod -add "tall.h264:fps=25:level=3.0:delay=0" -par 1=9:10 -add "tone.aac:delay=0" OUT
check "delays" -ipod -add "pyramid.h264:fps=23.976:level=3.1:delay=300" -par 1=1:1 -add "tone.aac:delay=120" \
  -add "sub.ttxt:lang=ko:hdlr=sbtl:group=2" OUT
check "audio delayed" -ipod -add "opengop.h264:fps=29.97:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=1500" OUT
check "nightly level" NIGHTLY -ipod -add "pyramid.h264:fps=23.976:level=31:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
check "no frame rate" -add "pyramid.h264" OUT
check "no level" -add "slices.h264:fps=25" -add "tone.aac" OUT
check "audio delayed oddly" -ipod -add "pyramid.h264:fps=23.976:level=3.1:delay=7" -par 1=1:1 -add "tone.aac:delay=1" OUT
check "audio 13 ms late" -ipod -add "opengop.h264:fps=29.97:level=3.1:delay=0" -par 1=1:1 -add "six.aac:delay=13" OUT
check "short 22.05 kHz mono" -ipod -add "fiftyb.h264:fps=50:level=3.1:delay=40" -par 1=1:1 -add "short.aac:delay=0" OUT
check "audio first" -ipod -add "tone.aac:delay=0" -add "pyramid.h264:fps=23.976:level=3.1:delay=0" -par 2=1:1 OUT
check "odd pixels kept" -ipod -add "oddsar.h264:fps=25:level=3.1:delay=0" -par 1=5:4 -add "tone.aac:delay=0" OUT
check "odd pixels changed" -ipod -add "oddsar.h264:fps=25:level=3.1:delay=0" -par 1=7:5 -add "tone.aac:delay=0" OUT
check "odd pixels to table" -ipod -add "oddsar.h264:fps=25:level=3.0:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
check "no stated shape" -ipod -add "nosar.h264:fps=25:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
for s in hrd signal cqm cqm444 tenbit cropped; do
  check "$s made square" -ipod -add "$s.h264:fps=25:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
done
check "no stated shape to 4:3" -ipod -add "nosar.h264:fps=25:level=3.0:delay=0" -par 1=4:3 -add "tone.aac:delay=0" OUT
check "no stated shape to 40:33" -ipod -add "nosar.h264:fps=25:delay=0" -par 1=40:33 -add "tone.aac:delay=0" OUT
check "no stated shape to 5:4" -ipod -add "nosar.h264:fps=25:level=4.0:delay=0" -par 1=5:4 -add "tone.aac:delay=0" OUT
check "no stated shape, reduced" -ipod -add "nosar.h264:fps=25:level=4.1:delay=0" -par 1=720:656 OUT
check "table to explicit" -ipod -add "wide.h264:fps=25:level=3.1:delay=0" -par 1=9:8 -add "tone.aac:delay=0" OUT
check "cbr 23.976 odd shape" -ipod -add "cbr.h264:fps=23.976:level=4.1:delay=0" -par 1=33:40 -add "tone.aac:delay=0" OUT
check "nightly level, no stated shape" NIGHTLY -ipod -add "nosar.h264:fps=25:level=30:delay=0" -par 1=1:1 \
  -add "tone.aac:delay=0" OUT
check "intra refresh" -ipod -add "refresh.h264:fps=25:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
check "no -par" -ipod -add "wide.h264:fps=25:level=3.1" -add "tone.aac" OUT
check "language, group, disable" -ipod -add "pyramid.h264:fps=23.976:level=3.1:delay=0:lang=en:group=1" -par 1=1:1 \
  -add "tone.aac:delay=0:lang=ja:group=1:disable" OUT
check "srt text" -ipod -add "opengop.h264:fps=29.97:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" \
  -add "sub.srt:lang=ko:hdlr=sbtl:group=2" OUT
check "two texts, one disabled" -ipod -add "pyramid.h264:fps=23.976:level=3.1:delay=0" -par 1=1:1 \
  -add "tone.aac:delay=0" -add "sub.ttxt:lang=en:layout=0x60x0x-1:hdlr=sbtl:group=2" \
  -add "sub.srt:lang=ko:hdlr=sbtl:group=2:disable" OUT
check "styled text and a tricky srt" -ipod -add "pyramid.h264:fps=23.976:level=3.1:delay=0" -par 1=1:1 \
  -add "tone.aac:delay=0" -add "styled.ttxt:lang=ja:hdlr=sbtl:group=2" \
  -add "tricky.srt:lang=ko:layout=0x60x0x-1:hdlr=sbtl:group=2:disable" OUT
check "text without audio, video delayed" -ipod -add "fiftyb.h264:fps=50:level=3.1:delay=200" -par 1=1:1 \
  -add "tricky.srt:lang=en:hdlr=sbtl:group=2" OUT
check "text before the audio" -ipod -add "opengop.h264:fps=29.97:level=3.1:delay=0" -par 1=1:1 \
  -add "sub.srt:lang=ko:hdlr=sbtl:group=2" -add "six.aac:delay=13" OUT
check "mp4 #video" -ipod -add "source.mp4#video:level=3.1:delay=0" -par 1=1:1 -add "tone.aac:delay=0" OUT
check "video alone" -ipod -add "fiftyb.h264:fps=50:level=3.1:delay=0" -par 1=1:1 OUT

# The engine's copy paths, end to end.
bin=$(dirname "$(dirname "$new")")
if [ -x "$bin/marbleway-cli" ]; then
  echo "making the test media and converting them ..." >&2
  "$root/scripts/make-test-media.sh" "$work/media" >/dev/null 2>&1
  mkdir -p "$work/basebin"
  cp "$bin/marbleway-cli" "$work/basebin/"
  cp -a "$bin/tools" "$work/basebin/"
  cp "$base" "$work/basebin/tools/MP4Box"
  cp "$(dirname "$base")/Nightly/MP4Box" "$work/basebin/tools/Nightly/MP4Box"
  [ -x "$(dirname "$base")/mkvextract" ] && cp "$(dirname "$base")/mkvextract" "$work/basebin/tools/mkvextract"
  for medium in avi_h264_ac3.avi avi_mpeg4_mp3.avi mkv_h264_multi.mkv mkv_mpeg4_aac.mkv mp4_h264_aac.mp4 \
    mov_h264_aac.mov flv_h264_aac.flv ogm_h264_mp3.ogm ogm_mpeg4_vorbis.ogm; do
    for side in base new; do
      cli="$bin/marbleway-cli"
      [ $side = base ] && cli="$work/basebin/marbleway-cli"
      mkdir -p "$work/cli-$side/temp" "$work/cli-$side/out"
      XDG_CONFIG_HOME="$work/cli-$side/config" "$cli" --temp-folder "$work/cli-$side/temp" \
        --save-folder "$work/cli-$side/out" "$work/media/$medium" >/dev/null 2>&1 || true
      out="$work/cli-$side/out/[Qor] ${medium%.*}.mp4"
      report "$out" >"$work/cli-$side/$medium.report" 2>&1 || true
      [ -f "$out" ] || echo "no output from the $side tools" >>"$work/cli-$side/$medium.report"
    done
    cases=$((cases + 1))
    if [ -f "$work/cli-new/out/[Qor] ${medium%.*}.mp4" ] && cmp -s "$work/cli-base/$medium.report" "$work/cli-new/$medium.report"; then
      echo "same  marbleway-cli $medium"
    else
      failures=$((failures + 1))
      echo "DIFF  marbleway-cli $medium"
      diff "$work/cli-base/$medium.report" "$work/cli-new/$medium.report" | head -20 || true
    fi
  done
fi

echo "$cases cases, $failures with differences"
[ "$failures" -eq 0 ]
