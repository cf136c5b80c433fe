#!/bin/sh
# zip_contents.sh ZIP X86_EXE: the zip for users holds the 64-bit quillon.exe
# (the one every test here runs), README.txt, and quillon-x86.exe, the
# 32-bit program, exactly when a 32-bit tree was given (X86_EXE not empty);
# each exe is a Windows GUI program of its machine type.
set -u
zip=$1
x86=$2
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$dir" || {
    echo "FAIL: cannot read $zip"; exit 1; }
want="README.txt quillon.exe"
[ -n "$x86" ] && want="README.txt quillon-x86.exe quillon.exe"
got=$(cd "$dir" && ls | sort | tr '\n' ' ' | sed 's/ $//')
fail=0
[ "$got" = "$want" ] || { echo "FAIL: the zip holds '$got', not '$want'"; fail=1; }
check() { # FILE PATTERN
    [ -f "$dir/$1" ] || return 0
    kind=$(file -b "$dir/$1")
    echo "$1: $kind"
    echo "$kind" | grep -q "$2" || { echo "FAIL: $1 is not $2"; fail=1; }
}
check quillon.exe 'PE32+ executable (GUI) x86-64'
check quillon-x86.exe 'PE32 executable (GUI) Intel 80386'
grep -q 'quillon.exe' "$dir/README.txt" && grep -q 'Run anyway' "$dir/README.txt" ||
    { echo "FAIL: README.txt does not say which exe to start and how past SmartScreen"; fail=1; }
exit $fail
