// Periods and frequencies, shared by both players: a note's period under the
// song's frequency table, and the frequency in Hz a period plays at.
#pragma once

#include <cstdint>

struct Module;

// Period of a real note (0-based, after relativeNote) under the song's table:
// linear 7680 - 64 * note - finetune / 2; Amiga from the period table with
// finetune interpolation, in units where C-4 (note 48) finetune 0 is 1712.
int32_t NotePeriod(const Module* song, uint8_t realNote, int8_t finetune);

// Hz of a period with this tick's offset, never below 100: linear
// 8363 * 2^((4608 - period + offset) / 768) (the offset raises the pitch),
// Amiga 14317056 / (period + offset), truncated; period + offset must not
// be 0. The mixer holds it below its top step.
double PeriodFrequency(const Module* song, int32_t period, int32_t offset);
