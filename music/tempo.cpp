#include "music/tempo.h"

#include <cstdint>

#include "music/mixer.h"
#include "music/module.h"

void SetTempo(Module* song, int bpm) {
    song->bpm = bpm;
    // Effect F and the loader keep the tempo in range; held here as well, so
    // that no tempo can make a tick of zero frames.
    if (bpm < MIN_BPM)
        bpm = MIN_BPM;
    if (bpm > MAX_BPM)
        bpm = MAX_BPM;
    // The constants are single precision, the arithmetic wider: so 42 BPM
    // gives 2625 frames, the whole part of 44100 * 2.5 / 42, not 2624.
    double frames = 1000.0 / (bpm * static_cast<double>(0.4f)) * mixer.rate * static_cast<double>(0.001f);
    int32_t perTick = static_cast<int32_t>(frames);
    song->samplesPerTick = perTick < 1 ? 1 : perTick;
}
