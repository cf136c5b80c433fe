#include "tools/song/song_pass.h"

#include "music/audio_output.h"
#include "music/module.h"

PassResult PlaySongPass(int64_t framesWanted, int64_t longestFrames,
                        const std::function<bool(const PassBlock&)>& take) {
    PassResult result;
    const Module* song = output.song;
    if (!song)
        return result;
    const int32_t blockCount = BlockCount();
    const uint32_t blockBytes = static_cast<uint32_t>(output.blockFrames) * 4;
    // The block (counted from the start) in which the song turns back to its
    // restart position; the pre-fill has mixed blocks 0 .. blockCount - 1.
    int64_t loopBlock = -1;
    int64_t lastPosition = static_cast<int64_t>(song->orderPosition) * 256 + song->row;
    for (int64_t k = 0;; ++k) {
        const int32_t index = static_cast<int32_t>(k % blockCount);
        int64_t frames = output.blockFrames;
        if (framesWanted >= 0 && framesWanted - result.frames < frames)
            frames = framesWanted - result.frames;
        const PassBlock block{OutputRing() + static_cast<size_t>(index) * output.blockFrames * 2, MixArea(index),
                              frames};
        result.frames += frames;
        if (!take(block))
            break;
        if (framesWanted >= 0 ? result.frames >= framesWanted : (loopBlock >= 0 && k >= loopBlock))
            break;
        if (result.frames >= longestFrames)
            break;
        // The device moves into the next block: the feeder refills this one
        // with the music one ring later.
        FeederPass(static_cast<uint32_t>((k + 1) * blockBytes));
        const int64_t position = static_cast<int64_t>(song->orderPosition) * 256 + song->row;
        if (loopBlock < 0 && position < lastPosition)
            loopBlock = k + blockCount;
        lastPosition = position;
    }
    result.looped = loopBlock >= 0;
    if (result.looped)
        result.loopSeconds = static_cast<double>((loopBlock + 1) * output.blockFrames) / output.rate;
    return result;
}
