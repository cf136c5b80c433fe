// Shared between the headless backend's files.
#pragma once

#include <string>

// Counts a call of `operation` on `target` (and `source`, for BltFast) and
// says whether an injected fault makes it fail. Thread-safe.
bool HeadlessFaultHit(const std::string& operation, const std::string& target = "", const std::string& source = "");

// Appends to the release log (HeadlessReleaseLog), for releases that are not
// surfaces: the waveform device's close logs "waveOut". Main thread only.
void HeadlessLogRelease(const std::string& what);

// Per-module resets called by HeadlessReset.
void HeadlessResetFaults();
void HeadlessResetWindow();
void HeadlessResetDisplay();
void HeadlessResetBitmaps();
void HeadlessResetClock();
void HeadlessResetAudio();
