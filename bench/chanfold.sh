#!/usr/bin/env bash
# Times chanfold's 6-channel fold-down against the same matrix in ffmpeg's pan filter and in
# sox's remix, next to the floor no downmixer can beat: reading the whole input and writing an
# output of chanfold's size. Also shows chanfold's peak resident size for a short and a long
# input (it should not grow: two fixed buffers).
#
#   bench/chanfold.sh [build-dir]        default build-dir: build
#   BENCH_MINUTES=10  length of the long input (48 kHz, 6 channels, 16 bits: ~55 MiB a minute)
#   BENCH_REPS=5      runs per command; the best time counts
#   BENCH_DIR=/tmp    where the work folder goes (removed at the end)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
tool=$build/bin/tools/chanfold
minutes=${BENCH_MINUTES:-10}
reps=${BENCH_REPS:-5}
ffmpeg=/usr/bin/ffmpeg
sox=/usr/bin/sox
timer=/usr/bin/time

[ -x "$tool" ] || { echo "no $tool: build first (cmake --build build)" >&2; exit 1; }
for t in "$ffmpeg" "$sox"; do
  [ -x "$t" ] || { echo "no $t (apt-get install ffmpeg sox)" >&2; exit 1; }
done
if [ ! -x "$timer" ]; then
  echo "note: $timer missing (Debian package 'time'); peak memory not shown" >&2
  timer=""
fi

work=$(mktemp -d "${BENCH_DIR:-${TMPDIR:-/tmp}}/chanfold-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Six independent noise channels in the 5.1 layout; bitexact keeps ffmpeg's LIST chunk out,
# which chanfold (like the conversion engine's input) does not accept.
make_input() { # seconds file
  local graph="" inputs=""
  for i in 0 1 2 3 4 5; do
    graph+="anoisesrc=d=$1:r=48000:a=0.4:seed=$((i + 1))[a$i];"
    inputs+="[a$i]"
  done
  "$ffmpeg" -nostdin -v error -y -filter_complex "${graph}${inputs}amerge=inputs=6,aformat=channel_layouts=5.1" \
    -c:a pcm_s16le -fflags +bitexact -flags:a +bitexact "$2"
}

echo "making a ${minutes}-minute and a 10-second 48 kHz 6-channel 16-bit WAV in $work ..."
make_input $((minutes * 60)) "$work/long.wav"
make_input 10 "$work/short.wav"
in_bytes=$(stat -c %s "$work/long.wav")

L="0.268853377*c0+0.190333615*c1-0.190333615*c3-0.190333615*c4+0.160145779*c5"
R="0.190333615*c1+0.268853377*c2+0.190333615*c3+0.190333615*c4+0.160145779*c5"
SOX_L="1v0.268853377,2v0.190333615,4v-0.190333615,5v-0.190333615,6v0.160145779"
SOX_R="2v0.190333615,3v0.268853377,4v0.190333615,5v0.190333615,6v0.160145779"

# measure NAME OUTPUT COMMAND...: best of $reps runs. Sets $best (wall seconds), $cpu (user +
# system seconds; the fairer figure when other work shares the machine) and $rss (peak kB).
measure() {
  local name=$1 out=$2
  shift 2
  local best_us="" cpu_cs="" i
  rss="n/a"
  for ((i = 0; i < reps; i++)); do
    rm -f "$out"
    sync
    local t0 t1 dt
    t0=$(date +%s%N)
    if [ -n "$timer" ]; then
      "$timer" -f '%U %S %M' -o "$work/usage" "$@" >/dev/null
    else
      "$@" >/dev/null
    fi
    t1=$(date +%s%N)
    dt=$(((t1 - t0) / 1000))
    if [ -z "$best_us" ] || [ "$dt" -lt "$best_us" ]; then best_us=$dt; fi
    if [ -n "$timer" ]; then
      local u s m c
      read -r u s m < <(tail -1 "$work/usage")
      c=$(awk -v u="$u" -v s="$s" 'BEGIN { printf "%d", (u + s) * 100 + 0.5 }')
      if [ -z "$cpu_cs" ] || [ "$c" -lt "$cpu_cs" ]; then cpu_cs=$c; fi
      rss=$m
    fi
  done
  best=$(awk -v us="$best_us" 'BEGIN { printf "%.3f", us / 1e6 }')
  cpu=$(awk -v cs="${cpu_cs:-0}" 'BEGIN { printf "%.2f", cs / 100 }')
  printf '%-34s %7s s wall %6s s cpu   peak RSS %7s kB\n' "$name" "$best" "$cpu" "$rss"
}

cat "$work/long.wav" >/dev/null # input in the page cache for every contender
echo
echo "input: $in_bytes bytes"

measure "chanfold" "$work/cf.wav" "$tool" "$work/long.wav" "$work/cf.wav"
t_cf=$best c_cf=$cpu rss_long=$rss
out_bytes=$(stat -c %s "$work/cf.wav")
measure "ffmpeg -af pan" "$work/ff.wav" "$ffmpeg" -nostdin -v error -y -i "$work/long.wav" \
  -af "pan=stereo|c0=$L|c1=$R" -c:a pcm_s16le "$work/ff.wav"
t_ff=$best c_ff=$cpu
measure "sox remix" "$work/sox.wav" "$sox" -D "$work/long.wav" "$work/sox.wav" remix -m "$SOX_L" "$SOX_R"
t_sox=$best c_sox=$cpu
# The floor as one process would do it: read the input, write chanfold's output size. Measured
# as two commands, less one process start (slow on some machines, so it is shown).
measure "process start (/bin/true)" "$work/none" /bin/true
t_start=$best c_start=$cpu
measure "read input (dd)" "$work/none" dd if="$work/long.wav" of=/dev/null bs=1M status=none
t_read=$best c_read=$cpu
measure "write output size (dd)" "$work/floor.out" \
  dd if=/dev/zero of="$work/floor.out" bs=1M count="$out_bytes" iflag=count_bytes status=none
t_write=$best c_write=$cpu
t_floor=$(awk -v a="$t_read" -v b="$t_write" -v c="$t_start" 'BEGIN { printf "%.3f", a + b - c }')
c_floor=$(awk -v a="$c_read" -v b="$c_write" -v c="$c_start" 'BEGIN { printf "%.2f", a + b - c }')
printf '%-34s %7s s wall %6s s cpu\n' "floor: read + write - start" "$t_floor" "$c_floor"
measure "copy input (cat, same size)" "$work/copy.wav" sh -c 'exec cat "$1" >"$2"' sh "$work/long.wav" "$work/copy.wav"
t_copy=$best c_copy=$cpu
measure "chanfold, 10-second input" "$work/cf-short.wav" "$tool" "$work/short.wav" "$work/cf-short.wav"
rss_short=$rss

echo
ratios() { # label goals(1/0) chanfold ffmpeg sox floor copy
  awk -v label="$1" -v goals="$2" -v b="$in_bytes" -v cf="$3" -v ff="$4" -v sx="$5" -v fl="$6" -v cp="$7" 'BEGIN {
    if (cf <= 0) { printf "%s: too short to measure\n", label; exit }
    g5 = goals ? "   (goal >= 5)" : ""; g2 = goals ? "   (goal <= 2)" : ""
    printf "%s\n", label
    printf "  chanfold throughput:    %.0f MB/s of input\n", b / cf / 1e6
    printf "  ffmpeg pan / chanfold:  %.1fx%s\n", ff / cf, g5
    printf "  sox remix / chanfold:   %.1fx\n", sx / cf
    printf "  chanfold / floor:       %.2fx%s\n", cf / fl, g2
    printf "  chanfold / cat copy:    %.2fx\n", cf / cp
  }'
}
ratios "wall time" 1 "$t_cf" "$t_ff" "$t_sox" "$t_floor" "$t_copy"
# Page-cache copies are charged little cpu time, so the cpu floor is only indicative.
[ -n "$timer" ] && ratios "cpu time (user + system)" 0 "$c_cf" "$c_ff" "$c_sox" "$c_floor" "$c_copy"
echo "peak RSS, 10-second / ${minutes}-minute input: $rss_short kB / $rss_long kB"
