// The Linux entry point: the program takes no arguments; the exit code is
// WinMain's result.
#include "app/win_main.h"

int main() { return WinMain(OsModuleHandle(), nullptr, "", SW_SHOWNORMAL); }
