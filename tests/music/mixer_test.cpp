// UpdateVoice and the mixer: steps, ramps, loops, panning, conversion.
// Levels are written in the small player's steps of 1/255 of full gain
// (Step), with the mixer at the small player's ramp resolution.
#include <cmath>
#include <cstring>
#include <string>

#include "music/effects.h"
#include "tests/music/music_fixture.h"

namespace {

// A hand-made sample: the values, then 8 spare values with the guard the
// loader would write after the loop.
struct TestSample {
    std::vector<int16_t> values;
    Sample sample{};

    TestSample(std::vector<int16_t> v, uint8_t loopType = LOOP_NONE, uint32_t loopStart = 0, uint32_t loopLength = 0)
        : values(std::move(v)) {
        uint32_t length = static_cast<uint32_t>(values.size());
        values.resize(length + SAMPLE_SPARE_VALUES, 0);
        sample.data = values.data();
        sample.length = length;
        sample.loopType = loopType;
        sample.loopStart = loopType == LOOP_NONE ? 0 : loopStart;
        sample.loopLength = loopType == LOOP_NONE ? length : loopLength;
        sample.bits = 16;
        uint32_t end = sample.loopStart + sample.loopLength;
        if (loopType == LOOP_FORWARD)
            values[end] = values[loopStart];
        if (loopType == LOOP_PINGPONG)
            values[end] = values[end - 1];
    }
};

std::vector<int16_t> Ramp(int count, int scale) {
    std::vector<int16_t> v;
    for (int i = 0; i < count; ++i)
        v.push_back(static_cast<int16_t>(i * scale));
    return v;
}

// `steps` of 1/255 of full gain in voice levels.
constexpr int32_t Step(int32_t steps) { return steps * (VOICE_LEVEL_FULL / 255); }

class MixerTest : public MusicTest {
protected:
    // Voice 0 playing `sample` at a settled volume of `volume` steps on both sides.
    Voice& Settled(const Sample* sample, uint32_t stepInteger, uint32_t stepFraction, int32_t volume = 255) {
        Voice& v = mixer.voices[0];
        v.sample = sample;
        v.stepInteger = stepInteger;
        v.stepFraction = stepFraction;
        v.direction = DIRECTION_FORWARD;
        v.leftVolume = v.rightVolume = Step(volume);
        v.rampLeftTarget = v.rampRightTarget = Step(volume);
        v.levelLeft = v.levelRight = Step(volume) * 256;
        return v;
    }
    std::vector<float> Mix(int32_t frames) {
        std::vector<float> buffer(2 * static_cast<size_t>(frames), 0.0f);
        MixVoices(buffer.data(), frames);
        return buffer;
    }
    Module linear{};
    Module amiga{};
    void SetUp() override {
        MusicTest::SetUp();
        mixer.rampShift = RAMP_COARSE;
        linear.flags = FLAG_LINEAR_TABLE;
        linear.globalVolume = 64;
        amiga.flags = 0;
        amiga.globalVolume = 64;
    }
};

struct StepCase {
    const char* name;
    bool linearTable;
    int32_t period;
    int32_t periodOffset;
    uint32_t stepInteger;
    uint32_t stepFraction;
};

const StepCase stepTestCases[] = {
    StepCase{"Linear4608Is8363Hz", true, 4608, 0, 0, 814485521u},
    StepCase{"OctaveUpIs16726Hz", true, 3840, 0, 0, 1628971042u},
    StepCase{"PositiveOffsetRaisesLinear", true, 4608 + 768, 768, 0, 814485521u},
    StepCase{"LowFrequencyRaisedTo100Hz", true, 20000, 0, 0, 9739154u},
    StepCase{"HighestHeldBelow256", true, -100000, 0, 255, 4294869904u},
    StepCase{"Amiga1712Is8362Hz", false, 1712, 0, 0, 814388129u},
    StepCase{"AmigaOffsetLowers", false, 1712 - 856, 856, 0, 814388129u},
    StepCase{"AmigaNegativePeriodIs100Hz", false, -5, 0, 0, 9739154u},
    StepCase{"AmigaPeriodOneHeldBelow256", false, 1, 0, 255, 4294869904u},
    StepCase{"ZeroSumLeavesTheStep", true, 100, -100, 7, 7},
    StepCase{"AmigaZeroSumLeavesTheStep", false, 0, 0, 7, 7},
};

class StepTest : public MixerTest {
protected:
    void Check(const StepCase& c);
};

TEST_F(StepTest, FrequencyBecomesAStepPerOutputFrame) {
    for (const StepCase& c : stepTestCases) {
        SCOPED_TRACE(c.name);
        ResetCase();
        Check(c);
    }
}

void StepTest::Check(const StepCase& c) {
    Channel& channel = playback.channels[0];
    channel.period = c.period;
    channel.periodOffset = c.periodOffset;
    channel.pending = PENDING_FREQUENCY;
    mixer.voices[0].stepInteger = 7; // what an update that is dropped leaves
    mixer.voices[0].stepFraction = 7;
    UpdateVoice(0, &playback.channels[0], &emptySample, c.linearTable ? &linear : &amiga);
    EXPECT_EQ(mixer.voices[0].stepInteger, c.stepInteger);
    EXPECT_EQ(mixer.voices[0].stepFraction, c.stepFraction);
}

// Expected fractions are (f mod 44100) * 2^32 / 44100.
TEST_F(MixerTest, EightThousandHertzStepsThroughTheSampleAtItsRate) {
    // 8363 / 44100 frames per output frame: after 44100 frames, 8363 frames
    // less at most the fraction lost to truncating the step.
    TestSample s(Ramp(20000, 1));
    Settled(&s.sample, 0, 814485521u);
    Mix(44100);
    EXPECT_EQ(mixer.voices[0].position, 8362u);
    EXPECT_GT(mixer.voices[0].positionFraction, 0xFFFF0000u);
}

struct VolumeCase {
    int32_t volume, envelope, fadeout, global, panning;
    int32_t voiceVolume, left, right;
};

const VolumeCase voiceVolumeTestCases[] = {
    VolumeCase{64, 64, 65536, 64, 128, 127, 63, 63},
    // split at 128
    VolumeCase{64, 64, 65536, 64, 255, 127, 127, 0},
    // left only
    VolumeCase{64, 64, 65536, 64, 0, 127, 0, 127},
    // right only
    VolumeCase{32, 64, 65536, 64, 128, 63, 31, 31},
    VolumeCase{64, 64, 32768, 64, 255, 63, 63, 0},
    VolumeCase{64, 0, 65536, 64, 255, 0, 0, 0},
    // keyed off
    VolumeCase{80, 64, 65536, 64, 300, 159, 159, 0},
    // C50; panning held at 255
    VolumeCase{64, 64, 65536, 64, -4, 127, 0, 127},
};

class VoiceVolumeTest : public MixerTest {
protected:
    void Check(const VolumeCase& c);
};

TEST_F(VoiceVolumeTest, VolumeAndPanningSplit) {
    for (const VolumeCase& c : voiceVolumeTestCases) {
        SCOPED_TRACE(::testing::Message() << c.volume << " " << c.panning);
        ResetCase();
        Check(c);
    }
}

void VoiceVolumeTest::Check(const VolumeCase& c) {
    Channel& channel = playback.channels[0];
    channel.volume = c.volume;
    channel.envelopeVolume = c.envelope;
    channel.fadeoutVolume = c.fadeout;
    channel.panning = c.panning;
    channel.pending = PENDING_VOLUME | PENDING_PANNING;
    linear.globalVolume = c.global;
    UpdateVoice(0, &playback.channels[0], &emptySample, &linear);
    EXPECT_EQ(channel.voiceVolume, c.voiceVolume);
    EXPECT_EQ(mixer.voices[0].leftVolume, Step(c.left));
    EXPECT_EQ(mixer.voices[0].rightVolume, Step(c.right));
}

TEST_F(MixerTest, VolumeFromSilenceRampsUpIn128EqualSteps) {
    TestSample s(std::vector<int16_t>(300, 1000));
    Voice& v = Settled(&s.sample, 1, 0);
    v.levelLeft = v.levelRight = 0;
    v.rampLeftTarget = v.rampRightTarget = 0;
    std::vector<float> out = Mix(200);
    for (int i = 0; i <= 128; i += 8)
        EXPECT_NEAR(out[2 * i], 1000.0f * i / 128.0f, 0.05f) << "frame " << i;
    EXPECT_FLOAT_EQ(out[2 * 150], 1000.0f);
    EXPECT_EQ(v.rampRemaining, 0);
    EXPECT_EQ(v.levelLeft, Step(255) * 256);
}

TEST_F(MixerTest, ARampGoesOnAcrossCallsAndAVolumeChangeRestartsItFromTheLevelReached) {
    TestSample s(std::vector<int16_t>(600, 1000));
    Voice& v = Settled(&s.sample, 1, 0);
    v.levelLeft = v.levelRight = 0;
    v.rampLeftTarget = v.rampRightTarget = 0;
    // Halfway up: gain 64 / 128 on both sides, level 0.5 * 255 * 256.
    std::vector<float> out = Mix(64);
    EXPECT_NEAR(out[2 * 63], 1000.0f * 63 / 128, 0.05f);
    EXPECT_EQ(v.rampRemaining, 64);
    EXPECT_EQ(v.levelLeft, Step(32640));

    // Unchanged targets: the same ramp goes on and ends 64 frames later.
    Voice saved = v;
    out = Mix(32);
    for (int i = 0; i < 32; i += 8)
        EXPECT_NEAR(out[2 * i], 1000.0f * (64 + i) / 128, 0.05f) << "frame " << 64 + i;
    EXPECT_EQ(v.rampRemaining, 32);
    v = saved;

    // The left side is turned off halfway: a new ramp of a full 128 frames
    // from the level reached, whose whole part is 127: left goes down by
    // 127 / 255 / 128 per frame, right up by (255 - 127) / 255 / 128.
    v.leftVolume = 0;
    out = Mix(200);
    for (int k = 0; k < 128; k += 16) {
        EXPECT_NEAR(out[2 * k], 1000.0f * (0.5f - 127.0f * k / 32640), 0.05f) << "frame " << k;
        EXPECT_NEAR(out[2 * k + 1], 1000.0f * (0.5f + 128.0f * k / 32640), 0.05f) << "frame " << k;
    }
    EXPECT_NEAR(out[2 * 127], 1000.0f * (0.5f - 127.0f * 127 / 32640), 0.05f);
    EXPECT_EQ(out[2 * 128], 0.0f);
    EXPECT_EQ(out[2 * 128 + 1], 1000.0f);
    EXPECT_EQ(v.rampRemaining, 0);
    EXPECT_EQ(v.levelLeft, 0);
    EXPECT_EQ(v.levelRight, Step(255) * 256);
}

TEST_F(MixerTest, TheRampResolutionDecidesTheLevelABrokenRampKeeps) {
    // A ramp from silence to one level unit (1 / VOICE_LEVEL_FULL), broken
    // off after 3 of its 128 frames: it has reached 3 / 128 of a unit. The
    // full player's fine ramps keep that to 1/256 of a unit (6); the small
    // player's keep whole units, where it is 0.
    struct Case {
        const char* name;
        int32_t rampShift;
        int32_t levelReached;
    };
    const Case cases[] = {{"fine", RAMP_FINE, 6}, {"coarse", RAMP_COARSE, 0}};
    TestSample s(std::vector<int16_t>(300, 1000));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetCase();
        mixer.rampShift = c.rampShift;
        Voice& v = Settled(&s.sample, 1, 0, 0);
        v.leftVolume = 1;
        Mix(3);
        EXPECT_EQ(v.rampRemaining, 125);
        EXPECT_EQ(v.levelLeft, c.levelReached);
    }
}

TEST_F(MixerTest, AChangeOfOneLevelRampsToo) {
    // From 100 on both sides to 99 left and 101 right: each side moves by
    // 1 / 255 / 128 of full scale per frame, half a level at frame 64.
    TestSample s(std::vector<int16_t>(300, 1000));
    Voice& v = Settled(&s.sample, 1, 0, 100);
    v.leftVolume = Step(99);
    v.rightVolume = Step(101);
    std::vector<float> out = Mix(129);
    EXPECT_NEAR(out[2 * 64], 1000.0f * 99.5f / 255, 0.05f);
    EXPECT_NEAR(out[2 * 64 + 1], 1000.0f * 100.5f / 255, 0.05f);
    EXPECT_FLOAT_EQ(out[2 * 128], 1000.0f * 99 / 255);
    EXPECT_FLOAT_EQ(out[2 * 128 + 1], 1000.0f * 101 / 255);
}

TEST_F(MixerTest, NoteStartCrossFadesTheTwoVoicesOfAChannel) {
    TestSample old(std::vector<int16_t>(64, 10000), LOOP_FORWARD, 0, 64);
    TestSample fresh(std::vector<int16_t>(64, 20000), LOOP_FORWARD, 0, 64);
    // Channel 3 plays on voice 3 or 35.
    Channel& channel = playback.channels[3];
    channel.period = 4608;
    channel.volume = 64;
    channel.envelopeVolume = 64;
    channel.fadeoutVolume = 65536;
    channel.panning = 255;
    channel.pending = PENDING_TRIGGER | PENDING_FREQUENCY | PENDING_VOLUME | PENDING_PANNING;
    UpdateVoice(3, &playback.channels[3], &old.sample, &linear);
    Mix(400); // the old note is at full level
    ASSERT_EQ(mixer.voices[3].levelLeft, Step(127) * 256);

    channel.pending = PENDING_TRIGGER | PENDING_FREQUENCY | PENDING_VOLUME;
    UpdateVoice(3, &playback.channels[3], &fresh.sample, &linear);
    EXPECT_EQ(ChannelVoice(3), &mixer.voices[35]);
    EXPECT_EQ(mixer.voices[35].index, 35);
    EXPECT_EQ(mixer.voices[35].sample, &fresh.sample);
    EXPECT_EQ(mixer.voices[35].position, 0u);
    EXPECT_EQ(mixer.voices[3].sample, &old.sample);
    EXPECT_EQ(mixer.voices[3].leftVolume, 0);
    EXPECT_EQ(mixer.voices[3].rightVolume, 0);

    std::vector<float> out = Mix(200);
    const float gain = 127.0f / 255.0f;
    for (int i = 0; i < 128; i += 16) {
        float expected = gain * (10000.0f * (128 - i) / 128.0f + 20000.0f * i / 128.0f);
        EXPECT_NEAR(out[2 * i], expected, 0.5f) << "frame " << i;
        EXPECT_NEAR(out[2 * i + 1], 0.0f, 1e-3f);
    }
    EXPECT_NEAR(out[2 * 128], gain * 20000.0f, 0.5f);
    EXPECT_NEAR(out[2 * 199], gain * 20000.0f, 0.5f);
    // The old voice goes on at level 0 (its loop never ends).
    EXPECT_EQ(mixer.voices[3].levelLeft, 0);
    EXPECT_NE(mixer.voices[3].sample, nullptr);

    // The next note start takes the first voice again.
    channel.pending = PENDING_TRIGGER;
    UpdateVoice(3, &playback.channels[3], &old.sample, &linear);
    EXPECT_EQ(ChannelVoice(3), &mixer.voices[3]);
}

TEST_F(MixerTest, NoteStartOnAnIdleVoiceStaysOnIt) {
    mixer.channelVoice[8] = 40;
    playback.channels[8].pending = PENDING_TRIGGER;
    TestSample s(std::vector<int16_t>(4, 1));
    UpdateVoice(8, &playback.channels[8], &s.sample, &linear);
    EXPECT_EQ(ChannelVoice(8), &mixer.voices[40]);
    EXPECT_EQ(mixer.voices[8].sample, nullptr);
}

TEST_F(MixerTest, SampleWithoutLoopStopsExactlyAfterItsLastFrame) {
    TestSample s({1000, 2000, 3000, 4000});
    Voice& v = Settled(&s.sample, 1, 0);
    std::vector<float> out = Mix(6);
    const float expected[] = {1000, 2000, 3000, 4000, 0, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_FLOAT_EQ(out[2 * i], expected[i]) << i;
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(v.position, 0u);
    EXPECT_EQ(v.positionFraction, 0u);

    // At half speed the last frame interpolates toward the zero after the end.
    Settled(&s.sample, 0, 0x80000000u);
    out = Mix(9);
    EXPECT_FLOAT_EQ(out[2 * 6], 4000.0f);
    EXPECT_FLOAT_EQ(out[2 * 7], 2000.0f);
    EXPECT_FLOAT_EQ(out[2 * 8], 0.0f);
    EXPECT_EQ(mixer.voices[0].sample, nullptr);
}

TEST_F(MixerTest, EmptySampleStopsInItsFirstRun) {
    Settled(&emptySample, 1, 0);
    std::vector<float> out = Mix(4);
    EXPECT_EQ(mixer.voices[0].sample, nullptr);
    EXPECT_FLOAT_EQ(out[0], 0.0f);
}

TEST_F(MixerTest, ForwardLoopReplaysItsFramesAndCarriesTheFraction) {
    // data[i] = 100 i, loop 2..5; the guard after the loop is data[2].
    TestSample s(Ramp(8, 100), LOOP_FORWARD, 2, 4);
    Settled(&s.sample, 1, 0x80000000u); // 1.5 frames per output frame
    std::vector<float> out = Mix(11);
    // Positions 0, 1.5, 3, 4.5, 2, 3.5, 5, 2.5, 4, 5.5 (toward the guard), 3.
    const float expected[] = {0, 150, 300, 450, 200, 350, 500, 250, 400, 350, 300};
    for (int i = 0; i < 11; ++i)
        EXPECT_FLOAT_EQ(out[2 * i], expected[i]) << i;
    EXPECT_EQ(mixer.voices[0].position, 4u);
    EXPECT_EQ(mixer.voices[0].positionFraction, 0x80000000u);
}

TEST_F(MixerTest, PingPongLoopMirrorsOneStepShortOfTheExactImage) {
    TestSample s(Ramp(8, 100), LOOP_PINGPONG, 2, 4);
    Voice& v = Settled(&s.sample, 1, 0x80000000u);
    std::vector<float> out = Mix(4); // 0, 1.5, 3, 4.5: the run ends at 6.0, the loop end
    EXPECT_FLOAT_EQ(out[6], 450.0f);
    EXPECT_EQ(v.position, 5u);
    EXPECT_EQ(v.positionFraction, 0xFFFFFFFFu);
    EXPECT_EQ(v.direction, DIRECTION_BACKWARD);

    out = Mix(3);                       // 6 - 2^-32, then 1.5 and 3 frames further back
    EXPECT_NEAR(out[0], 500.0f, 1e-3f); // toward the guard, a copy of the last frame
    EXPECT_NEAR(out[2], 450.0f, 1e-3f);
    EXPECT_NEAR(out[4], 300.0f, 1e-3f);
    // Passing below the loop start at 1.5 - 2^-32 folds to 2.5 exactly.
    EXPECT_EQ(v.position, 2u);
    EXPECT_EQ(v.positionFraction, 0x80000000u);
    EXPECT_EQ(v.direction, DIRECTION_FORWARD);
}

TEST_F(MixerTest, PingPongFoldMirrorsTheOvershootAtBothEnds) {
    // Loop 2..5 at 1.75 frames per output frame: 0, 1.75, 3.5, 5.25, then
    // 7.0 lies 1.0 past the end and is mirrored to 5.0 - 2^-32; backward
    // 3.25 - 2^-32, then 1.5 - 2^-32 lies 0.5 + 2^-32 below the start and is
    // mirrored to 2.5 exactly.
    TestSample s(Ramp(8, 100), LOOP_PINGPONG, 2, 4);
    Voice& v = Settled(&s.sample, 1, 0xC0000000u);
    std::vector<float> out = Mix(4);
    const float forward[] = {0, 175, 350, 500}; // 5.25 reads toward the guard, a copy of 500
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(out[2 * i], forward[i]) << i;
    EXPECT_EQ(v.position, 4u);
    EXPECT_EQ(v.positionFraction, 0xFFFFFFFFu);
    EXPECT_EQ(v.direction, DIRECTION_BACKWARD);

    out = Mix(2);
    EXPECT_NEAR(out[0], 500.0f, 1e-3f);
    EXPECT_NEAR(out[2], 325.0f, 1e-3f);
    EXPECT_EQ(v.position, 2u);
    EXPECT_EQ(v.positionFraction, 0x80000000u);
    EXPECT_EQ(v.direction, DIRECTION_FORWARD);
    out = Mix(1);
    EXPECT_FLOAT_EQ(out[0], 250.0f);
}

TEST_F(MixerTest, PingPongLoopShorterThanTheStepFoldsUntilInside) {
    TestSample s(Ramp(4, 100), LOOP_PINGPONG, 0, 1); // a one-frame loop at the very start
    Voice& v = Settled(&s.sample, 7, 0x12345678u);
    Mix(1000);
    EXPECT_EQ(v.position, 0u);
    EXPECT_NE(v.sample, nullptr);
}

TEST_F(MixerTest, TopStepOverTinyLoopsStaysInside) {
    // Steps just below 256 over loops of every kind and size stay within the
    // sample's block (AddressSanitizer watches the reads).
    for (uint32_t length : {1u, 2u, 3u, 255u, 256u, 300u}) {
        for (uint8_t type : {LOOP_NONE, LOOP_FORWARD, LOOP_PINGPONG}) {
            TestSample s(Ramp(static_cast<int>(length), 1), type, 0, length);
            Voice& v = Settled(&s.sample, 255, 0xFFFFFFFFu);
            Mix(3000);
            if (v.sample) {
                EXPECT_LT(v.position, length) << length << " type " << int(type);
            }
            v.sample = nullptr;
        }
    }
}

// Where a voice should be after `frames` frames, one frame at a time as the
// loop rules say: a forward loop takes loopLength off the integer part at
// the loop end; a ping-pong loop mirrors the position one 2^-32 short of
// the boundary it passed (reached going forward on arriving at loopEnd,
// going backward on passing below loopStart), as often as needed.
struct Place {
    int64_t position; // 32.32
    int32_t direction;
};

Place StepByStep(const Sample& s, Place at, int64_t step, int64_t frames) {
    const int64_t start = static_cast<int64_t>(s.loopStart) << 32;
    const int64_t end = static_cast<int64_t>(s.loopStart + s.loopLength) << 32;
    for (int64_t i = 0; i < frames; ++i) {
        bool backward = at.direction == DIRECTION_BACKWARD;
        at.position += backward ? -step : step;
        if (s.loopType == LOOP_FORWARD) {
            while (at.position >= end)
                at.position -= static_cast<int64_t>(s.loopLength) << 32;
            continue;
        }
        if ((backward && at.position >= start) || (!backward && at.position < end))
            continue;
        while (at.position < start || at.position >= end) {
            if (at.position >= end) {
                at.position = 2 * end - 1 - at.position;
                at.direction = DIRECTION_BACKWARD;
            } else {
                at.position = 2 * start - 1 - at.position;
                at.direction = DIRECTION_FORWARD;
            }
        }
    }
    return at;
}

struct SilentCase {
    const char* name;
    uint8_t loopType;
    uint32_t loopStart;
    uint32_t loopLength;
    uint32_t position;
    uint32_t positionFraction;
    int32_t direction;
    uint32_t stepInteger;
    uint32_t stepFraction;
};

const SilentCase silentCases[] = {
    {"ForwardFromBeforeTheLoop", LOOP_FORWARD, 40, 37, 3, 0x10000000u, DIRECTION_FORWARD, 0, 0xC0000000u},
    {"ForwardStepLongerThanTheLoop", LOOP_FORWARD, 10, 3, 11, 0xFFFFFFFFu, DIRECTION_FORWARD, 7, 0x9E3779B9u},
    {"PingPongFromBeforeTheLoop", LOOP_PINGPONG, 40, 37, 0, 0, DIRECTION_FORWARD, 1, 0x12345678u},
    {"PingPongBackward", LOOP_PINGPONG, 20, 60, 50, 0x80000000u, DIRECTION_BACKWARD, 0, 0x7FFFFFFFu},
    {"PingPongOnTheEndFrame", LOOP_PINGPONG, 20, 60, 79, 0xFFFFFFFFu, DIRECTION_FORWARD, 0, 1},
    {"PingPongOnTheStartBackward", LOOP_PINGPONG, 20, 60, 20, 0, DIRECTION_BACKWARD, 0, 1},
    {"PingPongStepLongerThanTheLoop", LOOP_PINGPONG, 5, 2, 6, 0x55555555u, DIRECTION_BACKWARD, 9, 0xABCDEF01u},
    {"PingPongOneFrameLoop", LOOP_PINGPONG, 0, 1, 0, 0x40000000u, DIRECTION_FORWARD, 3, 0x11111111u},
};

// A looping voice at level 0 adds nothing, so the mixer only moves it; it
// must land where frame-by-frame playing would, and where the same voice at
// an audible level lands, for requests that end anywhere in the loop.
TEST_F(MixerTest, SilentLoopingVoicesEndWhereEveryFramePlayedWould) {
    for (const SilentCase& c : silentCases) {
        SCOPED_TRACE(c.name);
        TestSample s(Ramp(100, 7), c.loopType, c.loopStart, c.loopLength);
        const int64_t step = (static_cast<int64_t>(c.stepInteger) << 32) | c.stepFraction;
        for (int32_t frames : {1, 2, 37, 74, 75, 500, 4097}) {
            SCOPED_TRACE(frames);
            Place expected = StepByStep(
                s.sample, {(static_cast<int64_t>(c.position) << 32) | c.positionFraction, c.direction}, step, frames);
            for (int32_t volume : {0, 1}) {
                SCOPED_TRACE(volume);
                Voice& v = Settled(&s.sample, c.stepInteger, c.stepFraction, volume);
                v.position = c.position;
                v.positionFraction = c.positionFraction;
                v.direction = c.direction;
                Mix(frames);
                ASSERT_EQ(v.sample, &s.sample);
                EXPECT_EQ((static_cast<int64_t>(v.position) << 32) | v.positionFraction, expected.position);
                EXPECT_EQ(v.direction, expected.direction);
            }
        }
    }
}

struct PcmCase {
    float in;
    int16_t out;
};

TEST_F(MixerTest, ConvertToPcm16RoundsTiesToEvenAndClamps) {
    const PcmCase cases[] = {{40000.0f, 32767}, {-40000.0f, -32768}, {2.5f, 2},           {3.5f, 4},
                             {-2.5f, -2},       {32767.4f, 32767},   {-32768.6f, -32768}, {0.49f, 0}};
    std::vector<float> in;
    for (const PcmCase& c : cases)
        in.push_back(c.in);
    std::vector<int16_t> out(in.size(), 99);
    ConvertToPcm16(out.data(), in.data(), static_cast<int32_t>(in.size() / 2));
    for (size_t i = 0; i < in.size(); ++i)
        EXPECT_EQ(out[i], cases[i].out) << cases[i].in;

    std::vector<int16_t> untouched(2, 99);
    ConvertToPcm16(untouched.data(), in.data(), 0);
    ConvertToPcm16(nullptr, in.data(), 1);
    ConvertToPcm16(untouched.data(), nullptr, 1);
    EXPECT_EQ(untouched[0], 99);
}

TEST_F(MixerTest, IdleVoicesAndEmptyRequestsMixNothing) {
    std::vector<float> out = Mix(16);
    for (float f : out)
        EXPECT_EQ(f, 0.0f);
    TestSample s(std::vector<int16_t>(4, 1000));
    Settled(&s.sample, 1, 0);
    MixVoices(out.data(), 0);
    MixVoices(out.data(), -3);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(mixer.voices[0].position, 0u);
}

TEST_F(MixerTest, ResetVoicesNumbersEveryVoiceWithAStepOfOne) {
    mixer.voices[17].leftVolume = 9;
    mixer.channelVoice[5] = 37;
    ResetVoices();
    for (int i = 0; i < VOICE_COUNT; ++i) {
        EXPECT_EQ(mixer.voices[i].index, i);
        EXPECT_EQ(mixer.voices[i].stepInteger, 1u);
        EXPECT_EQ(mixer.voices[i].stepFraction, 0u);
        EXPECT_EQ(mixer.voices[i].leftVolume, 0);
        EXPECT_EQ(mixer.voices[i].sample, nullptr);
    } // Channel i back on voice i.
    for (int c = 0; c < VOICE_COUNT / 2; ++c)
        EXPECT_EQ(ChannelVoice(c), &mixer.voices[c]);
}

} // namespace

namespace {

// A song that drives every mixer path: forward and ping-pong loops in 8 and
// 16 bits, steps above and below 1, ramps at every note, silent voices
// (C00), slides and vibrato.
XmSong BusySong() {
    XmSong xm;
    xm.channels = 8;
    xm.defaultSpeed = 3;
    xm.defaultBpm = 150;
    xm.orders = {0, 0};
    for (int i = 0; i < 3; ++i) {
        XmSample s;
        s.sixteenBit = i == 1;
        for (int k = 0; k < 700 + 300 * i; ++k)
            s.values.push_back(static_cast<int16_t>(((k * (7 + i)) % 256 - 128) * (s.sixteenBit ? 200 : 1)));
        s.loopBits = static_cast<uint8_t>(i == 2 ? 0 : (i == 0 ? 1 : 2));
        s.loopStart = 100;
        s.loopLength = 300 + 100 * i;
        s.panning = static_cast<uint8_t>(60 * i + 20);
        xm.instruments.push_back(OneSampleInstrument(s));
    }
    XmPattern pattern;
    pattern.rows = 32;
    const uint8_t effects[][2] = {{0x4, 0x8F}, {0x0, 0x47}, {0xC, 0x00}, {0x1, 0x10},
                                  {0x3, 0x40}, {0xA, 0x0F}, {0x2, 0x08}};
    for (int r = 0; r < 32; ++r) {
        for (int c = 0; c < 8; ++c) {
            XmCell& cell = XmCellAt(pattern, 8, r, c);
            if ((r + c) % 3 != 1) {
                cell.note = static_cast<uint8_t>(13 + (r * 11 + c * 17) % 84);
                cell.instrument = static_cast<uint8_t>(1 + (r + c) % 3);
            }
            cell.effectType = effects[(r + 2 * c) % 7][0];
            cell.effectParameter = effects[(r + 2 * c) % 7][1];
        }
    }
    xm.patterns.push_back(pattern);
    return xm;
}

class VectorMixingTest : public MusicTest {
protected:
    void TearDown() override {
        SetVectorMixing(true);
        MusicTest::TearDown();
    }
    std::vector<int16_t> RenderWith(const std::vector<uint8_t>& bytes, bool vector, int32_t frames) {
        ResetMusicState();
        SetVectorMixing(vector);
        Module* loaded = LoadBytes(bytes);
        EXPECT_NE(loaded, nullptr);
        if (!loaded)
            return {};
        StartSmallPlayer(loaded);
        std::vector<int16_t> pcm = Render(loaded, frames, 883); // odd blocks: every tail length
        FreeModule(loaded);
        return pcm;
    }
};

TEST_F(VectorMixingTest, VectorAndPortableLoopsGiveIdenticalOutput) {
    std::vector<uint8_t> bytes = BuildXm(BusySong());
    std::vector<int16_t> wide = RenderWith(bytes, true, 3 * 44100);
    std::vector<int16_t> portable = RenderWith(bytes, false, 3 * 44100);
    ASSERT_EQ(wide.size(), portable.size());
    size_t loud = 0;
    for (size_t i = 0; i < wide.size(); ++i) {
        ASSERT_EQ(wide[i], portable[i]) << "value " << i;
        loud += wide[i] != 0;
    }
    EXPECT_GT(loud, wide.size() / 2);
}

} // namespace

namespace {

// One voice mixed by the vector passes (with AVX-512 where the processor has
// it, and with AVX2 alone) and by the plain loops, from the same state into
// the same non-zero buffer: the floats must agree to the bit, and so must
// the voice afterwards. The cases cover each kind of pass (steps up
// to one frame, up to two, beyond), both directions of a ping-pong loop, a
// forward loop, ramps up, down and across zero on one side, and settled runs;
// every request length from 1 to 40 frames reaches every tail of a pass.
struct PassCase {
    const char* name;
    int32_t rampShift;
    uint32_t stepInteger;
    uint32_t stepFraction;
    uint8_t loopType;
    int32_t direction;
    uint32_t position;
    int32_t levelLeft; // reached, in level units
    int32_t levelRight;
    int32_t leftVolume; // targets
    int32_t rightVolume;
};

const PassCase passCases[] = {
    {"QuarterStepRampUpFine", RAMP_FINE, 0, 0x40000000u, LOOP_PINGPONG, DIRECTION_FORWARD, 400, 0, 0, 30000, 12345},
    {"OneFrameStepRampDownCoarse", RAMP_COARSE, 1, 0, LOOP_PINGPONG, DIRECTION_FORWARD, 500, 255 * 256, 100 * 256, 0,
     3 * 256},
    {"StepAndAHalfBackward", RAMP_FINE, 1, 0x80000000u, LOOP_PINGPONG, DIRECTION_BACKWARD, 1500, 7, 65000, 65280, 1},
    {"TwoFrameStepForwardLoop", RAMP_FINE, 2, 0, LOOP_FORWARD, DIRECTION_FORWARD, 1650, 40000, 20000, 20000, 40000},
    {"JustOverTwoFramesBackward", RAMP_COARSE, 2, 1, LOOP_PINGPONG, DIRECTION_BACKWARD, 1200, 0, 0, 200 * 256,
     55 * 256},
    {"WideStepRamp", RAMP_FINE, 3, 0x12345678u, LOOP_PINGPONG, DIRECTION_FORWARD, 300, 1000, 60000, 60000, 1000},
    {"FineStepNearTheLoopEnd", RAMP_FINE, 0, 0xF0000000u, LOOP_PINGPONG, DIRECTION_FORWARD, 1690, 333, 0, 0, 333},
    {"SettledQuarterStep", RAMP_FINE, 0, 0x40000000u, LOOP_PINGPONG, DIRECTION_FORWARD, 1000, 30000 * 256, 1234 * 256,
     30000, 1234},
    {"SettledWideStepBackward", RAMP_COARSE, 5, 0x0F0F0F0Fu, LOOP_PINGPONG, DIRECTION_BACKWARD, 1100, 128 * 256 * 256,
     64 * 256 * 256, 128 * 256, 64 * 256},
    // Without a loop, up to the sample's last value: the widest passes read
    // ahead of their frames, and must stop within the spare values.
    {"OneFrameStepToTheSampleEnd", RAMP_FINE, 1, 0, LOOP_NONE, DIRECTION_FORWARD, 1700, 20000 * 256, 20000 * 256, 20000,
     20000},
    {"NearlyTwoFrameStepToTheSampleEnd", RAMP_FINE, 1, 0xF0000000u, LOOP_NONE, DIRECTION_FORWARD, 1600, 0, 0, 30000,
     30000},
};

class PassIdentityTest : public MusicTest {
protected:
    void TearDown() override {
        SetVectorMixing(true);
        SetWidestMixing(true);
        MusicTest::TearDown();
    }
};

TEST_F(PassIdentityTest, VectorPassesSumAsThePlainLoopsDoToTheBit) {
    // Loud, uneven values, so that any change of order or rounding shows.
    std::vector<int16_t> values;
    uint32_t seed = 12345;
    for (int i = 0; i < 1800; ++i) {
        seed = seed * 1103515245u + 12345u;
        values.push_back(static_cast<int16_t>(static_cast<int32_t>(seed >> 16) - 32768));
    }
    for (const PassCase& c : passCases) {
        SCOPED_TRACE(c.name);
        std::vector<int16_t> data = values;
        data.resize(values.size() + SAMPLE_SPARE_VALUES, 0);
        Sample sample{};
        sample.data = data.data();
        sample.length = 1800;
        sample.loopType = c.loopType;
        sample.bits = 16;
        if (c.loopType == LOOP_NONE) {
            // As the loader leaves a sample without loop: its end is the boundary.
            sample.loopStart = 0;
            sample.loopLength = 1800;
        } else {
            sample.loopStart = 300;
            sample.loopLength = 1400;
            data[1700] = c.loopType == LOOP_FORWARD ? data[300] : data[1699];
        }
        for (int32_t frames = 1; frames <= 40; ++frames) {
            SCOPED_TRACE(frames);
            // The plain loops first, then the widest passes, then AVX2's.
            std::vector<float> out[3];
            Voice after[3];
            for (int way = 0; way < 3; ++way) {
                ResetMusicState();
                mixer.rampShift = c.rampShift;
                SetVectorMixing(way != 0);
                SetWidestMixing(way != 2);
                Voice& v = mixer.voices[0];
                v.sample = &sample;
                v.stepInteger = c.stepInteger;
                v.stepFraction = c.stepFraction;
                v.direction = c.direction;
                v.position = c.position;
                v.positionFraction = 0x9ABCDEF0u;
                v.levelLeft = c.levelLeft;
                v.levelRight = c.levelRight;
                v.leftVolume = v.rampLeftTarget = c.leftVolume;
                v.rightVolume = v.rampRightTarget = c.rightVolume;
                v.rampRemaining = c.levelLeft == c.leftVolume * 256 && c.levelRight == c.rightVolume * 256 ? 0 : 1;
                v.rampRightTarget = -1; // any ramp starts afresh from the level reached
                // Three calls, so that a ramp goes on across calls and ends
                // inside the last.
                const int32_t lengths[3] = {frames, frames, 150};
                out[way].assign(2 * (2 * static_cast<size_t>(frames) + 150), 0.0f);
                for (size_t i = 0; i < out[way].size(); ++i)
                    out[way][i] = static_cast<float>(static_cast<int>(i % 97) - 48) * 0.37f;
                float* at = out[way].data();
                for (int32_t length : lengths) {
                    MixVoices(at, length);
                    at += 2 * length;
                }
                after[way] = v;
            }
            for (int way = 1; way < 3; ++way) {
                SCOPED_TRACE(way == 1 ? "widest" : "AVX2");
                ASSERT_EQ(std::memcmp(out[0].data(), out[way].data(), out[0].size() * sizeof(float)), 0);
                EXPECT_EQ(after[0].position, after[way].position);
                EXPECT_EQ(after[0].positionFraction, after[way].positionFraction);
                EXPECT_EQ(after[0].direction, after[way].direction);
                EXPECT_EQ(after[0].levelLeft, after[way].levelLeft);
                EXPECT_EQ(after[0].levelRight, after[way].levelRight);
                EXPECT_EQ(after[0].rampRemaining, after[way].rampRemaining);
            }
        }
    }
}

} // namespace
