#!/usr/bin/env bash
# Makes one tiny media file per container and stream kind the probe knows (ffmpeg, and
# ogmtools' ogmmerge for OGM), then writes the MediaInfo adapter's full report of each
# into tests/probe/reports/NAME.txt.
#
#   scripts/make-probe-reports.sh                 regenerate the committed reports
#   scripts/make-probe-reports.sh --media DIR     only make the media in DIR
#
# The adapter is taken from $MARBLEWAY_BIN_DIR/tools/MediaInfo (default build/bin).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
media_only=""
if [ "${1:-}" = "--media" ]; then
  media_only="${2:?--media needs a folder}"
fi

if [ -n "$media_only" ]; then
  work="$media_only"
  mkdir -p "$work"
else
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
cd "$work"

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

# Two seconds of a 320x240 test picture at 25 fps and a 48 kHz tone.
V=(-f lavfi -i testsrc=size=320x240:rate=25:duration=2)
A=(-f lavfi -i sine=frequency=440:sample_rate=48000:duration=2)
A2=(-f lavfi -i sine=frequency=660:sample_rate=48000:duration=2)
A3=(-f lavfi -i sine=frequency=880:sample_rate=44100:duration=2)
YUV=(-pix_fmt yuv420p)
X264=(-c:v libx264 -preset ultrafast -pix_fmt yuv420p)

printf '1\r\n00:00:00,500 --> 00:00:01,500\r\nHello\r\n\r\n2\r\n00:00:01,600 --> 00:00:01,900\r\nBye\r\n\r\n' > sub.srt

# AVI: MPEG-4 Part 2 (XviD), H.264, DivX 3, and the MPEG-4 ASP tools.
ff "${V[@]}" "${A[@]}" -c:v mpeg4 -vtag XVID "${YUV[@]}" -c:a libmp3lame -b:a 64k avi_mpeg4.avi
ff "${V[@]}" "${A[@]}" "${X264[@]}" -c:a ac3 -b:a 96k avi_h264.avi
ff "${V[@]}" "${A[@]}" -c:v msmpeg4 -vtag DIV3 "${YUV[@]}" -c:a libmp3lame -b:a 64k avi_div3.avi
matrix=$(for i in $(seq 0 63); do printf '%d,' $((8 + i % 40)); done)
ff "${V[@]}" "${A[@]}" -c:v mpeg4 -vtag XVID -bf 2 -flags +qpel -mpeg_quant 1 \
   -intra_matrix "${matrix%,}" -inter_matrix "${matrix%,}" "${YUV[@]}" -ac 2 -c:a pcm_s16le avi_asp_qpel.avi
ff "${V[@]}" "${A[@]}" -c:v libxvid -vtag XVID -gmc 1 "${YUV[@]}" -c:a adpcm_ima_wav avi_asp_gmc.avi
ff "${V[@]}" -c:v mpeg4 -vtag XVID -flags +ildct+ilme -top 1 -mpeg_quant 1 "${YUV[@]}" avi_interlaced.avi
ff -f lavfi -i testsrc=size=160x120:rate=10:duration=1 -c:v cinepak avi_cinepak.avi
ff -f lavfi -i testsrc=size=160x120:rate=10:duration=1 -c:v mjpeg -pix_fmt yuvj420p avi_mjpeg.avi

# Matroska: three audio languages (the Korean one 200 ms late), SRT and ASS text.
ff "${V[@]}" -itsoffset 0.2 "${A[@]}" "${A2[@]}" "${A3[@]}" -i sub.srt -i sub.srt \
   -map 0 -map 1 -map 2 -map 3 -map 4 -map 5 "${X264[@]}" \
   -c:a:0 ac3 -c:a:1 aac -c:a:2 libvorbis -c:s:0 srt -c:s:1 ass \
   -metadata:s:a:0 language=kor -metadata:s:a:1 language=eng -metadata:s:a:2 language=jpn \
   -metadata:s:s:0 language=kor -metadata:s:s:1 language=eng mkv.mkv

# MP4: High@L4.1, English AAC starting 500 ms late (an empty edit), timed text.
ff "${V[@]}" -itsoffset 0.5 "${A[@]}" -i sub.srt -map 0 -map 1 -map 2 \
   -c:v libx264 -preset veryfast -pix_fmt yuv420p -profile:v high -level 4.1 \
   -c:a aac -b:a 64k -c:s mov_text -metadata:s:a language=eng -metadata:s:s language=kor mp4.mp4
# 720p at 23.976 fps, level 3.1.
ff -f lavfi -i testsrc=size=1280x720:rate=24000/1001:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 \
   -c:v libx264 -preset ultrafast -pix_fmt yuv420p -level 3.1 -c:a aac mp4_720p.mp4
ff "${V[@]}" "${A[@]}" "${X264[@]}" -c:a aac mov.mov
ff -f lavfi -i testsrc=size=176x144:rate=15:duration=2 -f lavfi -i sine=sample_rate=8000:duration=2 \
   -c:v h263 "${YUV[@]}" -c:a aac -ar 8000 -ac 1 3gp.3gp

# Flash: Sorenson Spark and H.264 in FLV, Sorenson Spark in SWF.
ff "${V[@]}" "${A[@]}" -c:v flv "${YUV[@]}" -c:a libmp3lame -ar 44100 flv.flv
ff "${V[@]}" "${A[@]}" "${X264[@]}" -c:a aac flv_h264.flv
ff "${V[@]}" "${A[@]}" -c:v flv "${YUV[@]}" -c:a libmp3lame -ar 44100 swf.swf

# Ogg from ffmpeg (Theora, Vorbis; random page serials) and OGM from ogmmerge.
ff "${V[@]}" "${A[@]}" -c:v libtheora "${YUV[@]}" -c:a libvorbis ogg.ogg
ff "${V[@]}" -c:v mpeg4 -vtag XVID "${YUV[@]}" ogm_video_mpeg4.avi
ff "${V[@]}" "${X264[@]}" ogm_video_h264.avi
ff "${A3[@]}" -c:a libmp3lame -b:a 64k -id3v2_version 0 -write_xing 0 ogm_audio.mp3
ff "${A2[@]}" -c:a ac3 -b:a 96k ogm_audio.ac3
ogmmerge -q -o ogm.ogm ogm_video_mpeg4.avi -c LANGUAGE=Korean ogm_audio.mp3 \
   -c LANGUAGE=English ogm_audio.ac3 -c LANGUAGE=Korean sub.srt
ogmmerge -q -o ogm_h264.ogm ogm_video_h264.avi ogm_audio.mp3
rm -f ogm_video_mpeg4.avi ogm_video_h264.avi ogm_audio.mp3 ogm_audio.ac3

# MPEG program stream, Windows Media, and a bare AAC file as the audio stage makes it.
ff "${V[@]}" "${A[@]}" -c:v mpeg2video "${YUV[@]}" -c:a mp2 -f vob mpeg_ps.mpg
ff "${V[@]}" "${A[@]}" -c:v wmv2 "${YUV[@]}" -c:a wmav2 wmv.wmv
ff "${A[@]}" -ac 2 -c:a aac -b:a 128k aac_adts.aac
rm -f sub.srt

[ -n "$media_only" ] && exit 0

tool="${MARBLEWAY_BIN_DIR:-$root/build/bin}/tools/MediaInfo"
[ -x "$tool" ] || { echo "make-probe-reports: build the MediaInfo adapter first ($tool)" >&2; exit 1; }
out="$root/tests/probe/reports"
mkdir -p "$out"
for f in *; do
  # Run from the media folder so that the reports name the file without a folder.
  "$tool" -f "$f" > "$out/${f%.*}.txt"
done
echo "make-probe-reports: wrote $(ls "$work" | wc -l) reports to $out"
