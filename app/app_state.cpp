#include "app/app_state.h"

#include "display/shell.h"

App app;
Window* mainWindow = nullptr;

void ResetApp() {
    app = App{};
    mainWindow = nullptr;
}
