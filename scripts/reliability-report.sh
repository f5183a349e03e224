#!/usr/bin/env bash
# Writes docs/RELIABILITY.md from what the suites measured, never from numbers typed by hand:
#   - runs the end-to-end suite (ctest label e2e) in the build folder, which leaves one
#     figures file per test case in BUILD/reliability/ (tests/e2e/E2eSupport.cpp, addFigure)
#     and a JUnit file with every test's result;
#   - reads FUZZ_OUT/results.tsv, written by scripts/fuzz.sh.
#
# Usage: scripts/reliability-report.sh [--no-run] [BUILD_DIR]
#   --no-run    use the figures and results of the last run instead of running the suite
# Environment: FUZZ_OUT (default fuzz-out).
set -euo pipefail
cd "$(dirname "$0")/.."

run=1
if [ "${1:-}" = "--no-run" ]; then run=0; shift; fi
build=${1:-build}
fuzz=${FUZZ_OUT:-fuzz-out}/results.tsv
figures=$build/reliability
junit=$build/reliability-e2e.xml
report=docs/RELIABILITY.md

if [ "$run" -eq 1 ]; then
  rm -rf "$figures"
  (cd "$build" && ctest -L e2e -j"$(nproc)" --timeout 600 --output-junit "$PWD/reliability-e2e.xml" >/dev/null) || true
fi
[ -d "$figures" ] || { echo "no figures in $figures: build and run the e2e tests first" >&2; exit 2; }

# Sum of one figure over the test cases whose file name matches a pattern.
sum() { # key [file-pattern]
  cat "$figures"/${2:-*}.tsv 2>/dev/null | awk -F'\t' -v k="$1" '$1 == k { s += $2 } END { print s + 0 }'
}
# Passed and run counts of the tests whose name matches an extended regex, from the JUnit file.
results() { # regex
  [ -f "$junit" ] || { echo "?/?"; return; }
  grep -oE '<testcase name="[^"]*"[^>]*status="[a-z]+"' "$junit" | grep -E "name=\"($1)" |
    awk '{ n++ } /status="run"/ { ok++ } /status="(skipped|disabled|notrun)"/ { skip++ }
         END { printf "%d of %d passed", ok, n; if (skip) printf " (%d skipped)", skip }'
}

names=$(sum hostile_source_names)
names_refused=$(sum hostile_source_names_refused)
names_converted=$(sum hostile_source_names_converted)
folders=$(sum hostile_folder_names)
folders_refused=$(sum hostile_folder_names_refused)
folders_converted=$(sum hostile_folder_names_converted)
faults=$(sum faults_tried)
runs=$(sum runs)
checked=$(sum source_files_checksummed)
changed=$(sum source_files_changed)
fixed_regressions=$( (grep -rho 'Fuzz finding' tests || true) | wc -l)

{
  echo "# Reliability"
  echo
  echo "Written by \`scripts/reliability-report.sh\` from the figures the suites record; do not edit by hand."
  echo "Generated $(date -u '+%Y-%m-%d %H:%M UTC') from commit $(git rev-parse --short HEAD 2>/dev/null || echo '?')."
  echo
  echo "## Hostile names (tests/e2e/e2e_hostile_names.cpp)"
  echo
  echo "| What | Tried | Refused | Accepted and converted | Tests passed |"
  echo "|---|---|---|---|---|"
  echo "| Source names | $names | $names_refused | $names_converted | $(results 'Half/E2eHostileNames.SourceNames') |"
  echo "| Save and temporary folder names | $folders | $folders_refused | $folders_converted | $(results 'Half/E2eHostileNames.FolderNames') |"
  echo
  echo "A refused source name is refused when it is added and counted in the message; a refused save folder stops the"
  echo "run before anything runs; a refused temporary folder is replaced by the default one."
  echo
  echo "Asserted by the tests above: each accepted name converts to its \"[Qor] \" file, each refused one is counted in"
  echo "the message, and the canary file PWNED never appears."
  echo
  echo "## Faults (tests/e2e/e2e_faults.cpp)"
  echo
  echo "Each outside tool in turn missing, exiting at once, crashing, writing a truncated file, hanging until Stop and"
  echo "flooding its output; a read-only and a full save folder; a source deleted after listing; sources that are not media."
  echo
  echo "| Faults tried | Tests passed |"
  echo "|---|---|"
  echo "| $faults | $(results 'E2eFaults|EachTool/E2eToolFaults') |"
  echo
  echo "Asserted in each: the row's status text, the next row converted (or kept \"대기중\" after Stop), no process left,"
  echo "no temporary file left (kept with \"임시파일 유지\")."
  echo
  echo "## Source integrity (every end-to-end run)"
  echo
  echo "| marbleway-cli runs | Source files checksummed before and after | Changed or lost |"
  echo "|---|---|---|"
  echo "| $runs | $checked | $changed |"
  echo
  echo "All end-to-end tests: $(results '.')."
  echo
  echo "## Fuzzing (scripts/fuzz.sh, libFuzzer with ASan and UBSan)"
  echo
  if [ -f "$fuzz" ]; then
    echo "| Target | Seconds | Executions | Corpus | Findings in the last run | Date |"
    echo "|---|---|---|---|---|---|"
    sort "$fuzz" | awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5, $6 }'
    echo
    echo "Total executions: $(awk -F'\t' '{ s += $3 } END { print s + 0 }' "$fuzz")."
  else
    echo "No fuzz results yet (run \`scripts/fuzz.sh SECONDS\`)."
  fi
  echo
  echo "Findings fixed, each with a regression test marked \"Fuzz finding\": $fixed_regressions."
} >"$report"
echo "wrote $report"
