#include "platform/crt_rand.h"

namespace {
uint32_t crtSeed = 1;
}

void CrtSrand(uint32_t seed) { crtSeed = seed; }

int CrtRand() {
    crtSeed = crtSeed * 214013u + 2531011u;
    return static_cast<int>((crtSeed >> 16) & 0x7FFFu);
}
