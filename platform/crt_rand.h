// The standard pseudo-random generator of the Windows C runtime: a linear
// congruential generator whose draws are 0..32767. Used on every platform so
// that runs seeded alike place the stars alike everywhere.
#pragma once

#include <cstdint>

constexpr int CRT_RAND_MAX = 32767;

void CrtSrand(uint32_t seed);
// seed = seed * 214013 + 2531011; draw = (seed >> 16) & 0x7FFF.
int CrtRand();
