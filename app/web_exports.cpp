// What the web page calls in the program besides main, before it and while
// it runs. Compiled into the web executable only (cmake/web.cmake), which
// links the full music library: it holds both players, and the page chooses.
#include <cstdint>

#include "app/tour.h"
#include "music/full/full_engine.h"
#include "music/playback.h"
#include "music/player.h"

namespace {

// The build's choice (QUILLON_FULL_XM), given by cmake/web.cmake: the player
// a page that does not choose gets.
constexpr bool FULL_PLAYER_BY_DEFAULT = QUILLON_WEB_FULL_PLAYER_BY_DEFAULT;

SongStartRoutine Player(bool full) { return full ? StartFullPlayer : StartSmallPlayer; }

// Runs when the page instantiates the program, before it can call anything.
[[maybe_unused]] const bool defaultChosen = [] {
    playerStart = Player(FULL_PLAYER_BY_DEFAULT);
    return true;
}();

} // namespace

// 0: the small player, anything else the full one; for the songs the
// program starts after the call.
extern "C" void quillon_web_set_player(int full) { playerStart = Player(full != 0); }

// 1 when the scene is at rest (SceneAtRest), so the page can give the next
// right click as the capture's tour does.
extern "C" int quillon_scene_at_rest() { return SceneAtRest() ? 1 : 0; }
