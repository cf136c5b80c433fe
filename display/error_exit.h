// The single fatal-error path. The display owns it, as nearly every fatal
// error is a display step that failed; the shell, above, takes part in it
// only through the hook it installs to stop its frame loop.
#pragma once

// Run first by every report: stops the shell's frame loop. Installed by the
// shell before anything can fail; until then a report skips this step.
using StopLoopHook = void (*)();
void SetStopLoopHook(StopLoopHook hook);

// Stops the loop (the hook), shows the cursor, releases the display, shows
// "<message> Terminate application!" in a box titled "ERROR" owned by the
// display's window, then destroys that window. Always returns false, so a
// failing routine can return its result.
bool ErrorExit(const char* message);
