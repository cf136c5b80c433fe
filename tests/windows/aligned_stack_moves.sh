#!/bin/sh
# aligned_stack_moves.sh OBJDUMP EXE...: no aligned vector move may address
# the stack. Windows aligns a thread's stack to 16 bytes on x64 and only to 4
# on x86, while GCC for MinGW-w64 may assume more for a spilled vector (32
# bytes for AVX, 16 on x86); an aligned move to such a slot faults on
# Windows only, and only when the stack happens to sit badly. Debian's
# MinGW-w64 compilers are patched to emit unaligned moves there; this keeps
# it so, whatever compiler or flags build the exes.
#
# Every movaps/movapd/movdqa (and their VEX/EVEX forms, and the non-temporal
# stores, which need alignment too) whose memory operand is based on the
# stack or frame pointer is listed with the function it is in; the exit
# status is 1 when there is any.
#
# aligned_stack_moves.sh --planted OBJDUMP PROBE.exe checks the check: the
# probe holds one such move, planted with inline assembly in the function
# PlantedAlignedMove, and the status is 0 only when that move is found.
set -u
if [ "$1" = --planted ]; then
    out=$(sh "$0" "$2" "$3")
    status=$?
    echo "$out"
    if [ $status -eq 1 ] && echo "$out" | grep -q 'PlantedAlignedMove.*movaps'; then
        echo "the planted move is found"
        exit 0
    fi
    echo "FAIL: the planted aligned move in PlantedAlignedMove was not found"
    exit 1
fi
objdump=$1
shift
fail=0
for exe in "$@"; do
    found=$("$objdump" -d --no-show-raw-insn "$exe" | awk '
        /^[0-9a-f]+ <.*>:$/ { name = $2; next }
        {
            line = $0
            sub(/^[ \t]*[0-9a-f]+:[ \t]*/, "", line)
            split(line, part, /[ \t]+/)
            if (part[1] !~ /^v?mov(aps|apd|dqa|dqa32|dqa64|ntps|ntpd|ntdq)$/) next
            if (line ~ /\(%[re]?(sp|bp)[,)]/) print "  " name " " line
        }')
    if [ -n "$found" ]; then
        echo "FAIL: $(basename "$exe") has aligned vector moves on the stack:"
        echo "$found" | head -20
        fail=1
    else
        echo "$(basename "$exe"): no aligned vector move on the stack"
    fi
done
exit $fail
