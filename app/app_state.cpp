#include "app/app_state.h"

#include "display/error_exit.h"

App app;
Window* mainWindow = nullptr;

void StopLoop() {
    app.running = false;
    app.active = false;
    app.errorExitTaken = true;
}

void ResetApp() {
    app = App{};
    mainWindow = nullptr;
    SetStopLoopHook(StopLoop);
}
