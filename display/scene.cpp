#include "display/scene.h"

Scene scene;

void ResetScene() { scene = Scene{}; }
