// The check of aligned_stack_moves.sh must see what it looks for: one
// aligned vector move to a stack slot, planted where no compiler choice can
// turn it into an unaligned one. The probe is disassembled, never run.
extern "C" __attribute__((noinline)) void PlantedAlignedMove() {
#if defined(__x86_64__)
    asm volatile("sub $40, %%rsp\n\tmovaps %%xmm0, 16(%%rsp)\n\tadd $40, %%rsp" ::: "memory");
#else
    asm volatile("sub $40, %%esp\n\tmovaps %%xmm0, 16(%%esp)\n\tadd $40, %%esp" ::: "memory");
#endif
}

int main() {
    PlantedAlignedMove();
    return 0;
}
