// When the presentation is at rest: the moment a viewer (or a driver that
// plays one, like the capture's tour or the web page's preview) would give
// the next input.
#pragma once

// True when no line reveal, page wipe or closing is under way: the page in
// view is fully shown and waits for a click.
bool SceneAtRest();
