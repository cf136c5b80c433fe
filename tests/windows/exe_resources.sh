#!/bin/sh
# What Windows reads from quillon.exe before and beside running it:
#   - the machine type this tree builds for (pei-i386 for x86, pei-x86-64 for x64);
#   - the application manifest as resource type 24 (RT_MANIFEST), ID 1:
#     DPI aware, asInvoker, the supported Windows versions;
#   - the version resource's strings (Properties dialog, Details);
#   - the icon group 104, which the file manager shows;
#   - the program's own resources: the song and the release text as raw
#     data (RT_RCDATA), the text of exactly 10240 bytes.
#   exe_resources.sh OBJDUMP EXE ARCH VERSION
set -u
objdump=$1 exe=$2 arch=$3 version=$4
command -v wrestool >/dev/null || { echo "FAIL: wrestool (icoutils) is missing"; exit 1; }
fail=0
check() { # check DESCRIPTION CONDITION...
    what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; fail=1; fi
}

case $arch in
x86) format=pei-i386 ;;
x64) format=pei-x86-64 ;;
*) echo "FAIL: unknown architecture $arch"; exit 1 ;;
esac
check "a $format executable" [ "$("$objdump" -f "$exe" | sed -n 's/.*file format //p')" = "$format" ]

list=$(wrestool -l "$exe") || { echo "FAIL: wrestool cannot read $exe"; exit 1; }
echo "$list"
check "one manifest, type 24 ID 1" [ "$(echo "$list" | grep -c -- '--type=24 ')" = 1 ]
listed() { echo "$list" | grep -q -- "$1"; }
check "the manifest has ID 1" listed '--type=24 --name=1 '
check "the version resource is there" listed '--type=16 --name=1 '
check "the icon group 104 is there" listed '--type=14 --name=104 '
check "the song MUSIC is raw data" listed "--type=10 --name='MUSIC' "
check "the release text TEXT is raw data of 10240 bytes" listed "--type=10 --name='TEXT' .*size=10240\]"

manifest=$(wrestool -x --raw --type=24 --name=1 "$exe")
has() { echo "$manifest" | grep -q -- "$1"; }
check "manifest: DPI aware" has '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>'
check "manifest: asInvoker" has '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>'
for id in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
    4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    check "manifest: supported OS {$id}" has "<supportedOS Id=\"{$id}\"/>"
done

# The string table is UTF-16: each key is followed by its value.
strings=$(wrestool -x --raw --type=16 --name=1 "$exe" | strings -el -n 1)
value() { echo "$strings" | grep -x -A1 -- "$1" | sed -n 2p; }
for pair in "ProductName=Quillon" "OriginalFilename=quillon.exe" "InternalName=quillon" \
    "FileVersion=$version" "ProductVersion=$version" \
    "FileDescription=Quillon, a full-screen presentation with its own music player" \
    "LegalCopyright=Copyright (C) 2026 the Quillon developers" "CompanyName=Quillon developers"; do
    key=${pair%%=*} expected=${pair#*=}
    got=$(value "$key")
    check "version: $key is \"$expected\" (got \"$got\")" [ "$got" = "$expected" ]
done
exit $fail
