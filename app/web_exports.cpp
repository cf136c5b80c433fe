// What the web page calls in the program besides main, before it and while
// it runs. Compiled into the web executable only (cmake/web.cmake), which
// links the full music library: it holds both players, and the page chooses
// one with the resource PLAYER, as any program's content may (player.h).
#include <cstdint>

#include "app/tour.h"
#include "music/full/full_engine.h"
#include "music/playback.h"
#include "music/player.h"

namespace {

// The build's choice (QUILLON_FULL_XM), given by cmake/web.cmake: the player
// a page that gives no PLAYER gets.
constexpr bool FULL_PLAYER_BY_DEFAULT = QUILLON_WEB_FULL_PLAYER_BY_DEFAULT;

// Runs when the page instantiates the program, before it can call anything.
[[maybe_unused]] const bool defaultChosen = [] {
    playerStart = FULL_PLAYER_BY_DEFAULT ? StartFullPlayer : StartSmallPlayer;
    return true;
}();

} // namespace

// 1 when the scene is at rest (SceneAtRest), so the page can give the next
// right click as the capture's tour does.
extern "C" int quillon_scene_at_rest() { return SceneAtRest() ? 1 : 0; }
