#!/usr/bin/env bash
# Builds every libFuzzer target with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# them all for a chosen time each.
#
# Usage: scripts/fuzz.sh SECONDS [TARGET...]
#   SECONDS   run time of each target (libFuzzer -max_total_time)
#   TARGET    fuzz_* names to run (default: every target the build makes)
# Environment:
#   FUZZ_JOBS=N        targets run side by side (default 2), each under nice -n 19
#   FUZZ_BUILD=DIR     build folder (default build-fuzz)
#   FUZZ_OUT=DIR       where corpora, findings and results go (default fuzz-out)
#
# Each target keeps its corpus in FUZZ_OUT/corpus/TARGET (seeded from the test fixtures the
# first time) and writes crashing inputs to FUZZ_OUT/findings/TARGET/. The run ends with one
# line per target: executions, corpus size, findings; FUZZ_OUT/results.tsv holds the same
# figures, which scripts/reliability-report.sh puts into docs/RELIABILITY.md.
# Exit status: 0 when no target found anything, 1 otherwise, 2 for a usage or build error.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]] || [ "$1" -lt 1 ]; then
  sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
seconds=$1
shift
jobs=${FUZZ_JOBS:-2}
build=${FUZZ_BUILD:-build-fuzz}
out=${FUZZ_OUT:-fuzz-out}
mkdir -p "$out"
out=$(cd "$out" && pwd)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARBLEWAY_FUZZ=ON -DMARBLEWAY_TESTS=OFF \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >"$out/configure.log" 2>&1 \
  || { cat "$out/configure.log" >&2; exit 2; }
# Every fuzz_*.cpp is one target (fuzz/, and the ones chanfold and the adapters register).
if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(find fuzz chanfold adapters -name 'fuzz_*.cpp' -printf '%f\n' | sed 's/\.cpp$//' | sort)
fi
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets" >&2; exit 2; }
nice -n 19 cmake --build "$build" -j"$jobs" --target "${targets[@]}" >"$out/build.log" 2>&1 \
  || { tail -50 "$out/build.log" >&2; exit 2; }

# Seed inputs per target, from the fixtures the unit tests already use.
seeds() {
  case $1 in
    fuzz_ass) ls tests/subtitles_text/fixtures/*.ass tests/subtitles_text/fixtures/*.ssa ;;
    fuzz_sami) ls tests/subtitles_text/fixtures/*.smi ;;
    fuzz_srt) ls tests/subtitles_text/fixtures/*.srt ;;
    fuzz_subtitle_text) ls tests/subtitles_text/fixtures/* ;;
    fuzz_media_report) ls tests/probe/reports/*.txt ;;
    fuzz_ttxt) ls tests/subtitles_ttxt/data/*.ttxt ;;
    fuzz_mp4box) ls tests/subtitles_ttxt/data/*.ttxt tests/subtitles_text/fixtures/*.srt ;;
  esac 2>/dev/null
}

seed_script() {
  # Scripts exactly as the converter writes them.
  local dir=$1
  printf '@echo off\r\nchcp 949\r\n"/opt/tools/ffmpeg" -i "/home/u/a b.avi" -vn "/tmp/w/temp.wav"\r\n' >"$dir/seed1"
  printf '@echo off\r\nchcp 949\r\n"/opt/tools/MediaInfo" -f "/m/x.mkv" > "/tmp/w/mediainfo.txt"\r\n' >"$dir/seed2"
  printf '@echo off\r\nchcp 949\r\npushd "/tmp/w"\r\nset FFMPEG_DATADIR=/opt/tools/presets\r\ndel "/tmp/w/x.log"\r\n"/opt/tools/ffmpeg" -pass 1 "a"\r\n' >"$dir/seed3"
}

run_target() {
  local t=$1 corpus=$out/corpus/$1 findings=$out/findings/$1 log=$out/logs/$1.log
  mkdir -p "$corpus" "$findings" "$out/logs"
  touch "$out/logs/$t.start"
  if [ -z "$(ls -A "$corpus")" ]; then
    seeds "$t" | while read -r f; do cp "$f" "$corpus/"; done
    [ "$t" = fuzz_script ] && seed_script "$corpus"
  fi
  local dict=()
  for d in "fuzz/${t#fuzz_}.dict" "fuzz/$t.dict"; do
    [ -f "$d" ] && dict=(-dict="$root/$d") && break
  done
  # A finding stops a target early; the next run goes on from the corpus.
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    nice -n 19 "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
      -timeout=25 -artifact_prefix="$findings/" "${dict[@]}" "$corpus" >"$log" 2>&1
  local status=$?
  local execs corpus_size found
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  corpus_size=$(find "$corpus" -type f | wc -l)
  found=$(find "$findings" -type f -newer "$out/logs/$t.start" | wc -l)
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$t" "$seconds" "${execs:-0}" "$corpus_size" "$found" "$status" >"$out/logs/$t.result"
}

running=0
for t in "${targets[@]}"; do
  if [ ! -x "$build/fuzz/$t" ]; then
    echo "no such target: $t" >&2
    exit 2
  fi
  rm -f "$out/logs/$t.result"
  run_target "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

# results.tsv keeps the latest figures of every target ever run here.
results=$out/results.tsv
touch "$results"
status=0
printf '%-22s %14s %8s %9s\n' target executions corpus findings
for t in "${targets[@]}"; do
  line=$(cat "$out/logs/$t.result" 2>/dev/null) || { echo "$t: no result (see $out/logs/$t.log)" >&2; status=1; continue; }
  IFS=$'\t' read -r _ secs execs corpus found exit_status <<<"$line"
  printf '%-22s %14s %8s %9s\n' "$t" "$execs" "$corpus" "$found"
  [ "$found" -gt 0 ] || [ "$exit_status" -ne 0 ] && status=1
  grep -v "^$t	" "$results" >"$results.new" || true
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$t" "$secs" "$execs" "$corpus" "$found" "$(date -u +%Y-%m-%d)" >>"$results.new"
  mv "$results.new" "$results"
done
[ "$status" -eq 0 ] || echo "findings and logs: $out/findings/, $out/logs/" >&2
exit $status
