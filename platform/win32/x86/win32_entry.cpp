// The entry point of the 32-bit program. The C runtime's start-up calls
// WinMain with the stdcall convention, which 32-bit Windows decorates as
// _WinMain@16; the program's WinMain has the platform's signature and the
// C convention (_WinMain), so this passes the call on. 64-bit Windows has a
// single calling convention, and there the start-up calls the program's
// WinMain itself; this file is compiled into the 32-bit program only.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/platform.h"

// The program's WinMain (app/win_main.h) under its assembler name: its
// declaration cannot be included beside the one windows.h makes.
extern "C" int ProgramWinMain(Instance* instance, Instance* previousInstance, const char* commandLine,
                              int showCommand) __asm__("_WinMain");

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
    return ProgramWinMain(reinterpret_cast<Instance*>(instance), reinterpret_cast<Instance*>(previousInstance),
                          commandLine, showCommand);
}
