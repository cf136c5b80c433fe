// The content's choice of player: the resource "PLAYER" (see player.h).
#include "music/player.h"

#include "platform/platform.h"

SongStartRoutine ContentPlayer() {
    ResourceBytes bytes{};
    if (OsFindResource(OsModuleHandle(), "PLAYER", RT_RCDATA_TYPE, &bytes) && bytes.data)
        if (SongStartRoutine engine = EngineNamed(reinterpret_cast<const char*>(bytes.data), bytes.size))
            return engine;
    return playerStart;
}
