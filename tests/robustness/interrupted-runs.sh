#!/usr/bin/env bash
# Runs the interrupted-run test with its output in a file, so that a Wine
# process that lingers after being ended holds only that file open, not the
# pipe of whoever waits for this script.
#
#   interrupted-runs.sh TEST_EXE WORK_DIR
set -uo pipefail
tests=$1 work=$2
mkdir -p "$work"
log=$work/interrupted-runs.log
wine "$tests" </dev/null >"$log" 2>&1
status=$?
cat "$log"
exit $status
