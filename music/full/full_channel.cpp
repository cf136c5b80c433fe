// The full player's state and the operations on a channel that both the
// row handling (full_engine.cpp) and the effects (full_effects.cpp) use.
#include "music/full/full_engine.h"

FullPlayer fullPlayer;

const Instrument* FullInstrument(const Module* song, const FullChannel* channel) {
    if (channel->instrument < 0 || channel->instrument >= song->instrumentCount || !song->instruments)
        return nullptr;
    return &song->instruments[channel->instrument];
}

void KeyOff(Module* song, FullChannel* channel) {
    channel->keyOff = true;
    const Instrument* instrument = FullInstrument(song, channel);
    if (!instrument || !(instrument->volumeType & ENVELOPE_ON))
        channel->volume = 0;
}

void Retrigger(FullChannel* channel) {
    channel->trigger = true;
    channel->startOffset = 0;
}

void ResetFullPlayer() {
    for (FullChannel& channel : fullPlayer.channels) {
        channel = FullChannel{};
        channel.instrument = -1;
        channel.sample = &emptySample;
        channel.fadeout = FADEOUT_START;
        channel.panning = 128;
    }
    fullPlayer.patternDelay = 0;
    fullPlayer.repeatingRow = false;
}
