#include "app/tour.h"

#include "display/scene.h"

bool SceneAtRest() { return !scene.revealing && !scene.pageSliding && !scene.quitRequested; }
