#include "tests/support/process_state.h"

#include "app/app_state.h"
#include "display/display_device.h"
#include "display/scene.h"
#include "music/music.h"
#include "platform/headless/headless.h"

void ResetProcessState() {
    // The music and the surfaces go before the backend forgets its objects:
    // the feeder thread and the surfaces are the backend's. ResetMusic ends
    // the feeder before the song it plays is released.
    ResetMusic();
    ReleaseDisplay();

    HeadlessReset();
    ResetDisplay();
    ResetScene();
    ResetApp();
}
