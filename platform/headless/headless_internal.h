// Shared between the headless backend's files.
#pragma once

#include <string>

// Counts a call of `operation` on `target` (and `source`, for BltFast) and
// says whether an injected fault makes it fail. Thread-safe.
bool HeadlessFaultHit(const std::string& operation, const std::string& target = "", const std::string& source = "");

// Per-module resets called by HeadlessReset.
void HeadlessResetFaults();
void HeadlessResetWindow();
void HeadlessResetDisplay();
void HeadlessResetBitmaps();
void HeadlessResetClock();
void HeadlessResetAudio();
