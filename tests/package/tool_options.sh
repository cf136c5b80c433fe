#!/bin/sh
# tool_options.sh TOOL...
# Every tool answers alike: --help prints the usage on stdout and exits 0,
# --version prints "NAME (Quillon) VERSION" and exits 0, and a wrong option
# prints the usage on stderr (and nothing on stdout) and exits 2.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for tool in "$@"; do
    name=$(basename "$tool")
    "$tool" --help >"$work/out" 2>"$work/err"
    code=$?
    { [ $code -eq 0 ] && grep -q "^usage: $name" "$work/out" && [ ! -s "$work/err" ]; } ||
        { echo "FAIL: $name --help: exit $code, stdout: $(head -c 80 "$work/out")"; status=1; }
    "$tool" --version >"$work/out" 2>"$work/err"
    code=$?
    { [ $code -eq 0 ] && grep -q "^$name (Quillon) [0-9]" "$work/out"; } ||
        { echo "FAIL: $name --version: exit $code, stdout: $(cat "$work/out")"; status=1; }
    "$tool" --no-such-option x y >"$work/out" 2>"$work/err"
    code=$?
    { [ $code -eq 2 ] && grep -q "usage: $name" "$work/err" && [ ! -s "$work/out" ]; } ||
        { echo "FAIL: $name --no-such-option: exit $code, stderr: $(head -c 80 "$work/err")"; status=1; }
done
[ $status -eq 0 ] && echo "ok: $# tools"
exit $status
