#!/usr/bin/env bash
# Makes the small test media every test suite shares, deterministically (same bytes on every
# run with the same Debian tools) and in a few seconds: 160x120 (3GP: 176x144) at 25 fps,
# 2 seconds, so every video has exactly 50 frames.
#
# Usage: scripts/make-test-media.sh OUTDIR
#
# Outputs (track numbers are the container's own, as MediaInfo reports them):
#   avi_mpeg4_mp3.avi      MPEG-4 Part 2 (XVID, B-frames) + MP3 stereo 44.1 kHz
#   avi_h264_ac3.avi       H.264 (B-frames) + AC-3 5.1 48 kHz
#   avi_h264_pcm.avi       H.264 + PCM s16le stereo 48 kHz
#   avi_noaudio.avi        MPEG-4 Part 2 without any audio
#   avi_mpeg4_2audio.avi   MPEG-4 Part 2 + MP3 stereo 44.1 kHz (first) + AC-3 5.1 48 kHz (second; ffmpeg
#                          would pick it by default, having more channels)
#   mkv_h264_multi.mkv     1 H.264 (B-frames), 2 AC-3 5.1 "eng", 3 AAC-LC stereo "kor",
#                          4 PCM s16le stereo "jpn", 5 SRT "eng" (sub_plain.srt), 6 ASS (sub_styled.ass)
#   mkv_mpeg4_aac.mkv      1 MPEG-4 Part 2 (V_MPEG4/ISO/ASP, B-frames), 2 AAC-LC stereo, 3 SRT "kor"
#   mp4_h264_aac.mp4       H.264 + AAC-LC stereo + mov_text "kor" (from sub_plain.srt)
#   mov_h264_aac.mov       QuickTime: H.264 + AAC-LC stereo
#   3gp_h263_aac.3gp       3GP: H.263 176x144 + AAC-LC mono 16 kHz
#   flv_h264_aac.flv       H.264 + AAC-LC stereo 44.1 kHz
#   flv_flv1_mp3.flv       Sorenson Spark + MP3 mono 22.05 kHz
#   swf_flv1_mp3.swf       ShockWave: Sorenson Spark + MP3 mono 22.05 kHz
#   ogg_theora_vorbis.ogg  Theora + Vorbis stereo 44.1 kHz
#   mpeg_ps_mpeg2_mp2.mpg  MPEG program stream: MPEG-2 video + MP2 stereo 48 kHz
#   wmv_wmv2_wma.wmv       Windows Media: WMV2 + WMA2 stereo 44.1 kHz
#   ogm_mpeg4_vorbis.ogm   OGM (ogmmerge): stream 0 MPEG-4 Part 2 (XVID), 1 Vorbis mono 44.1 kHz
#   ogm_h264_mp3.ogm       OGM (ogmmerge): stream 0 H.264 (B-frames), 1 MP3 mono 44.1 kHz, 2 text (sub_plain.srt)
#   audio_51.ac3           AC-3 5.1 48 kHz, 2 s (a companion audio file)
#   tone_quiet.wav         PCM s16le stereo 48 kHz, 3 s, 440 Hz at -47 dBFS peak
#   noise_stereo.wav       PCM s16le stereo 48 kHz, 3 s, pink noise (a fair load for bit-rate tests)
#   sub_plain.srt          two cues, UTF-8, "<i>" markup
#   sub_styled.srt         UTF-8 with <b>, <i>, <u>, <font color> and Korean text
#   sub_styled.ass         ASS with a bold override and Korean text
# Every WAV written here has "data" right after "fmt ". ogmmerge stores the encoder's header frame
# of the MP3 as a first packet, and ffmpeg reports "Not a Vorbis I audio packet" once when it decodes
# the Vorbis stream of ogm_mpeg4_vorbis.ogm; the rest of each stream decodes normally.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out=$1
mkdir -p "$out"
cd "$out"

FFMPEG=${MARBLEWAY_SYSTEM_FFMPEG:-/usr/bin/ffmpeg}
OGMMERGE=${MARBLEWAY_SYSTEM_OGMMERGE:-/usr/bin/ogmmerge}

# ffmpeg starts slowly, so each call writes many outputs. Every output carries no metadata,
# no encoder version strings and no random IDs; one thread keeps x264 reproducible.
ff() { "$FFMPEG" -nostdin -hide_banner -loglevel error -y "$@"; }
x=(-map_metadata -1 -fflags +bitexact -flags +bitexact -threads 1)
h264=(-c:v libx264 -preset veryfast -bf 2 -g 25 -pix_fmt yuv420p)
mpeg4=(-c:v mpeg4 -bf 2 -g 25 -q:v 4)
printf '1\n00:00:00,200 --> 00:00:01,000\nHello <i>world</i>\n\n2\n00:00:01,200 --> 00:00:01,900\nSecond line\n\n' > sub_plain.srt
printf '1\n00:00:00,100 --> 00:00:00,900\n<b>Bold</b> <i>italic</i> <u>under</u>\n\n2\n00:00:01,000 --> 00:00:01,800\n<font color="#FF0000">빨간</font> 자막\n\n' > sub_styled.srt
cat > sub_styled.ass <<'ASS'
[Script Info]
ScriptType: v4.00+
PlayResX: 384
PlayResY: 288

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: Default,Arial,20,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,1

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
Dialogue: 0,0:00:00.30,0:00:01.00,Default,,0,0,0,,{\b1}Bold{\b0} text
Dialogue: 0,0:00:01.20,0:00:01.80,Default,,0,0,0,,한글 자막
ASS

# Inputs: 0 video, 1 tone 48 kHz, 2 tone 44.1 kHz, 3 tone 22.05 kHz, 4 video 176x144, 5 tone 16 kHz,
# 6 tone 48 kHz 3 s, 7 pink noise 3 s, 8 sub_plain.srt, 9 sub_styled.ass, 10 5.1 at 48 kHz whose six
# channels carry different tones (440, 550, 660, 220, 770, 880 Hz), so that each can be told apart.
ff -f lavfi -i testsrc=size=160x120:rate=25:duration=2 \
   -f lavfi -i sine=frequency=440:sample_rate=48000:duration=2 \
   -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 \
   -f lavfi -i sine=frequency=440:sample_rate=22050:duration=2 \
   -f lavfi -i testsrc=size=176x144:rate=25:duration=2 \
   -f lavfi -i sine=frequency=440:sample_rate=16000:duration=2 \
   -f lavfi -i sine=frequency=440:sample_rate=48000:duration=3 \
   -f lavfi -i anoisesrc=duration=3:color=pink:sample_rate=48000:amplitude=0.3:seed=7 \
   -i sub_plain.srt -i sub_styled.ass \
   -f lavfi -i "aevalsrc=0.5*sin(2*PI*440*t)|0.5*sin(2*PI*550*t)|0.5*sin(2*PI*660*t)|0.5*sin(2*PI*220*t)|0.5*sin(2*PI*770*t)|0.5*sin(2*PI*880*t):s=48000:d=2:c=5.1" \
   -filter_complex "[10]asplit=3[s51a][s51b][s51c]" \
   -map 0:v -map 2:a "${mpeg4[@]}" -vtag XVID -c:a libmp3lame -b:a 96k -ac 2 "${x[@]}" avi_mpeg4_mp3.avi \
   -map 0:v -map "[s51a]" "${h264[@]}" -c:a ac3 -b:a 384k "${x[@]}" avi_h264_ac3.avi \
   -map 0:v -map 1:a "${h264[@]}" -c:a pcm_s16le -ac 2 "${x[@]}" avi_h264_pcm.avi \
   -map 0:v "${mpeg4[@]}" -vtag XVID "${x[@]}" avi_noaudio.avi \
   -map 0:v -map 2:a -map 10:a "${mpeg4[@]}" -vtag XVID -c:a:0 libmp3lame -b:a:0 96k -ac:a:0 2 -c:a:1 ac3 -b:a:1 384k \
     "${x[@]}" avi_mpeg4_2audio.avi \
   -map 0:v -map "[s51b]" -map 1:a -map 1:a -map 8 -map 9 "${h264[@]}" \
     -c:a:0 ac3 -b:a:0 384k -c:a:1 aac -b:a:1 128k -ac:a:1 2 -c:a:2 pcm_s16le -ac:a:2 2 -c:s:0 srt -c:s:1 ass \
     -metadata:s:a:0 language=eng -metadata:s:a:1 language=kor -metadata:s:a:2 language=jpn \
     -metadata:s:s:0 language=eng "${x[@]}" mkv_h264_multi.mkv \
   -map 0:v -map 1:a -map 8 "${mpeg4[@]}" -c:a aac -b:a 128k -ac 2 -c:s srt -metadata:s:s:0 language=kor \
     "${x[@]}" mkv_mpeg4_aac.mkv \
   -map 0:v -map 1:a -map 8 "${h264[@]}" -c:a aac -b:a 128k -ac 2 -c:s mov_text -metadata:s:s:0 language=kor \
     "${x[@]}" mp4_h264_aac.mp4 \
   -map 0:v -map 1:a "${h264[@]}" -c:a aac -b:a 128k -ac 2 "${x[@]}" -f mov mov_h264_aac.mov \
   -map 4:v -map 5:a -c:v h263 -g 25 -c:a aac -b:a 32k -ac 1 "${x[@]}" 3gp_h263_aac.3gp \
   -map 0:v -map 2:a "${h264[@]}" -c:a aac -b:a 128k -ac 2 "${x[@]}" flv_h264_aac.flv \
   -map 0:v -map 3:a -c:v flv -g 25 -c:a libmp3lame -b:a 48k -ac 1 "${x[@]}" flv_flv1_mp3.flv \
   -map 0:v -map 3:a -c:v flv -g 25 -c:a libmp3lame -b:a 48k -ac 1 "${x[@]}" swf_flv1_mp3.swf \
   -map 0:v -map 2:a -c:v libtheora -q:v 5 -g 25 -c:a libvorbis -q:a 2 -ac 2 "${x[@]}" ogg_theora_vorbis.ogg \
   -map 0:v -map 1:a -c:v mpeg2video -bf 2 -g 12 -c:a mp2 -b:a 192k -ac 2 "${x[@]}" -f vob mpeg_ps_mpeg2_mp2.mpg \
   -map 0:v -map 2:a -c:v wmv2 -g 25 -c:a wmav2 -b:a 64k -ac 2 "${x[@]}" wmv_wmv2_wma.wmv \
   -map "[s51c]" -c:a ac3 -b:a 384k "${x[@]}" audio_51.ac3 \
   -map 6:a -af volume=0.005 -ac 2 -c:a pcm_s16le "${x[@]}" tone_quiet.wav \
   -map 7:a -ac 2 -c:a pcm_s16le "${x[@]}" noise_stereo.wav

# OGM is written by ogmmerge from an AVI video and a separate audio file.
work=$(mktemp -d "${TMPDIR:-/tmp}/make-test-media.XXXXXX")
trap 'rm -rf "$work"' EXIT
ff -f lavfi -i testsrc=size=160x120:rate=25:duration=2 -f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 \
   -map 0:v -c:v mpeg4 -bf 0 -g 25 -q:v 4 -vtag XVID "${x[@]}" "$work/v_mpeg4.avi" \
   -map 0:v "${h264[@]}" "${x[@]}" "$work/v_h264.avi" \
   -map 1:a -c:a libvorbis -q:a 2 "${x[@]}" "$work/a.ogg" \
   -map 1:a -c:a libmp3lame -b:a 64k "${x[@]}" "$work/a.mp3"
"$OGMMERGE" -q -o ogm_mpeg4_vorbis.ogm "$work/v_mpeg4.avi" "$work/a.ogg" >/dev/null
"$OGMMERGE" -q -o ogm_h264_mp3.ogm "$work/v_h264.avi" "$work/a.mp3" sub_plain.srt >/dev/null

