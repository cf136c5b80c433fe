// The window procedure: input becomes scene flags for the next frame,
// minimising stops the frames, and WM_DESTROY shuts the program down.
#pragma once

#include "platform/platform.h"

// Handles WM_DESTROY, WM_SIZE, WM_KEYDOWN (space), WM_LBUTTONDOWN and
// WM_RBUTTONDOWN; every message, handled or not, then goes to the default
// window procedure, whose result is returned.
intptr_t WindowProc(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
