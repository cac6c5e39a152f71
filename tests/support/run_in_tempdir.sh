#!/usr/bin/env bash
# Runs a test program from a folder of its own, made for this run and removed afterwards. A
# program looks for its database in its own folder, so no two test programs ever share one.
#   run_in_tempdir.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
program=$1
shift
dir=$(mktemp -d "${TMPDIR:-/tmp}/zuk-test.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cp "$program" "$dir/"
cd "$dir"
"./$(basename "$program")" "$@"
