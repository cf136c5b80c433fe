#include "platform/headless/headless.h"
#include "platform/headless/headless_internal.h"

void HeadlessReset() {
    HeadlessResetFaults();
    HeadlessResetWindow();
    HeadlessResetBitmaps(); // before the surfaces: contexts point at them
    HeadlessResetDisplay();
    HeadlessResetClock();
    HeadlessResetAudio();
}
