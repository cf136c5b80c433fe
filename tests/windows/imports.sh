#!/bin/sh
# imports.sh OBJDUMP EXE...: every DLL an executable imports must be one that
# every Windows has (the system's, and msvcrt or the UCRT's api sets).
set -u
objdump=$1
shift
fail=0
for exe in "$@"; do
    dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort -u)
    [ -n "$dlls" ] || { echo "FAIL: no import table read from $exe"; fail=1; continue; }
    for dll in $dlls; do
        case $dll in
        KERNEL32.DLL | USER32.DLL | GDI32.DLL | DDRAW.DLL | WINMM.DLL | MSVCRT.DLL | API-MS-WIN-CRT-*.DLL) ;;
        *) echo "FAIL: $(basename "$exe") imports $dll"; fail=1 ;;
        esac
    done
    echo "$(basename "$exe"): $(echo $dlls)"
done
exit $fail
