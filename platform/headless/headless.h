// Control of the headless backend, for tests and offline tools: a clock the
// test sets, input the test posts, a record of every message box, a virtual
// audio device whose play position the test moves, memory surfaces that can
// be inspected and given wide pitches, and fault injection for every
// operation of the platform interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

// Everything back to the state of a fresh process: no window, no device, no
// surfaces, empty queue, clock 0, no faults, no message boxes, no resource
// overrides, no audio device.
void HeadlessReset();

// ---- Clock -----------------------------------------------------------------
// OsTimeGetTime returns this value; it only changes when the test says so,
// unless auto-advance is set, in which case every OsTimeGetTime call first
// adds that many milliseconds (0 turns it off).
void HeadlessSetTime(uint32_t milliseconds);
void HeadlessAdvanceTime(uint32_t milliseconds);
void HeadlessSetAutoAdvance(uint32_t millisecondsPerRead);
// OsSleep in the headless backend really sleeps (threads need it) unless
// this is set, in which case it only advances the clock.
void HeadlessSetVirtualSleep(bool virtualSleep);
// With false, OsCreateThread starts no thread and returns null (the only
// thread the program starts is the audio feeder): for drivers that run the
// feeder's pass themselves, block by block. Not a fault: the call is counted
// as made. True again after a reset.
void HeadlessSetFeederThread(bool started);

// ---- Window and messages ------------------------------------------------------
// The window created by OsCreateWindow (null before and after destruction).
Window* HeadlessWindow();
bool HeadlessWindowDestroyed();
// Queues an input message for the window, as the system would.
void HeadlessPostInput(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
// Messages still queued.
std::vector<Message> HeadlessQueuedMessages();
int HeadlessCursorCount(); // the ShowCursor display count, starting at 0
// GetSystemMetrics' screen size (640x480 after a reset).
void HeadlessSetScreenSize(int width, int height);

struct MessageBoxRecord {
    bool hadOwner;
    std::string text;
    std::string caption;
};
const std::vector<MessageBoxRecord>& HeadlessMessageBoxes();
// Called inside OsMessageBox when set (for tests that act while a box is
// up, as Windows' own message loop would let them).
void HeadlessOnMessageBox(void (*callback)());

// ---- Fault injection ----------------------------------------------------------
// Operation names are the platform function names without their prefix:
//   window:  "RegisterClass", "CreateWindow", "PostMessage"
//   display: "DdCreate", "SetCooperativeLevel", "SetDisplayMode",
//            "CreateSurface" (every try), "CreateSurfaceVideo" (only tries
//            that ask for DDSCAPS_VIDEOMEMORY), "GetAttached", "ColorFill",
//            "BltFast", "Lock", "Unlock", "Flip", "Restore", "GetDesc",
//            "GetDC"
//   bitmaps: "LoadBitmap", "CreateCompatibleDC", "BitBlt"
//   threads: "CreateThread"
//   audio:   "WaveOutOpen", "WaveOutPrepareHeader", "WaveOutWrite",
//            "WaveOutGetPosition"
// `target` narrows a fault to one surface by its label ("PAGE", "ANI",
// "PRIMARY", "BACKBUF", ...; for BltFast the destination, unless written
// "SRC>DEST", e.g. "BACKGROUND>VIEWPAGE"), or to one bitmap name for
// LoadBitmap; empty matches any.
// The fault lets `skip` matching calls succeed first, then fails the next
// call (once) or every call from then on (always).
enum class FaultMode { Once, Always };
void HeadlessInjectFault(const std::string& operation, const std::string& target = "", FaultMode mode = FaultMode::Once,
                         int skip = 0);
void HeadlessClearFaults();
// Calls of an operation so far (matching the target as above).
int HeadlessCallCount(const std::string& operation, const std::string& target = "");

// ---- Display ----------------------------------------------------------------------
// Marks the primary surface lost (IsLost reports it) until Restore or release.
void HeadlessSetPrimaryLost(bool lost);
// Marks the live surface with this label lost (copies from or to it fail
// with RESULT_SURFACELOST) until it is restored or released.
void HeadlessSetSurfaceLost(const std::string& label, bool lost);
// Extra bytes per row for surfaces created from now on with this label, so
// tests can prove that code honours the pitch. Padding bytes are filled with
// 0xA5 and never written by the backend's own copies.
void HeadlessSetPitchPadding(const std::string& label, int extraBytes);
// The live surface with this label, or null. BACKBUF is the current back
// buffer of the flip chain; PRIMARY the picture shown.
Surface* HeadlessSurface(const std::string& label);
// Pixel access to a memory surface (ignores locks); HeadlessPixel gives
// 0xFFFFFFFF outside the surface.
uint32_t HeadlessPixel(Surface* surface, int x, int y);
void HeadlessSetPixel(Surface* surface, int x, int y, uint32_t colour);
int HeadlessPitch(Surface* surface); // bytes
// Byte x of the padding beyond the width of row y; 0xFFFFFFFF outside it.
// Padding is rounded up to whole pixels.
uint32_t HeadlessPaddingByte(Surface* surface, int x, int y);
bool HeadlessInVideoMemory(Surface* surface);
int HeadlessLiveSurfaceCount();
int HeadlessFlipCount();
// Called after every successful Flip, on the flipping thread, with the
// primary (now the picture shown); null turns it off. For drivers that record
// what the program shows, frame by frame, without touching its frame loop.
void HeadlessOnFlip(void (*observer)(Surface* primary));
bool HeadlessDisplayHeld(); // a DirectDraw object exists
// Labels of live surfaces in creation order, and every release in order
// (surface labels, "DirectDraw" and "waveOut" for the closed waveform
// device), for checking the order of the shutdown steps.
// A primary's release takes its back buffer along and logs "PRIMARY" only.
std::vector<std::string> HeadlessReleaseLog();
void HeadlessClearReleaseLog();
std::vector<std::string> HeadlessLiveSurfaceLabels();
// Writes the surface as a PNG-free portable pixmap (P6) for looking at.
bool HeadlessWritePpm(Surface* surface, const std::string& path);

// Bitmaps and device contexts currently held (to prove nothing leaks).
int HeadlessLiveBitmaps();
int HeadlessLiveDeviceContexts();

// ---- Resources ----------------------------------------------------------------------
// Adds or replaces a resource for OsFindResource (the bytes are copied), or
// hides a linked-in one.
void HeadlessSetResource(const std::string& name, uint32_t type, const std::vector<uint8_t>& bytes);
void HeadlessHideResource(const std::string& name);

// ---- Audio -------------------------------------------------------------------------
// The virtual device: opened by WaveOutOpen, it "plays" nothing by itself;
// the test moves the byte position that WaveOutGetPositionBytes reports.
bool HeadlessAudioOpen();
void HeadlessAudioSetPosition(uint32_t bytes);
void HeadlessAudioAdvance(uint32_t bytes);
uint32_t HeadlessAudioPosition();
// The buffer given to WaveOutWrite (null before), its length, and whether
// the device has been reset / closed.
const uint8_t* HeadlessAudioBuffer();
uint32_t HeadlessAudioBufferLength();
bool HeadlessAudioPlaying();
WaveFormat HeadlessAudioFormat();
// The device plays `bytes` more (a whole number of sample frames): copies
// them from the looped buffer at the current position into `out` and moves
// the position past them. Zeros while nothing plays, and after the end of a
// buffer written without both loop flags, which plays once (its position,
// also through HeadlessAudioAdvance, stops at its length). This is exactly what a
// real device would have sent to the speakers.
void HeadlessAudioPlay(uint32_t bytes, uint8_t* out);
