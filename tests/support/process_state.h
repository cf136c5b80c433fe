// The whole process back at its start: every subsystem's one instance reset.
#pragma once

// Stops what a case left running (the music's feeder, the display), then
// resets the headless backend, the display, the scene, the shell and the
// music player to their values at process start. A test links the shell,
// the display, one music library and the headless backend for it.
void ResetProcessState();
