#include "tests/support/process_state.h"

#include "app/app_state.h"
#include "display/display_device.h"
#include "display/scene.h"
#include "music/audio_output.h"
#include "music/mixer.h"
#include "music/module.h"
#include "music/music.h"
#include "music/playback.h"
#include "music/resource_stream.h"
#include "music/stream.h"
#include "platform/headless/headless.h"

void ResetProcessState() {
    // Stopped before the backend forgets its objects: the feeder thread and
    // the surfaces are the backend's.
    MusicStop();
    ReleaseDisplay();

    HeadlessReset();
    ResetDisplay();
    ResetScene();
    ResetApp();

    ResetAudioOutput();
    ResetStream();
    ResetPlayback();
    ResetVoicePool();
    emptySample = Sample{};
    InstallFileCallbacks(ResourceOpen, ResourceClose, ResourceRead, ResourceSeek, ResourceTell);
    outputRate = 44100;
    rampFrames = 128;
    rampScale = 1.0f / 128.0f;
}
