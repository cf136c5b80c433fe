#include "music/pitch.h"

#include <cmath>

#include "music/module.h"

namespace {

constexpr int32_t LINEAR_BASE_PERIOD = 7680;
constexpr int32_t LINEAR_PERIOD_PER_NOTE = 64;
constexpr int64_t MIN_FREQUENCY = 100;
constexpr int64_t AMIGA_CLOCK = 14317056;
constexpr double LINEAR_BASE_FREQUENCY = 8363.0;
constexpr float LINEAR_FREQUENCY_PERIOD = 4608.0f;
constexpr float LINEAR_OCTAVE_RECIPROCAL = 0.0013020834f; // 1 / 768

// The Amiga period table of the format: 12 notes of 8 finetune steps each,
// one octave, index 8 being C at finetune 0 (856) and index 0 the B below
// it. Values for the octave of C-4 are these times 2.
// clang-format off
constexpr int16_t AMIGA_PERIODS[96] = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814,
    808, 802, 796, 791, 785, 779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725,
    720, 715, 709, 704, 699, 694, 689, 684, 678, 675, 670, 665, 660, 655, 651, 646,
    640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592, 588, 584, 580, 575,
    570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513,
    508, 505, 502, 498, 494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457};
// clang-format on
// Table values scaled so that real note 0 (C-0) is 32 times the table's C
// and C-4 comes out at 1712, the period PeriodFrequency's 14317056 / period
// turns into 8363 Hz.
constexpr int32_t AMIGA_SCALE = 32;

// The table entry at eighth-semitone step q (0 = C-0 at finetune -128),
// shifted down one octave per 96 steps.
int32_t AmigaStep(int32_t q) { return (AMIGA_PERIODS[q % 96] * AMIGA_SCALE) >> (q / 96); }

} // namespace

int32_t NotePeriod(const Module* song, uint8_t realNote, int8_t finetune) {
    if (song->flags & FLAG_LINEAR_TABLE)
        return LINEAR_BASE_PERIOD - LINEAR_PERIOD_PER_NOTE * realNote - finetune / 2;
    // Amiga table: eighth-semitone steps from the table, the finetune's low
    // four bits interpolating between neighbouring steps.
    int32_t q = realNote * 8 + (finetune >> 4) + 8;
    int32_t fraction = finetune & 15;
    return (AmigaStep(q) * (16 - fraction) + AmigaStep(q + 1) * fraction) / 16;
}

double PeriodFrequency(const Module* song, int32_t period, int32_t offset) {
    if (song->flags & FLAG_LINEAR_TABLE) {
        double exponent = (static_cast<double>(LINEAR_FREQUENCY_PERIOD) - period + offset) *
                          static_cast<double>(LINEAR_OCTAVE_RECIPROCAL);
        double hz = LINEAR_BASE_FREQUENCY * std::pow(2.0, exponent);
        // Handed on untruncated: the mixer holds a pitch beyond its top step
        // (even one beyond every integer) there.
        return hz < static_cast<double>(MIN_FREQUENCY) ? static_cast<double>(MIN_FREQUENCY) : hz;
    }
    // The sum is not 0 (the callers never ask for it); a negative one gives the floor.
    int64_t frequency = AMIGA_CLOCK / (int64_t{period} + offset);
    return static_cast<double>(frequency < MIN_FREQUENCY ? MIN_FREQUENCY : frequency);
}
