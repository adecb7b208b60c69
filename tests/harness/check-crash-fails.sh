#!/usr/bin/env bash
# The harness's own test: check-crash-fails.sh WINE_TEST PROGRAM
#
# PROGRAM (crash_after_summary) prints a passing summary and then ends the wine process by
# SIGSEGV, on its first run only. Through WINE_TEST that run must fail, the program must have
# run once, and the crash must not pass for Wine's own crash at exit that the harness names;
# the same program that does not crash must pass.
set -u
wine_test=$1 program=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"  # a core dump of the crashes lands here
result=0
for mode in stack overrun; do
  marker="$scratch/$mode.ran"
  "$wine_test" "$program" "$mode" "Z:$marker" >"$scratch/out" 2>&1
  status=$?
  rm -f "$scratch"/core*
  if ! grep -q '^\[  PASSED  \] 1 test\.' "$scratch/out"; then
    echo "$mode: the program printed no passing summary:"; cat "$scratch/out"; result=1
  elif [ "$status" -eq 0 ]; then
    echo "$mode: a run that crashed after its passing summary passed:"; cat "$scratch/out"; result=1
  elif [ "$(grep -c '^\[  PASSED  \]' "$scratch/out")" -ne 1 ]; then
    echo "$mode: the program ran more than once:"; cat "$scratch/out"; result=1
  elif ! grep -qE "is not Wine's known one|no core dump" "$scratch/out"; then
    # With a core dump the harness compares the crash with Wine's one named crash, and must
    # tell this one apart; without one it must say so.
    echo "$mode: the harness did not judge the crash:"; cat "$scratch/out"; result=1
  else
    echo "$mode: the crash failed the run (status $status)"
  fi
  # The marker now exists: the same program ends normally, and that passes.
  if ! "$wine_test" "$program" "$mode" "Z:$marker" >"$scratch/out" 2>&1; then
    echo "$mode: a run that ended normally failed:"; cat "$scratch/out"; result=1
  fi
done
exit $result
